// Page reading and layout: a small tag scanner, not an HTML renderer.
#include "host/page.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace kvp::host {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string DecodeEntities(const std::string& s) {
  static const std::pair<const char*, char> kNamed[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '}};
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const size_t semi = s[i] == '&' ? s.find(';', i) : std::string::npos;
    if (semi == std::string::npos || semi - i > 8) {
      out += s[i];
      continue;
    }
    const std::string name = s.substr(i + 1, semi - i - 1);
    bool done = false;
    if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      char* end = nullptr;
      const long value = std::strtol(name.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
      if (end != nullptr && *end == '\0' && value > 0 && value < 256) {
        out += char(value);
        done = true;
      }
    } else {
      for (const auto& [entity, c] : kNamed) {
        if (Lower(name) == entity) {
          out += c;
          done = true;
        }
      }
    }
    if (done) {
      i = semi;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string FoldBlanks(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (IsSpace(c)) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

struct Tag {
  std::string name;  // lower case; "/name" for an end tag
  std::vector<std::pair<std::string, std::string>> attributes;
};

// Reads the tag starting at html[pos] == '<'; returns the position after its '>' (or the end).
size_t ReadTag(const std::string& html, size_t pos, Tag& tag) {
  size_t i = pos + 1;
  const size_t n = html.size();
  size_t start = i;
  if (i < n && html[i] == '/') ++i;
  while (i < n && !IsSpace(html[i]) && html[i] != '>' && html[i] != '/') ++i;
  tag.name = Lower(html.substr(start, i - start));
  while (i < n && html[i] != '>') {
    if (IsSpace(html[i]) || html[i] == '/') {
      ++i;
      continue;
    }
    start = i;
    while (i < n && !IsSpace(html[i]) && html[i] != '=' && html[i] != '>') ++i;
    std::string name = Lower(html.substr(start, i - start));
    while (i < n && IsSpace(html[i])) ++i;
    std::string value;
    if (i < n && html[i] == '=') {
      ++i;
      while (i < n && IsSpace(html[i])) ++i;
      if (i < n && (html[i] == '"' || html[i] == '\'')) {
        const char quote = html[i++];
        start = i;
        while (i < n && html[i] != quote) ++i;
        value = html.substr(start, i - start);
        if (i < n) ++i;
      } else {
        start = i;
        while (i < n && !IsSpace(html[i]) && html[i] != '>') ++i;
        value = html.substr(start, i - start);
      }
    }
    if (!name.empty()) tag.attributes.emplace_back(name, DecodeEntities(value));
  }
  // A tag cut off by the end of the page is no tag.
  if (i >= n) tag.name.clear();
  return i < n ? i + 1 : n;
}

const std::string* Attribute(const Tag& tag, const char* name) {
  for (const auto& [key, value] : tag.attributes)
    if (key == name) return &value;
  return nullptr;
}

bool NamesPanorama(const std::string* source) {
  if (source == nullptr) return false;
  const std::string path = Lower(source->substr(0, source->find_first_of("?#")));
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".pan") == 0;
}

// A width or height as browsers read it: leading digits; none, zero or a percentage gives the
// default (there is no page width to take a share of).
int Dimension(const std::string* value, int fallback) {
  if (value == nullptr) return fallback;
  size_t i = 0;
  while (i < value->size() && IsSpace((*value)[i])) ++i;
  long n = 0;
  size_t digits = 0;
  while (i < value->size() && std::isdigit(static_cast<unsigned char>((*value)[i])) &&
         digits < 6) {
    n = n * 10 + ((*value)[i++] - '0');
    ++digits;
  }
  if (digits == 0 || n == 0 || (i < value->size() && (*value)[i] == '%')) return fallback;
  return int(n);
}

}  // namespace

Page ReadPage(const std::string& html) {
  Page page;
  size_t pos = 0;
  int objectDepth = 0;  // open <object> elements that were taken
  std::vector<bool> objectTaken;
  while ((pos = html.find('<', pos)) != std::string::npos) {
    if (html.compare(pos, 4, "<!--") == 0) {
      const size_t end = html.find("-->", pos + 4);
      pos = end == std::string::npos ? html.size() : end + 3;
      continue;
    }
    Tag tag;
    pos = ReadTag(html, pos, tag);
    if (tag.name == "script" || tag.name == "style" || tag.name == "title") {
      const std::string close = "</" + tag.name;
      size_t end = pos;
      while ((end = html.find('<', end)) != std::string::npos &&
             Lower(html.substr(end, close.size())) != close)
        ++end;
      if (end == std::string::npos) end = html.size();
      if (tag.name == "title" && page.title.empty())
        page.title = FoldBlanks(DecodeEntities(html.substr(pos, end - pos)));
      pos = end;
      continue;
    }
    if (tag.name == "embed" || tag.name == "object") {
      const bool isObject = tag.name == "object";
      const std::string* source = Attribute(tag, isObject ? "data" : "src");
      const std::string* type = Attribute(tag, "type");
      const bool ours = (type != nullptr && Lower(*type) == "application/x-pan") ||
                        NamesPanorama(source);
      const bool taken = ours && source != nullptr && !source->empty() && objectDepth == 0;
      if (taken) {
        PageObject object;
        object.source = *source;
        object.width = Dimension(Attribute(tag, "width"), kDefaultObjectWidth);
        object.height = Dimension(Attribute(tag, "height"), kDefaultObjectHeight);
        object.attributes = tag.attributes;
        page.objects.push_back(object);
      }
      if (isObject) {
        objectTaken.push_back(taken);
        if (taken) ++objectDepth;
      }
    } else if (tag.name == "/object" && !objectTaken.empty()) {
      if (objectTaken.back()) --objectDepth;
      objectTaken.pop_back();
    }
  }
  return page;
}

std::vector<Placement> LayOut(const std::vector<PageObject>& objects) {
  std::vector<Placement> placements;
  // A hostile page can stack enough tall objects to pass any int: the column stops growing
  // at the largest coordinate a window can have, well below that.
  constexpr long long kLowestTop = 0x3FFFFFFF;
  long long y = kPageMargin;
  for (const PageObject& object : objects) {
    placements.push_back({kPageMargin, int(y), object.width, object.height});
    y = std::min(y + object.height + kPageMargin, kLowestTop);
  }
  return placements;
}

}  // namespace kvp::host
