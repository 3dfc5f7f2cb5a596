// The server behind `kvp serve`: maps request paths into the folder, adds the page script, ranges.
//
// Threads: httplib answers each connection on a worker of its pool; the handler reads only
// State's fields that Start set before the listening thread began (root, web) and keeps
// everything else on its own stack, so it needs no lock.
#include "tools/kvp/serve.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace kvp::cli {

namespace {

// The web build's files, which a page may also ask for by its own relative path.
const char* const kViewerFiles[] = {"kestrelvue.js", "kestrelvue-core.mjs",
                                     "kestrelvue-core.wasm"};

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsHtml(const std::string& name) {
  const std::string lower = Lower(name);
  return EndsWith(lower, ".html") || EndsWith(lower, ".htm");
}

bool IsViewerFile(const std::string& name) {
  return std::any_of(std::begin(kViewerFiles), std::end(kViewerFiles),
                     [&name](const char* file) { return name == file; });
}

// Percent-encodes all but the unreserved characters (and '/' when `keepSlash`), for hrefs and
// Location headers built from names on disk.
std::string Encode(const std::string& text, bool keepSlash) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    const bool plain = std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
    if (plain || (keepSlash && c == '/')) {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string EscapeHtml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

bool IsInside(const fs::path& path, const fs::path& root) {
  auto r = root.begin();
  auto p = path.begin();
  for (; r != root.end(); ++r, ++p) {
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

// `name` in `dir`: the exact name if it exists, else the first entry whose name matches it in
// any case. Pages written on Windows and CD images (8.3, upper case) link "PANO.PAN" to
// pano.pan; the servers they were made for did not mind the case, so neither do we.
bool FindEntry(const fs::path& dir, const std::string& name, fs::path& found) {
  std::error_code ec;
  if (fs::exists(dir / name, ec)) {
    found = dir / name;
    return true;
  }
  const std::string wanted = Lower(name);
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (Lower(it->path().filename().string()) == wanted) {
      found = it->path();
      return true;
    }
  }
  return false;
}

// A response body: a whole file on disk, or bytes made here (a page with the script added).
struct Body {
  fs::path file;       // when `bytes` is not used
  std::string bytes;
  bool inMemory = false;
  uintmax_t size = 0;
};

// Answers with `body`, or the one range of it the request asks for. Several ranges get the
// whole body (a server may ignore Range); a range that starts past the end gets 416.
void Send(const std::vector<std::pair<ssize_t, ssize_t>>& ranges, const Body& body,
          const std::string& type, httplib::Response& res) {
  res.set_header("Accept-Ranges", "bytes");
  uintmax_t start = 0, length = body.size;
  if (ranges.size() == 1) {
    const auto [first, last] = ranges[0];
    uintmax_t end = body.size;  // one past the last byte sent
    if (first < 0) {            // "bytes=-N": the last N bytes
      start = body.size - std::min<uintmax_t>(body.size, uintmax_t(last));
      if (last == 0) start = body.size;
    } else {
      start = uintmax_t(first);
      if (last >= 0) end = std::min<uintmax_t>(end, uintmax_t(last) + 1);
    }
    if (start >= body.size) {
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(body.size));
      return;
    }
    length = end - start;
    res.status = 206;
    res.set_header("Content-Range", "bytes " + std::to_string(start) + "-" +
                                        std::to_string(end - 1) + "/" +
                                        std::to_string(body.size));
  }
  if (body.inMemory) {
    res.set_content(body.bytes.substr(size_t(start), size_t(length)), type.c_str());
    return;
  }
  if (length == 0) {
    res.set_content("", type.c_str());
    return;
  }
  auto in = std::make_shared<std::ifstream>(body.file, std::ios::binary);
  res.set_content_provider(
      size_t(length), type.c_str(),
      [in, start](size_t offset, size_t count, httplib::DataSink& sink) {
        char buffer[64 * 1024];
        in->clear();
        in->seekg(std::streamoff(start + offset));
        const size_t want = std::min(count, sizeof buffer);
        in->read(buffer, std::streamsize(want));
        // A file that shrank under us ends the connection rather than sending a short body.
        if (size_t(in->gcount()) != want) return false;
        return sink.write(buffer, want);
      });
}

const char* Reason(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    default: return "Error";
  }
}

std::string Listing(const std::string& urlPath, const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (it->is_directory(ec)) name += '/';
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::ostringstream page;
  page << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" << EscapeHtml(urlPath)
       << "</title></head>\n<body><h1>" << EscapeHtml(urlPath) << "</h1>\n<ul>\n";
  if (urlPath != "/") page << "<li><a href=\"../\">../</a></li>\n";
  for (const std::string& name : names) {
    const bool isDir = name.back() == '/';
    const std::string href = Encode(isDir ? name.substr(0, name.size() - 1) : name, false);
    page << "<li><a href=\"" << href << (isDir ? "/" : "") << "\">" << EscapeHtml(name)
         << "</a></li>\n";
  }
  page << "</ul></body></html>\n";
  return page.str();
}

}  // namespace

std::string AddScriptLine(const std::string& page) {
  const std::string lower = Lower(page);
  if (lower.find("kestrelvue.js") != std::string::npos) return page;
  size_t at = lower.find("</head>");
  if (at == std::string::npos) at = lower.find("</body>");
  if (at == std::string::npos) return page + "\n" + kScriptLine + "\n";
  return page.substr(0, at) + kScriptLine + "\n" + page.substr(at);
}

const char* ContentTypeFor(const std::string& name) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html"},
      {".htm", "text/html"},
      {".js", "text/javascript"},
      {".mjs", "text/javascript"},
      {".wasm", "application/wasm"},
      {".pan", "application/x-pan"},
      {".wav", "audio/wav"},
      {".avi", "video/x-msvideo"},
      {".avt", "application/octet-stream"},  // sprite pictures: no registered type
      {".ini", "text/plain"},                // tour descriptions
      {".txt", "text/plain"},
      {".css", "text/css"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},
      {".bmp", "image/bmp"},
      {".json", "application/json"},
  };
  const std::string lower = Lower(name);
  for (const auto& [extension, type] : kTypes) {
    if (EndsWith(lower, extension)) return type;
  }
  return "application/octet-stream";
}

std::string FindWebDir(const std::string& given) {
  if (!given.empty()) return given;
  if (const char* env = std::getenv("KVP_WEB_DIR"); env != nullptr && *env != '\0') return env;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "build/web";
  return (exe.parent_path() / ".." / ".." / "web").lexically_normal().string();
}

struct LocalServer::State {
  // Set by Start before the listening thread starts; read-only afterwards.
  fs::path root;  // canonical
  fs::path web;
  uint16_t port = 0;

  httplib::Server server;
  std::thread listener;  // runs server.listen_after_bind; touches nothing else of State

  void Handle(const httplib::Request& req, httplib::Response& res) const;
  bool ServeFile(const std::vector<std::pair<ssize_t, ssize_t>>& ranges, const fs::path& file,
                 httplib::Response& res) const;
};

bool LocalServer::State::ServeFile(const std::vector<std::pair<ssize_t, ssize_t>>& ranges,
                                   const fs::path& file, httplib::Response& res) const {
  Body body;
  std::error_code ec;
  body.size = fs::file_size(file, ec);
  if (ec) return false;
  const std::string name = file.filename().string();
  if (IsHtml(name)) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream page;
    page << in.rdbuf();
    if (!in) return false;
    body.bytes = AddScriptLine(page.str());
    body.size = body.bytes.size();
    body.inMemory = true;
  } else {
    body.file = file;
  }
  Send(ranges, body, ContentTypeFor(name), res);
  return true;
}

void LocalServer::State::Handle(const httplib::Request& req, httplib::Response& res) const {
  // httplib 0.11 applies the request's ranges to whatever the handler answers, error pages
  // included (a 404 with "Range: bytes=1-2" comes out as two bytes of it). Ranges are answered
  // here, so they are taken out of the request, which httplib owns and does not hold const.
  const std::vector<std::pair<ssize_t, ssize_t>> ranges = req.ranges;
  const_cast<httplib::Request&>(req).ranges.clear();
  res.set_header("Cache-Control", "no-cache");

  const std::string& path = req.path;  // percent-decoded by httplib
  if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) {
    res.status = 400;
    return;
  }

  const std::string prefix = kWebPrefix;
  if (path.compare(0, prefix.size(), prefix) == 0) {
    const std::string name = path.substr(prefix.size());
    std::error_code ec;
    if (!name.empty() && name.find_first_of("/\\") == std::string::npos && name != ".." &&
        fs::is_regular_file(web / name, ec) && ServeFile(ranges, web / name, res)) {
      return;
    }
    res.status = 404;
    return;
  }

  // Climbing out is refused before the disk is asked anything. A backslash is refused too:
  // pages from Windows may use it as a separator, and no file name here holds one honestly.
  std::vector<std::string> segments;
  for (size_t at = 1; at <= path.size();) {
    const size_t slash = std::min(path.find('/', at), path.size());
    const std::string segment = path.substr(at, slash - at);
    if (segment == ".." || segment.find('\\') != std::string::npos) {
      res.status = 403;
      return;
    }
    if (!segment.empty() && segment != ".") segments.push_back(segment);
    at = slash + 1;
  }

  fs::path target = root;
  for (const std::string& segment : segments) {
    fs::path next;
    if (!FindEntry(target, segment, next)) {
      // A page prepared for the web viewer may load it by a path of its own (a demo beside
      // its panoramas); the folder's own file wins when it has one.
      std::error_code ec;
      const bool last = &segment == &segments.back();
      if (last && IsViewerFile(segment) && fs::is_regular_file(web / segment, ec) &&
          ServeFile(ranges, web / segment, res)) {
        return;
      }
      res.status = 404;
      return;
    }
    target = next;
  }

  // Links inside the folder may point anywhere; only what they resolve to inside it is served.
  std::error_code ec;
  const fs::path real = fs::canonical(target, ec);
  if (ec) {
    res.status = 404;
    return;
  }
  if (!IsInside(real, root)) {
    res.status = 403;
    return;
  }

  if (fs::is_directory(real, ec)) {
    if (path.back() != '/') {
      // Relative links in the folder's index resolve against the URL, which must end in '/'.
      res.set_redirect(Encode(path, true) + "/", 301);
      return;
    }
    fs::path index;
    if ((FindEntry(real, "index.html", index) || FindEntry(real, "index.htm", index)) &&
        fs::is_regular_file(index, ec)) {
      if (!ServeFile(ranges, index, res)) res.status = 403;
      return;
    }
    res.set_content(Listing(path, real), "text/html; charset=utf-8");
    return;
  }
  if (!fs::is_regular_file(real, ec) || !ServeFile(ranges, real, res)) res.status = 403;
}

LocalServer::LocalServer(std::string root, std::string webDir) : state_(std::make_unique<State>()) {
  state_->root = std::move(root);
  state_->web = std::move(webDir);
  State& s = *state_;
  s.server.Get(".*", [&s](const httplib::Request& req, httplib::Response& res) {
    s.Handle(req, res);
  });
  s.server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::to_string(res.status) + " " + Reason(res.status) + "\n", "text/plain");
  });
  // httplib's default, SO_REUSEPORT, lets a second server bind a port the first one listens
  // on and splits the requests between the two folders: "8080 if free" would never see it
  // taken. SO_REUSEADDR alone still allows a restart while old connections linger.
  s.server.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // Ctrl-C waits for open connections; a browser's idle ones should not hold it up for long.
  s.server.set_keep_alive_timeout(1);
}

LocalServer::~LocalServer() { Stop(); }

bool LocalServer::Start(uint16_t port, std::string& why) {
  State& s = *state_;
  std::error_code ec;
  const fs::path root = fs::canonical(s.root, ec);
  if (ec || !fs::is_directory(root, ec)) {
    why = "cannot serve " + s.root.string() + ": not a folder";
    return false;
  }
  s.root = root;

  int bound = port;
  if (port == 0) {
    bound = s.server.bind_to_any_port("127.0.0.1");
  } else if (!s.server.bind_to_port("127.0.0.1", port)) {
    bound = -1;
  }
  if (bound <= 0) {
    why = port == 0 ? std::string("cannot listen on 127.0.0.1")
                    : "cannot listen on 127.0.0.1:" + std::to_string(port) + " (in use?)";
    return false;
  }
  s.port = uint16_t(bound);
  s.listener = std::thread([&s] { s.server.listen_after_bind(); });
  // httplib's stop() does nothing until the loop runs, so Stop could not end a server that
  // had only just started; connections made meanwhile wait in the listen queue.
  while (!s.server.is_running()) std::this_thread::yield();
  return true;
}

uint16_t LocalServer::Port() const { return state_->port; }

void LocalServer::Stop() {
  if (!state_->listener.joinable()) return;
  state_->server.stop();
  state_->listener.join();
}

}  // namespace kvp::cli
