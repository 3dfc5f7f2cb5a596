// `kvp serve`: the command that serves a folder of legacy pages until Ctrl-C.
#include "tools/kvp/serve.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tools/kvp/options.h"

namespace kvp::cli {

namespace {

// The port tried first when none is given: the one people expect of a local server.
constexpr uint16_t kPreferredPort = 8080;

struct ServeOptions {
  std::string dir;
  std::string web;
  long long port = 0;
  bool open = false;
};

// Set by the signal handler, read by the command's wait loop (lock-free, so signal-safe).
std::atomic<bool> stopRequested{false};

extern "C" void RequestStop(int) { stopRequested = true; }

int Serve(const ServeOptions& o, std::ostream& out, std::ostream& err) {
  const std::string web = FindWebDir(o.web);
  LocalServer server(o.dir, web);
  std::string why;
  bool started = false;
  if (o.port != 0) {
    started = server.Start(uint16_t(o.port), why);
  } else {
    started = server.Start(kPreferredPort, why) || server.Start(0, why);
  }
  if (!started) {
    err << "kvp serve: " << why << "\n";
    return 2;
  }

  std::error_code ec;
  const bool haveViewer = std::filesystem::is_regular_file(
      std::filesystem::path(web) / "kestrelvue.js", ec);
  if (!haveViewer) {
    err << "kvp serve: the web viewer is not built (no kestrelvue.js in " << web
        << "; make web builds it, --web DIR names another folder): pages are served without it\n";
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
  out << "Serving " << std::filesystem::absolute(o.dir, ec).lexically_normal().string()
      << (haveViewer ? " with the web viewer from " + web : std::string()) << "\n"
      << "Open " << url << "   (Ctrl-C stops)\n";
  out.flush();
  if (o.open) {
    // The URL is ours (digits and punctuation only), so it needs no quoting for the shell.
    const std::string command = "xdg-open " + url + " >/dev/null 2>&1 &";
    if (std::system(command.c_str()) != 0) {
      err << "kvp serve: could not start xdg-open; open " << url << " yourself\n";
    }
  }

  stopRequested = false;
  auto previousInt = std::signal(SIGINT, RequestStop);
  auto previousTerm = std::signal(SIGTERM, RequestStop);
  while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.Stop();
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  out << "Stopped\n";
  return 0;
}

}  // namespace

Runner DefineServe(CLI::App& command) {
  auto o = std::make_shared<ServeOptions>();
  AddInput(command, "DIR", "the folder to serve (its pages get the web viewer's script line)",
           o->dir);
  AddCount(command, "--port",
           "the port on 127.0.0.1; 0 or none: 8080 when free, else any free one", 0, 65535,
           o->port);
  command.add_flag("--open", o->open, "start the desktop's browser on the page (xdg-open)");
  command.add_option("--web", o->web,
                     "the folder of the web build (kestrelvue.js ...; default $KVP_WEB_DIR, "
                     "else build/web beside this kvp)")
      ->type_name("DIR");
  command.footer(
      "Serves DIR on the loopback address only, with ranges, until Ctrl-C. Every HTML page gets "
      "<script src=\"/.kestrelvue/kestrelvue.js\"></script> once, so unmodified pages that "
      "embed panoramas play in today's browsers. Paths that leave DIR are refused.");
  return [o](std::ostream& out, std::ostream& err) { return Serve(*o, out, err); };
}

}  // namespace kvp::cli
