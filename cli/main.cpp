// trimora-cli: the analysis and the cut of the desktop program, without the window. The same
// engine runs on a window model that no one sees; its results are printed.
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "cli/cli_common.h"
#include "cli/commands.h"

namespace {

using trimora::cli::Args;

struct Command {
  const char* name;
  const char* usage;    // the arguments after the command's name
  const char* summary;  // one line for the overall help
  int (*run)(const Args& args);
};

constexpr Command kCommands[] = {
    {"analyze", "[--measure] FILE",
     "show the data format, size and length of a recording (--measure counts its time markers)",
     trimora::cli::RunAnalyze},
    {"cut", "[--measure] FILE START END TARGET",
     "save the part of a recording from START to END (H:MM:SS) as TARGET", trimora::cli::RunCut},
    {"frame", "[--measure] [--end] FILE TIME OUT.png",
     "save the picture a cut from TIME (H:MM:SS) begins with as OUT.png (--end: the one a cut up to TIME ends with)",
     trimora::cli::RunFrame},
};

constexpr const char* kProgram = "trimora-cli";

void PrintOverallUsage(std::ostream& out) {
  out << "Usage: " << kProgram << " COMMAND [ARGUMENTS]\n\nCommands:\n";
  for (const Command& c : kCommands) out << "  " << c.name << " " << c.usage << "\n      " << c.summary << "\n";
  out << "\n" << kProgram << " COMMAND --help shows the usage of one command.\n";
}

void PrintUsage(std::ostream& out, const Command& c) {
  out << "Usage: " << kProgram << " " << c.name << " " << c.usage << "\n  " << c.summary << "\n";
}

const Command* FindCommand(std::string_view name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

bool AsksForHelp(const Args& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;  // what follows is an operand, even "--help"
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Args args(argv + (argc > 0 ? 1 : argc), argv + argc);
  if (args.empty()) {
    PrintOverallUsage(std::cerr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintOverallUsage(std::cout);
    return 0;
  }
  const Command* command = FindCommand(args[0]);
  if (!command) {
    std::cerr << kProgram << ": unknown command '" << args[0] << "'\n";
    PrintOverallUsage(std::cerr);
    return 2;
  }
  args.erase(args.begin());
  if (AsksForHelp(args)) {
    PrintUsage(std::cout, *command);
    return 0;
  }
  try {
    return command->run(args);
  } catch (const trimora::cli::UsageError& e) {
    std::cerr << kProgram << " " << command->name << ": " << e.what() << "\n";
    PrintUsage(std::cerr, *command);
    return 2;
  } catch (const std::exception& e) {
    std::cerr << kProgram << " " << command->name << ": " << e.what() << "\n";
    return 1;
  }
}
