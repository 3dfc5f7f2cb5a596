// The kvp tool's command line: the commands on CLI11, help pages, one-line errors.
#include "tools/kvp/commands.h"

#include <algorithm>
#include <new>

#include "tools/kvp/options.h"

namespace kvp::cli {

// Each command adds its options to its subcommand and returns its body (in its own file).
Runner DefineInfo(CLI::App& command);
Runner DefinePack(CLI::App& command);
Runner DefineExport(CLI::App& command);
Runner DefineWarp(CLI::App& command);
Runner DefineRender(CLI::App& command);
Runner DefineSprite(CLI::App& command);
Runner DefineServe(CLI::App& command);

namespace {

struct CommandEntry {
  const char* name;
  const char* summary;
  Runner (*define)(CLI::App&);
};

const CommandEntry kCommands[] = {
    {"info", "Print what panorama files hold, one JSON object per file", DefineInfo},
    {"pack", "Write a panorama container or bitmap file from a PNG, JPEG or BMP", DefinePack},
    {"export", "Write the decoded picture of a panorama file as a PNG", DefineExport},
    {"warp", "Run the rendering engine alone on a panorama file's picture", DefineWarp},
    {"render", "Draw a panorama through the viewer's controller", DefineRender},
    {"sprite", "Write a sprite picture file (.avt) from a PNG, JPEG or BMP", DefineSprite},
    {"serve", "Serve a folder of pages on 127.0.0.1 with the web viewer added", DefineServe},
};

// CLI11's messages are one line today; make sure a line it is.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

CLI::App* FindCommand(CLI::App& app, const std::string& name) {
  const std::vector<CLI::App*> found =
      app.get_subcommands([&name](CLI::App* command) { return command->get_name() == name; });
  return found.empty() ? nullptr : found[0];
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CLI::App app("kvp: the command-line tool over the Kestrelvue core.", "kvp");
  app.require_subcommand(1);
  app.get_formatter()->label("SUBCOMMAND", "COMMAND");
  std::vector<std::pair<CLI::App*, Runner>> runners;
  for (const CommandEntry& entry : kCommands) {
    CLI::App* command = app.add_subcommand(entry.name, entry.summary)->group("Commands");
    runners.emplace_back(command, entry.define(*command));
  }
  // Listed with the commands, answered here: CLI11 would read "help pack" as two commands.
  app.add_subcommand("help", "Print this overview, or with a COMMAND that command's page")
      ->group("Commands");
  app.footer("'kvp COMMAND --help' or 'kvp help COMMAND' shows a command's page.");

  if (args.empty()) {
    err << app.help();
    return 2;
  }
  if (args[0] == "help") {
    const std::string topic = args.size() > 1 ? args[1] : "--help";
    CLI::App* command = FindCommand(app, topic);
    if (args.size() > 2 || (command == nullptr && topic != "--help" && topic != "-h")) {
      err << "kvp help: unknown command '" << topic << "' (kvp help lists the commands)\n";
      return 2;
    }
    out << (command != nullptr && topic != "help" ? command->help("kvp") : app.help());
    return 0;
  }
  if (args[0].empty() || args[0][0] != '-') {
    if (FindCommand(app, args[0]) == nullptr) {
      err << "kvp: unknown command '" << args[0] << "' (kvp help lists the commands)\n";
      return 2;
    }
  }

  std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();  // the page of the command whose --help it was, else the overview
    return 0;
  } catch (const CLI::ParseError& e) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    const std::string prefix = chosen.empty() ? "kvp" : "kvp " + chosen[0]->get_name();
    err << prefix << ": " << OneLine(e.what()) << " (" << prefix << " --help shows the usage)\n";
    return 2;
  }

  for (const auto& [command, runner] : runners) {
    if (command->parsed()) return runner(out, err);
  }
  err << "kvp: no command given (kvp help lists the commands)\n";
  return 2;
}

std::vector<std::string> WithCommand(const char* name, const std::vector<std::string>& args) {
  std::vector<std::string> all{name};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

}  // namespace

int RunKvp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // A 32-bit process may not find room for a picture near the size limit.
  try {
    return Run(args, out, err);
  } catch (const std::bad_alloc&) {
    err << (args.empty() ? "kvp" : "kvp " + args[0]) << ": out of memory\n";
    return 2;
  }
}

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunKvp(WithCommand("info", args), out, err);
}
int RunPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunKvp(WithCommand("pack", args), out, err);
}
int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunKvp(WithCommand("export", args), out, err);
}
int RunWarp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunKvp(WithCommand("warp", args), out, err);
}
int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunKvp(WithCommand("render", args), out, err);
}
int RunSprite(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunKvp(WithCommand("sprite", args), out, err);
}
int RunServe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunKvp(WithCommand("serve", args), out, err);
}

}  // namespace kvp::cli
