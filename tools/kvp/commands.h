// The kvp tool's commands as functions, so that tests on both targets drive them directly.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kvp::cli {

// Runs `argv`-style arguments (without the program name): "help", "--help", or a command
// and its arguments. Returns the process exit status: 0 done (help included), 2 bad input or
// a failure, with a one-line message on `err`. Help pages go to `out`; with no arguments at
// all the overview goes to `err` and the status is 2.
int RunKvp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// One command: the same as RunKvp with the command's name in front of `args`.
int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunWarp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunSprite(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// Serves until SIGINT or SIGTERM (Ctrl-C); refused with status 2 in the Windows build.
int RunServe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kvp::cli
