// JSON values for the kvp reports on nlohmann-json: texts from files, numbers as the tool prints them.
#pragma once

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvp::cli {

// Fields keep the order they are set in: the reports' field order is part of the interface.
using Json = nlohmann::ordered_json;

// The report as one line of ASCII (anything else as \u escapes).
inline std::string JsonLine(const Json& value) { return value.dump(-1, ' ', true) + "\n"; }

// Links, tags and paths are bytes in the system's ANSI code page as often as UTF-8: valid
// UTF-8 stands as it is, anything else is read byte for byte as Latin-1, so that every byte
// still shows instead of the report failing.
inline Json JsonText(std::string_view bytes) {
  std::string text(bytes);
  try {
    (void)Json(text).dump();  // the same check the report's own dump makes
    return text;
  } catch (const Json::type_error&) {
  }
  text.clear();
  for (const unsigned char c : bytes) {
    if (c < 0x80) {
      text += char(c);
    } else {
      text += char(0xC0 | (c >> 6));
      text += char(0x80 | (c & 0x3F));
    }
  }
  return text;
}

// Whole values as integers (5, not 5.0), others shortest-exact; null where JSON has no number.
inline Json JsonNumber(double value) {
  if (!std::isfinite(value)) return nullptr;
  if (value == std::trunc(value) && std::fabs(value) < 9e15) return int64_t(value);
  return value;
}

// Single-precision values held in doubles, printed as the floats they are: 4.9999995, not
// 4.999999523162842. The float's shortest text read back as a double prints the same.
inline Json JsonFloat(float value) {
  if (!std::isfinite(value)) return nullptr;
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value);
  double wide = 0;
  std::from_chars(text, written.ptr, wide);
  return JsonNumber(wide);
}

}  // namespace kvp::cli
