// `kvp serve` in the Windows build: listed, but refused; the server needs the Linux kvp.
#include "tools/kvp/options.h"

namespace kvp::cli {

// The HTTP library the server is built on is a Linux shared library (Debian's cpp-httplib),
// so the Windows kvp has no server. The command keeps its name and arguments so that the
// refusal says why instead of "unknown command".
Runner DefineServe(CLI::App& command) {
  command.allow_extras();
  command.footer(
      "Not available in the Windows build: run the Linux kvp (kvp serve DIR [--port N] [--open]).");
  return [](std::ostream&, std::ostream& err) {
    err << "kvp serve: not available in the Windows build; run the Linux kvp "
           "(build/native/bin/kvp serve DIR)\n";
    return 2;
  };
}

}  // namespace kvp::cli
