// The kvp tool's commands as functions, so that tests on both targets drive them directly.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kvp::cli {

// Each returns the process exit status: 0 done, 2 bad input or a failure (with a one-line
// message on `err`). `args` are the command's own arguments, without the command name.
int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunWarp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// A command's body, and the guard around it: a memory shortage (a 32-bit process may not find
// room for a picture near the size limit) becomes "NAME: out of memory" and status 2.
using Command = int (*)(const std::vector<std::string>& args, std::ostream& out,
                        std::ostream& err);
int RunGuarded(const char* name, Command command, const std::vector<std::string>& args,
               std::ostream& out, std::ostream& err);

// Dispatches `argv`-style arguments (without the program name) to a command.
int RunKvp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kvp::cli
