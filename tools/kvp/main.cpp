// kvp: the command-line tool over the portable core.
#include <iostream>
#include <string>
#include <vector>

#include "tools/kvp/commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = kvp::cli::RunKvp(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
