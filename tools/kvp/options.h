// The kvp commands' options on CLI11: strict value parsers and the options several commands share.
#pragma once

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>

namespace kvp::cli {

// A command's body, made when its options are defined and run once they are parsed. Returns
// the exit status: 0 done, 2 bad input or a failure (with a one-line message on `err`).
using Runner = std::function<int(std::ostream& out, std::ostream& err)>;

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

// Reads an option's text into its target; false (with `why` set, or left empty for a plain
// "bad value") refuses it.
using ValueParser = std::function<bool(const std::string& text, std::string& why)>;

// An option whose value CLI11 collects as text and `parse` reads, so that every command reads
// numbers the same strict way. A refusal stops the parse with "NAME: why". Given twice, the
// last one counts.
inline CLI::Option* AddParsed(CLI::App& app, const std::string& name, const std::string& valueName,
                              const std::string& help, ValueParser parse) {
  const std::string shown = name.substr(name.rfind(',') + 1);
  return app
      .add_option_function<std::string>(
          name,
          [shown, parse](const std::string& text) {
            std::string why;
            if (!parse(text, why)) {
              throw CLI::ValidationError(shown, why.empty() ? "bad value '" + text + "'" : why);
            }
          },
          help)
      ->type_name(valueName)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

// A whole number that must be one of `choices`.
inline CLI::Option* AddChoice(CLI::App& app, const std::string& name, const std::string& help,
                              std::initializer_list<int> choices, int& target) {
  std::string valueName;
  for (int c : choices) valueName += (valueName.empty() ? "" : "|") + std::to_string(c);
  const std::vector<int> allowed(choices);
  return AddParsed(app, name, valueName, help,
                   [allowed, valueName, &target](const std::string& text, std::string& why) {
                     long long n = 0;
                     for (int c : allowed) {
                       if (ParseInteger(text, n) && n == c) {
                         target = c;
                         return true;
                       }
                     }
                     why = "must be " + valueName + ", got '" + text + "'";
                     return false;
                   });
}

// A whole number from `low` to `high`.
inline CLI::Option* AddCount(CLI::App& app, const std::string& name, const std::string& help,
                             long long low, long long high, long long& target) {
  return AddParsed(app, name, "N", help,
                   [low, high, &target](const std::string& text, std::string& why) {
                     long long n = 0;
                     if (ParseInteger(text, n) && n >= low && n <= high) {
                       target = n;
                       return true;
                     }
                     why = "must be a whole number from " + std::to_string(low) + " to " +
                           std::to_string(high) + ", got '" + text + "'";
                     return false;
                   });
}

// The one input file; required.
inline CLI::Option* AddInput(CLI::App& app, const std::string& name, const std::string& help,
                             std::string& target) {
  return app.add_option(name, target, help)->type_name("")->required();
}

// The output file, -o (or --output); required.
inline CLI::Option* AddOutput(CLI::App& app, const std::string& valueName, std::string& target) {
  return app.add_option("-o,--output", target, "the file to write")
      ->type_name(valueName)
      ->required();
}

// --size WxH, both sides from 1 to `limit`.
inline CLI::Option* AddSize(CLI::App& app, long long limit, int& width, int& height) {
  return AddParsed(
      app, "--size", "WxH",
      "the frame's size in pixels (default 640x480, at most " + std::to_string(limit) + ")",
      [limit, &width, &height](const std::string& text, std::string& why) {
        const size_t x = text.find('x');
        long long w = 0, h = 0;
        if (x == std::string::npos || !ParseInteger(text.substr(0, x), w) ||
            !ParseInteger(text.substr(x + 1), h) || w < 1 || h < 1 || w > limit || h > limit) {
          why = "needs WxH with both from 1 to " + std::to_string(limit) + ", got '" + text + "'";
          return false;
        }
        width = int(w);
        height = int(h);
        return true;
      });
}

// The view options of the drawing commands: --heading, --pitch, --roll, --fov. Each is
// remembered as given so that the panorama's own view fills in the rest.
struct ViewOptions {
  bool haveHeading = false, havePitch = false, haveRoll = false, haveFov = false;
  double heading = 0, pitch = 0, roll = 0, fov = 0;

  void Define(CLI::App& app) {
    Angle(app, "--heading", "H", "the heading to look at, in degrees", heading, haveHeading);
    Angle(app, "--pitch", "P", "the pitch, in degrees (up is positive)", pitch, havePitch);
    Angle(app, "--roll", "R", "the roll, in degrees", roll, haveRoll);
    AddParsed(app, "--fov", "F", "the vertical field of view in degrees, above 0, below 180",
              [this](const std::string& text, std::string& why) {
                double v = 0;
                if (!ParseNumber(text, v) || v <= 0 || v >= 180) {
                  why = "must be more than 0 and less than 180 degrees, got '" + text + "'";
                  return false;
                }
                fov = v;
                return haveFov = true;
              });
  }
  // Overrides the angles that were given.
  void Apply(double& h, double& p, double& r, double& f) const {
    if (haveHeading) h = heading;
    if (havePitch) p = pitch;
    if (haveRoll) r = roll;
    if (haveFov) f = fov;
  }

 private:
  static void Angle(CLI::App& app, const std::string& name, const std::string& valueName,
                    const std::string& help, double& value, bool& given) {
    AddParsed(app, name, valueName, help,
              [&value, &given](const std::string& text, std::string& why) {
                if (!ParseNumber(text, value)) {
                  why = "needs a number in degrees, got '" + text + "'";
                  return false;
                }
                return given = true;
              });
  }
};

}  // namespace kvp::cli
