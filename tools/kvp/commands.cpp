// The kvp tool's command dispatch and usage text.
#include "tools/kvp/commands.h"

#include <new>

namespace kvp::cli {

namespace {

const char kUsage[] =
    "usage: kvp COMMAND ...\n"
    "  kvp info FILE\n"
    "  kvp pack IN.png|IN.jpg|IN.bmp -o OUT.pan [--depth 8|16|24] [--view FOV,H,P,R]\n"
    "           [--hotspot H1,P1,H2,P2,LINK]... [--bitmap] [--matte RRGGBB]\n"
    "  kvp export FILE -o OUT.png\n"
    "  kvp render FILE -o OUT.png|OUT.bmp [--size WxH] [--heading H] [--pitch P] [--roll R]\n"
    "           [--fov F] [--position X,Y,Z] [--depth 8|16|24] [--frames N]\n"
    "  kvp warp FILE -o OUT.png|OUT.bmp [--size WxH] [--heading H] [--pitch P] [--roll R]\n"
    "           [--fov F] [--quality 0|1] [--depth 8|16|24] [--repeat N]\n";

}  // namespace

int RunGuarded(const char* name, Command command, const std::vector<std::string>& args,
               std::ostream& out, std::ostream& err) {
  try {
    return command(args, out, err);
  } catch (const std::bad_alloc&) {
    err << name << ": out of memory\n";
    return 2;
  }
}

int RunKvp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    (args.empty() ? err : out) << kUsage;
    return args.empty() ? 2 : 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const std::string& command = args[0];
  if (command == "info") return RunInfo(rest, out, err);
  if (command == "pack") return RunPack(rest, out, err);
  if (command == "export") return RunExport(rest, out, err);
  if (command == "warp") return RunWarp(rest, out, err);
  if (command == "render") return RunRender(rest, out, err);
  err << "kvp: unknown command '" << command << "'\n" << kUsage;
  return 2;
}

}  // namespace kvp::cli
