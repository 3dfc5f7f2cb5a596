// URL resolution and the virtual site: pure string work, shared by the host and its tests.
#include "host/site.h"

#include <cctype>
#include <vector>

namespace kvp::host {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "http:", "file:" ... : a scheme is letters, digits, "+-." before the first ':', starting
// with a letter, and more than one character long (so "C:\x" is a drive, not a scheme).
std::string SchemeOf(const std::string& url) {
  const size_t colon = url.find(':');
  if (colon == std::string::npos || colon < 2) return "";
  if (!std::isalpha(static_cast<unsigned char>(url[0]))) return "";
  for (size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return "";
  }
  return Lower(url.substr(0, colon));
}

struct Parts {
  std::string origin;  // "http://host" (no trailing slash)
  std::string path;    // starts with '/'
  std::string query;   // with its '?', or empty
};

Parts Split(const std::string& absolute) {
  Parts p;
  const size_t hostStart = absolute.find("//");
  size_t pathStart = absolute.find('/', hostStart == std::string::npos ? 0 : hostStart + 2);
  const size_t queryStart = absolute.find('?');
  if (pathStart == std::string::npos || (queryStart != std::string::npos && pathStart > queryStart))
    pathStart = queryStart == std::string::npos ? absolute.size() : queryStart;
  p.origin = absolute.substr(0, pathStart);
  const size_t pathEnd = queryStart == std::string::npos ? absolute.size() : queryStart;
  p.path = absolute.substr(pathStart, pathEnd - pathStart);
  if (p.path.empty() || p.path[0] != '/') p.path = "/" + p.path;
  if (queryStart != std::string::npos) p.query = absolute.substr(queryStart);
  return p;
}

// Removes "." and ".." segments; ".." at the root stays at the root.
std::string RemoveDots(const std::string& path) {
  std::vector<std::string> out;
  size_t start = 1;
  bool endsInFolder = false;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(start, end - start);
    const bool last = end == path.size();
    endsInFolder = false;
    if (segment == "..") {
      if (!out.empty()) out.pop_back();
      endsInFolder = true;
    } else if (segment == ".") {
      endsInFolder = true;
    } else if (!(last && segment.empty())) {
      out.push_back(segment);
    } else {
      endsInFolder = true;
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& s : out) result += "/" + s;
  if (result.empty() || endsInFolder) result += "/";
  return result;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = char(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string ResolveUrl(const std::string& base, const std::string& reference) {
  std::string ref = reference;
  for (char& c : ref)
    if (c == '\\') c = '/';
  // Leading and trailing blanks in an attribute are not part of the address.
  while (!ref.empty() && std::isspace(static_cast<unsigned char>(ref.front()))) ref.erase(0, 1);
  while (!ref.empty() && std::isspace(static_cast<unsigned char>(ref.back()))) ref.pop_back();
  const size_t hash = ref.find('#');
  if (hash != std::string::npos) ref.erase(hash);

  const std::string scheme = SchemeOf(ref);
  if (!scheme.empty()) {
    if (scheme != "http" && scheme != "file") return "";
    Parts p = Split(ref);
    return Lower(p.origin) + RemoveDots(p.path) + p.query;
  }
  Parts b = Split(base.substr(0, base.find('#')));
  if (ref.rfind("//", 0) == 0) return ResolveUrl(SchemeOf(base) + ":" + ref, "");
  if (ref.empty()) return b.origin + b.path + b.query;
  if (ref[0] == '?') return b.origin + b.path + ref;
  const size_t query = ref.find('?');
  std::string refPath = ref.substr(0, query);
  const std::string refQuery = query == std::string::npos ? "" : ref.substr(query);
  std::string merged;
  if (!refPath.empty() && refPath[0] == '/') {
    merged = refPath;
  } else {
    merged = b.path.substr(0, b.path.rfind('/') + 1) + refPath;
  }
  return b.origin + RemoveDots(merged) + refQuery;
}

Site::Site(std::string folder) : folder_(std::move(folder)) {
  for (char& c : folder_)
    if (c == '/') c = '\\';
  if (folder_.empty() || folder_.back() != '\\') folder_ += '\\';
}

std::string Site::UrlOf(const std::string& relativePath) const {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = kSiteRoot;
  for (char c : relativePath) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\') {
      url += '/';
    } else if (std::isalnum(u) || std::string("-._~/!$&'()*+,;=:@").find(c) != std::string::npos) {
      url += c;
    } else {
      url += '%';
      url += kHex[u >> 4];
      url += kHex[u & 15];
    }
  }
  return url;
}

std::string Site::LocalPath(const std::string& url) const {
  const std::string root = kSiteRoot;
  if (Lower(url.substr(0, root.size())) != root) return "";
  std::string path = url.substr(root.size());
  const size_t end = path.find_first_of("?#");
  if (end != std::string::npos) path.erase(end);
  std::string decoded;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size() && HexValue(path[i + 1]) >= 0 &&
        HexValue(path[i + 2]) >= 0) {
      decoded += char(HexValue(path[i + 1]) * 16 + HexValue(path[i + 2]));
      i += 2;
    } else {
      decoded += path[i];
    }
  }
  if (decoded.empty() || decoded.back() == '/' || decoded.back() == '\\') return "";
  std::string segment;
  for (size_t i = 0; i <= decoded.size(); ++i) {
    const char c = i < decoded.size() ? decoded[i] : '/';
    if (c == '\0' || c == ':') return "";
    if (c == '/' || c == '\\') {
      if (segment == ".." || segment == ".") return "";
      segment.clear();
    } else {
      segment += c;
    }
  }
  if (decoded[0] == '/' || decoded[0] == '\\') return "";
  for (char& c : decoded)
    if (c == '/') c = '\\';
  return folder_ + decoded;
}

std::string MimeTypeOf(const std::string& url) {
  std::string name = url.substr(0, url.find_first_of("?#"));
  const size_t dot = name.rfind('.');
  const size_t slash = name.rfind('/');
  const std::string ext =
      dot == std::string::npos || (slash != std::string::npos && dot < slash)
          ? ""
          : Lower(name.substr(dot + 1));
  if (ext == "pan" || ext == "ini" || ext == "pa_") return "application/x-pan";
  if (ext == "html" || ext == "htm") return "text/html";
  if (ext == "wav") return "audio/wav";
  if (ext == "avi") return "video/x-msvideo";
  if (ext == "bmp") return "image/bmp";
  return "application/octet-stream";
}

}  // namespace kvp::host
