// The path kept for each URL, and back.
#include "platform/common/url_paths.h"

#include <cstring>

namespace platform {
namespace common {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool SchemeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '+' || c == '-' || c == '.';
}

// A segment that names no file of its own: climbing with it would leave the URL's folder.
bool DotSegment(const std::string& path, size_t begin, size_t end) {
  const size_t n = end - begin;
  return (n == 1 && path[begin] == '.') || (n == 2 && path[begin] == '.' && path[begin + 1] == '.');
}

}  // namespace

std::string PathForUrl(const std::string& url) {
  const size_t colon = url.find("://");
  if (colon == 0 || colon == std::string::npos) return "";
  for (size_t i = 0; i < colon; ++i) {
    if (!SchemeCharacter(url[i])) return "";
  }
  for (char c : url) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\') return "";
  }
  std::string rest = url.substr(colon + 3);
  const size_t hash = rest.find('#');
  if (hash != std::string::npos) rest.resize(hash);
  const size_t slash = rest.find('/');
  const size_t question = rest.find('?');
  const size_t authorityEnd = slash < question ? slash : question;
  const std::string authority = rest.substr(0, authorityEnd);
  if (authority.empty()) return "";
  std::string path = authorityEnd == std::string::npos ? "" : rest.substr(authorityEnd);
  std::string query;
  const size_t q = path.find('?');
  if (q != std::string::npos) {
    query = path.substr(q);
    path.resize(q);
  }
  if (path.empty()) path = "/";

  std::string decoded;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size() && HexValue(path[i + 1]) >= 0 &&
        HexValue(path[i + 2]) >= 0) {
      const char c = char(HexValue(path[i + 1]) * 16 + HexValue(path[i + 2]));
      if (c != '/' && c != '?' && c != '%' && static_cast<unsigned char>(c) >= 0x20 &&
          c != 0x7F && c != '\\') {
        decoded += c;
        i += 2;
        continue;
      }
    }
    decoded += path[i];
  }
  for (size_t begin = 1; begin <= decoded.size();) {
    size_t end = decoded.find('/', begin);
    if (end == std::string::npos) end = decoded.size();
    if (DotSegment(decoded, begin, end)) return "";
    begin = end + 1;
  }
  return std::string(kUrlRoot) + "/" + url.substr(0, colon) + "/" + authority + decoded + query;
}

std::string UrlForPath(const std::string& path) {
  const std::string root = std::string(kUrlRoot) + "/";
  if (path.compare(0, root.size(), root) != 0) return "";
  const size_t schemeEnd = path.find('/', root.size());
  if (schemeEnd == std::string::npos || schemeEnd == root.size()) return "";
  const size_t authorityEnd = path.find('/', schemeEnd + 1);
  if (authorityEnd == schemeEnd + 1) return "";
  std::string url = path.substr(root.size(), schemeEnd - root.size()) + "://" +
                    path.substr(schemeEnd + 1, authorityEnd == std::string::npos
                                                   ? std::string::npos
                                                   : authorityEnd - schemeEnd - 1);
  if (authorityEnd == std::string::npos) return url + "/";
  std::string rest = path.substr(authorityEnd);
  std::string query;
  const size_t q = rest.find('?');
  if (q != std::string::npos) {
    query = rest.substr(q);
    rest.resize(q);
  }
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : rest) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b >= 0x7F || std::strchr("\"<>\\^`{|}#", c) != nullptr) {
      url += '%';
      url += kHex[b >> 4];
      url += kHex[b & 15];
    } else {
      url += c;
    }
  }
  return url + query;
}

}  // namespace common
}  // namespace platform
