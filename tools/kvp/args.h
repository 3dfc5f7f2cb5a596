// Parsing of the kvp commands' arguments: the option walk, whole numbers, plain decimals, sizes.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

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

// The view options of the drawing commands: --heading, --pitch, --roll, --fov. Each is
// remembered as given so that the panorama's own view fills in the rest.
struct ViewOptions {
  bool haveHeading = false, havePitch = false, haveRoll = false, haveFov = false;
  double heading = 0, pitch = 0, roll = 0, fov = 0;

  // True when `option` is one of the four; `ok` then says whether its value was good.
  bool Parse(const std::string& option, const std::string& value, bool& ok) {
    if (option == "--heading") {
      ok = haveHeading = ParseNumber(value, heading);
    } else if (option == "--pitch") {
      ok = havePitch = ParseNumber(value, pitch);
    } else if (option == "--roll") {
      ok = haveRoll = ParseNumber(value, roll);
    } else if (option == "--fov") {
      ok = haveFov = ParseNumber(value, fov) && fov > 0 && fov < 180;
    } else {
      return false;
    }
    return true;
  }
  // Overrides the angles that were given.
  void Apply(double& h, double& p, double& r, double& f) const {
    if (haveHeading) h = heading;
    if (havePitch) p = pitch;
    if (haveRoll) r = roll;
    if (haveFov) f = fov;
  }
};

// Takes one option (and its value, empty for a flag): false when the command does not know
// it; `ok` false when the value is bad.
using OptionHandler =
    std::function<bool(const std::string& option, const std::string& value, bool& ok)>;

// Walks a command's arguments: the options named in `valueOptions` take the next argument as
// their value, every option goes to `handle`, and the one operand lands in `input`. Problems
// get the command's one-line message on `err` and a false result.
inline bool WalkArguments(const std::vector<std::string>& args, const char* command,
                          std::initializer_list<const char*> valueOptions,
                          const OptionHandler& handle, std::string& input, std::ostream& err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool takesValue = false;
    for (const char* name : valueOptions) takesValue = takesValue || arg == name;
    if (takesValue && i + 1 == args.size()) {
      err << command << ": " << arg << " needs a value\n";
      return false;
    }
    const std::string value = takesValue ? args[++i] : std::string();
    if (arg.size() > 1 && arg[0] == '-') {
      bool ok = true;
      if (!handle(arg, value, ok)) {
        err << command << ": unknown option " << arg << "\n";
        return false;
      }
      if (!ok) {
        err << command << ": bad value for " << arg << ": '" << value << "'\n";
        return false;
      }
    } else if (!input.empty()) {
      err << command << ": more than one input file (" << input << ", " << arg << ")\n";
      return false;
    } else {
      input = arg;
    }
  }
  return true;
}

}  // namespace kvp::cli
