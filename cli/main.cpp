// trimora-cli: the analysis and the cut of the desktop program, without the window. The same
// engine runs on a window model that no one sees; its results are printed.
#include <iostream>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "platform/os/os.h"

namespace {

using trimora::cli::Args;
using trimora::cli::Command;
using trimora::cli::kProgram;

constexpr Command kCommands[] = {
    {"analyze", "[--measure] FILE",
     "show the data format, size and length of a recording (--measure counts its time markers)",
     trimora::cli::RunAnalyze},
    {"cut", trimora::cli::kCutUsage, trimora::cli::kCutSummary, trimora::cli::RunCut},
#ifdef TRIMORA_WITH_PREVIEW  // decoding needs FFmpeg, which not every build has
    {"frame", trimora::cli::kFrameUsage, trimora::cli::kFrameSummary, trimora::cli::StartFrameProgram},
    {"scan", trimora::cli::kScanUsage, trimora::cli::kScanSummary, trimora::cli::StartScanProgram},
#endif
};

void PrintOverallUsage(std::ostream& out) {
  out << "Usage: " << kProgram << " COMMAND [ARGUMENTS]\n\nCommands:\n";
  for (const Command& c : kCommands) out << "  " << c.name << " " << c.usage << "\n      " << c.summary << "\n";
  out << "\n" << kProgram << " COMMAND --help shows the usage of one command.\n\n";
  trimora::cli::PrintExitStatuses(out);
}

const Command* FindCommand(std::string_view name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

// Runs the command line; prints on stdout what it asked for, on stderr why it failed.
int RunCommandLine(Args args) {
  if (args.empty()) {
    PrintOverallUsage(std::cerr);
    return trimora::cli::ExitStatus(trimora::cli::Outcome::kUsage);
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintOverallUsage(std::cout);
    return trimora::cli::ExitStatus(trimora::cli::Outcome::kDone);
  }
  const Command* command = FindCommand(args[0]);
  if (!command) {
    std::cerr << kProgram << ": unknown command '" << args[0] << "'\n";
    PrintOverallUsage(std::cerr);
    return trimora::cli::ExitStatus(trimora::cli::Outcome::kUsage);
  }
  args.erase(args.begin());
  if (trimora::cli::AsksForHelp(args)) {
    trimora::cli::PrintUsage(std::cout, *command);
    return trimora::cli::ExitStatus(trimora::cli::Outcome::kDone);
  }
  return trimora::cli::RunCommand(*command, args);
}

}  // namespace

// Only the check of a cut's file after the save decodes, in trimora-cut; every other cut runs here.
int trimora::cli::RunCut(const Args& args) {
#ifdef TRIMORA_WITH_PREVIEW
  if (AsksToVerify(args)) return StartCutProgram(args);
#endif
  return RunCutWith(args, {});
}

int main(int argc, char** argv) {
  trimora::os::PrepareConsole();
  return trimora::cli::FinalStatus(RunCommandLine(trimora::os::CommandLineArguments(argc, argv)));
}
