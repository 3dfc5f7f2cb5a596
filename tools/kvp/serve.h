// `kvp serve`: a folder of legacy pages served on the loopback address with the web viewer added.
//
// Native builds only (the Windows kvp answers `kvp serve` with a one-line refusal): the HTTP
// side is Debian's cpp-httplib, a shared library for the build machine. The command itself
// lives in serve.cpp; this header is what it and the tests share.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kvp::cli {

// Where the page script is served from. A path no archive holds: folders on a CD image never
// start with a dot, so the viewer's files cannot shadow a page's own or be shadowed by them.
constexpr const char* kWebPrefix = "/.kestrelvue/";
constexpr const char* kScriptLine = "<script src=\"/.kestrelvue/kestrelvue.js\"></script>";

// The page with the script line added once: before "</head>", else before "</body>", else at
// the end (tags matched in any case). A page that already names kestrelvue.js anywhere is
// returned as it is, so that pages prepared for the web viewer do not load it twice.
std::string AddScriptLine(const std::string& page);

// The Content-Type for a file name, by its extension in any case; application/octet-stream
// for names not in the table.
const char* ContentTypeFor(const std::string& name);

// The folder holding the web build (kestrelvue.js, kestrelvue-core.mjs, kestrelvue-core.wasm):
// `given` when not empty, else $KVP_WEB_DIR, else build/web beside the running kvp's build
// tree (<exe>/../../web). Whether it holds the files is the caller's to check.
std::string FindWebDir(const std::string& given);

// One running server: `root` served on 127.0.0.1, the viewer's files from `webDir`. It
// answers on its own threads from Start until Stop (or destruction); every member may be
// called from any one thread that owns the object.
class LocalServer {
 public:
  LocalServer(std::string root, std::string webDir);
  ~LocalServer();
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  // Binds 127.0.0.1:`port` (0: any free port) and starts answering. False with `why` set when
  // the folder is missing or the port cannot be bound; the server is then not running.
  bool Start(uint16_t port, std::string& why);
  // The port bound by Start (0 before).
  uint16_t Port() const;
  // Stops answering and waits for the listening thread. Safe to call twice.
  void Stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kvp::cli
