// kvpview.exe: the stand-alone browser that runs the panorama plug-in.
#include <cstdio>
#include <cstdlib>
#include <string>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "host/browser.h"

int main(int argc, char** argv) {
  kvp::host::Options options;
  std::string error;
  if (!kvp::host::ParseOptions(argc - 1, argv + 1, options, error)) {
    std::fprintf(stderr, "kvpview: %s\n%s\n", error.c_str(), kvp::host::kUsage);
    if (!options.quiet)
      MessageBoxA(nullptr, (error + "\n\n" + kvp::host::kUsage).c_str(), "kvpview",
                  MB_OK | MB_ICONERROR);
    return 2;
  }
  return kvp::host::RunBrowser(options);
}
