// Parsing of the kvp commands' option values: whole numbers, plain decimals, sizes.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace kvp::cli {

inline bool ParseInteger(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// Finite numbers in plain decimal notation; "nan", "inf" and hex floats are refused.
inline bool ParseNumber(const std::string& text, double& value) {
  if (text.empty() || text.find_first_not_of("+-.0123456789eE") != std::string::npos) {
    return false;
  }
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// "WxH" with both between 1 and `limit`.
inline bool ParseSize(const std::string& text, long long limit, int& width, int& height) {
  const size_t x = text.find('x');
  long long w = 0, h = 0;
  if (x == std::string::npos || !ParseInteger(text.substr(0, x), w) ||
      !ParseInteger(text.substr(x + 1), h) || w < 1 || h < 1 || w > limit || h > limit) {
    return false;
  }
  width = int(w);
  height = int(h);
  return true;
}

}  // namespace kvp::cli
