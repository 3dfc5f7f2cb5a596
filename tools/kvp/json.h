// Minimal JSON writing for the kvp tool's reports: strings escaped, numbers shortest-exact.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string_view>

namespace kvp::cli {

inline void JsonString(std::ostream& out, std::string_view text) {
  static const char* const kHex = "0123456789abcdef";
  out << '"';
  for (unsigned char c : text) {
    switch (c) {
      case '"': out << "\\\""; break;
      case '\\': out << "\\\\"; break;
      case '\n': out << "\\n"; break;
      case '\r': out << "\\r"; break;
      case '\t': out << "\\t"; break;
      default:
        // Control bytes and bytes above ASCII (file names and links are not UTF-8 here).
        if (c < 0x20 || c >= 0x7F) {
          out << "\\u00" << kHex[c >> 4] << kHex[c & 15];
        } else {
          out << c;
        }
    }
  }
  out << '"';
}

// Shortest text that reads back to the same value; null for values JSON cannot carry.
template <typename Real>
void JsonNumber(std::ostream& out, Real value) {
  if (!std::isfinite(value)) {
    out << "null";
    return;
  }
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out << std::string_view(text, size_t(result.ptr - text));
}

inline void JsonNumber(std::ostream& out, int64_t value) { out << value; }

}  // namespace kvp::cli
