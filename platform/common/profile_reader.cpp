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
#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

namespace {

struct Entry {
  std::string name;
  std::string value;
  bool hasValue;
};

struct Section {
  std::string name;
  std::vector<Entry> entries;
  // Lower-cased name -> the first entry of that name: lookups in a section of 20,000 keys
  // must not walk it.
  std::unordered_map<std::string, size_t> firstEntry;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

// Names compare as their lower-case forms (the C locale's, byte by byte).
std::string Lower(const char* s, size_t n) {
  std::string out(s, n);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}
std::string Lower(const std::string& s) { return Lower(s.data(), s.size()); }

// Values (and defaults) lose one pair of matching surrounding quotes.
std::string Unquote(const std::string& s) {
  if (s.size() >= 2 && (s[0] == '"' || s[0] == '\'') && s.back() == s[0]) {
    return s.substr(1, s.size() - 2);
  }
  return s;
}

}  // namespace

struct ProfileFile::Parsed {
  std::vector<Section> sections;
  std::unordered_map<std::string, size_t> firstSection;  // lower-cased name -> index

  const Section* Find(const char* name) const {
    const auto at = firstSection.find(Lower(name, std::strlen(name)));
    return at == firstSection.end() ? nullptr : &sections[at->second];
  }
};

namespace {

// The whole file as sections, each name indexed to its first occurrence; a missing or
// unreadable file has none.
void Load(const char* fileName, std::vector<Section>& sections,
          std::unordered_map<std::string, size_t>& firstSection) {
  if (fileName == nullptr) return;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  sections.push_back(Section{"", {}, {}});
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] == '[') {
      const size_t close = line.rfind(']');
      if (close != std::string::npos) {
        sections.push_back(Section{Trim(line.substr(1, close - 1)), {}, {}});
      }
      continue;
    }
    const size_t eq = line.find('=');
    Entry e;
    e.hasValue = eq != std::string::npos;
    e.name = Trim(line.substr(0, eq));
    if (e.hasValue) e.value = Unquote(Trim(line.substr(eq + 1)));
    Section& section = sections.back();
    section.firstEntry.emplace(Lower(e.name), section.entries.size());
    section.entries.push_back(std::move(e));
  }
  for (size_t i = 0; i < sections.size(); ++i) {
    firstSection.emplace(Lower(sections[i].name), i);
  }
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

// Blanks, a sign, then decimal digits or "0x" and hex digits; arithmetic wraps at 32 bits.
int32_t ParseProfileInt(const char* text) {
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

}  // namespace

ProfileFile::ProfileFile(const char* fileName) : parsed_(new Parsed) {
  Load(fileName, parsed_->sections, parsed_->firstSection);
}

ProfileFile::~ProfileFile() { delete parsed_; }

ProfileFile::ProfileFile(ProfileFile&& other) noexcept : parsed_(other.parsed_) {
  other.parsed_ = nullptr;
}

ProfileFile& ProfileFile::operator=(ProfileFile&& other) noexcept {
  std::swap(parsed_, other.parsed_);
  return *this;
}

uint32_t ProfileFile::ReadString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size) const {
  static const Parsed kNothing;
  const Parsed& parsed = parsed_ != nullptr ? *parsed_ : kNothing;
  if (section == nullptr) {
    std::vector<std::string> names;
    for (const Section& s : parsed.sections) {
      if (!s.name.empty()) names.push_back(s.name);
    }
    return CopyList(names, buffer, size);
  }
  const Section* found = parsed.Find(section);
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
    // Only the first key of a name counts, even when it has no value.
    const auto at = found->firstEntry.find(Lower(key, std::strlen(key)));
    if (at != found->firstEntry.end() && found->entries[at->second].hasValue) {
      return CopyValue(found->entries[at->second].value, buffer, size);
    }
  }
  std::string fallback = defaultValue ? defaultValue : "";
  while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t')) fallback.pop_back();
  return CopyValue(Unquote(fallback), buffer, size);
}

int32_t ProfileFile::ReadInt(const char* section, const char* key, int32_t defaultValue) const {
  char text[64];
  if (ReadString(section, key, "", text, sizeof text) == 0) return defaultValue;
  return ParseProfileInt(text);
}

namespace common {

uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t size, const char* fileName) {
  return ProfileFile(fileName).ReadString(section, key, defaultValue, buffer, size);
}

int32_t ReadProfileInt(const char* section, const char* key, int32_t defaultValue,
                       const char* fileName) {
  return ProfileFile(fileName).ReadInt(section, key, defaultValue);
}

}  // namespace common
}  // namespace platform
