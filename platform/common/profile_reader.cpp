// Our own private-profile reader: the file's text parsed with the rules the Windows calls keep.
//
// The rules, as the Windows calls behave:
//  - lines are trimmed of blanks (spaces, tabs, CR); "[name]" starts a section, the name being
//    what lies between the '[' and the LAST ']' of the line, trimmed; a line starting with '['
//    but holding no ']' is ignored; lines before the first section belong to a section named "";
//  - every other non-empty line is a key: the text before the first '=' (trimmed) is its name,
//    the rest (trimmed, and without one pair of matching surrounding quotes) its value; a line
//    without '=' is a key with no value, which lookups treat as missing;
//  - names compare without regard to case; of two sections or keys with the same name the first
//    wins; key lists leave out keys without value and names that start with ';', section lists
//    leave out sections named "";
//  - a value is cut to size - 1 characters; a list whose next name would not leave two spare
//    bytes ends with the part of that name that fits in size - 2 bytes and one NUL, and the
//    result is size - 2; an empty list is a single NUL; a default loses its trailing blanks
//    and its quotes;
//  - integers: blanks, a sign, then decimal digits, or "0x" and hex digits; the rest is ignored.
#include "platform/common/profile_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace platform {
namespace common {

namespace {

struct Entry {
  std::string name;
  std::string value;
  bool hasValue;
};

struct Section {
  std::string name;
  std::vector<Entry> entries;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

bool SameName(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Values (and defaults) lose one pair of matching surrounding quotes.
std::string Unquote(const std::string& s) {
  if (s.size() >= 2 && (s[0] == '"' || s[0] == '\'') && s.back() == s[0]) {
    return s.substr(1, s.size() - 2);
  }
  return s;
}

// The whole file as sections; a missing or unreadable file has none.
std::vector<Section> Load(const char* fileName) {
  std::vector<Section> sections;
  if (fileName == nullptr) return sections;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return sections;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  sections.push_back(Section{"", {}});
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] == '[') {
      const size_t close = line.rfind(']');
      if (close != std::string::npos) sections.push_back(Section{Trim(line.substr(1, close - 1)), {}});
      continue;
    }
    const size_t eq = line.find('=');
    Entry e;
    e.hasValue = eq != std::string::npos;
    e.name = Trim(line.substr(0, eq));
    if (e.hasValue) e.value = Unquote(Trim(line.substr(eq + 1)));
    sections.back().entries.push_back(std::move(e));
  }
  return sections;
}

const Section* FindSection(const std::vector<Section>& sections, const char* name) {
  for (const Section& s : sections) {
    if (SameName(s.name, name)) return &s;
  }
  return nullptr;
}

uint32_t CopyValue(const std::string& value, char* buffer, uint32_t size) {
  if (size == 0) return 0;
  const uint32_t n = uint32_t(std::min<size_t>(value.size(), size - 1));
  std::memcpy(buffer, value.data(), n);
  buffer[n] = 0;
  return n;
}

uint32_t CopyList(const std::vector<std::string>& names, char* buffer, uint32_t size) {
  if (size == 0) return 0;
  uint32_t used = 0;
  for (const std::string& name : names) {
    const uint32_t length = uint32_t(name.size());
    if (used + length + 2 >= size) {
      // No room for this name with the list's end: keep what fits and stop with one NUL.
      const uint32_t room = size >= used + 2 ? size - 2 - used : 0;
      std::memcpy(buffer + used, name.data(), room);
      buffer[used + room] = 0;
      return used + room;
    }
    std::memcpy(buffer + used, name.data(), length);
    used += length;
    buffer[used++] = 0;
  }
  buffer[used] = 0;
  return used;
}

}  // namespace

uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t size, const char* fileName) {
  const std::vector<Section> sections = Load(fileName);
  if (section == nullptr) {
    std::vector<std::string> names;
    for (const Section& s : sections) {
      if (!s.name.empty()) names.push_back(s.name);
    }
    return CopyList(names, buffer, size);
  }
  const Section* found = FindSection(sections, section);
  if (key == nullptr) {
    std::vector<std::string> names;
    if (found != nullptr) {
      for (const Entry& e : found->entries) {
        if (e.hasValue && (e.name.empty() || e.name[0] != ';')) names.push_back(e.name);
      }
    }
    return CopyList(names, buffer, size);
  }
  if (found != nullptr) {
    for (const Entry& e : found->entries) {
      if (SameName(e.name, key)) {
        if (e.hasValue) return CopyValue(e.value, buffer, size);
        break;
      }
    }
  }
  std::string fallback = defaultValue ? defaultValue : "";
  while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t')) fallback.pop_back();
  return CopyValue(Unquote(fallback), buffer, size);
}

int32_t ReadProfileInt(const char* section, const char* key, int32_t defaultValue,
                       const char* fileName) {
  char text[64];
  if (ReadProfileString(section, key, "", text, sizeof text, fileName) == 0) return defaultValue;
  // Blanks, a sign, then decimal digits or "0x" and hex digits; arithmetic wraps at 32 bits.
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint32_t base = 10;
  if (p[0] == '0' && p[1] == 'x') {  // lower-case x only, as Windows reads it
    base = 16;
    p += 2;
  }
  uint32_t value = 0;
  for (;; ++p) {
    const int c = std::tolower(static_cast<unsigned char>(*p));
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = uint32_t(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = uint32_t(c - 'a' + 10);
    } else {
      break;
    }
    if (digit >= base) break;
    value = value * base + digit;
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

}  // namespace common
}  // namespace platform
