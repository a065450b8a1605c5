// trimora-cli: the analysis and the cut of the desktop program, without the window. The same
// engine runs on a window model that no one sees; its results are printed.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "platform/os/os.h"

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
#ifdef TRIMORA_WITH_PREVIEW  // decoding needs FFmpeg, which not every build has
    {"frame", "[--measure] [--end] FILE TIME OUT.png",
     "save the picture a cut from TIME (H:MM:SS) begins with as OUT.png (--end: the one a cut up to TIME ends with)",
     trimora::cli::RunFrame},
#endif
};

constexpr const char* kProgram = "trimora-cli";

// Only what this build has: the frame command needs FFmpeg, and Windows has no SIGHUP but stops
// a run on Ctrl+Break and on a closed console.
#ifdef TRIMORA_WITH_PREVIEW
#define TRIMORA_STATUS_0 \
  "  0    analyze: the recording was analysed; cut: the whole range was saved; frame: the picture\n" \
  "       was written\n"
#else
#define TRIMORA_STATUS_0 "  0    analyze: the recording was analysed; cut: the whole range was saved\n"
#endif
#ifdef _WIN32
#define TRIMORA_STATUS_STOPPED \
  "  130  stopped by Ctrl+C or Ctrl+Break; 143 stopped by closing the console, logging off or\n" \
  "       shutting down. What was written stays, in whole packets; a second stop ends the\n" \
  "       program at once.\n"
#else
#define TRIMORA_STATUS_STOPPED \
  "  130  stopped by SIGINT (Ctrl+C); 143 stopped by SIGTERM or SIGHUP. What was written stays,\n" \
  "       in whole packets; a second signal ends the program at once.\n"
#endif

constexpr const char* kExitStatuses =
    "Exit status:\n" TRIMORA_STATUS_0
    "  3    cut: the recording ended before END; what it held is saved\n"
    "  1    nothing usable was saved, the analysis failed, or the results could not be written\n"
    "  2    the command line could not be used\n" TRIMORA_STATUS_STOPPED;

void PrintOverallUsage(std::ostream& out) {
  out << "Usage: " << kProgram << " COMMAND [ARGUMENTS]\n\nCommands:\n";
  for (const Command& c : kCommands) out << "  " << c.name << " " << c.usage << "\n      " << c.summary << "\n";
  out << "\n" << kProgram << " COMMAND --help shows the usage of one command.\n\n" << kExitStatuses;
}

void PrintUsage(std::ostream& out, const Command& c) {
  out << "Usage: " << kProgram << " " << c.name << " " << c.usage << "\n  " << c.summary << "\n\n" << kExitStatuses;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

// Whether everything printed on stdout reached it: a full disk or a closed pipe must not pass
// for results delivered.
bool ResultsWritten() {
  std::cout.flush();
  return std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
}

int Run(const Command& command, const Args& args) {
  try {
    return command.run(args);
  } catch (const trimora::cli::UsageError& e) {
    std::cerr << kProgram << " " << command.name << ": " << e.what() << "\n";
    PrintUsage(std::cerr, command);
    return trimora::cli::kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << kProgram << " " << command.name << ": " << e.what() << "\n";
    return trimora::cli::kExitFailed;
  }
}

bool AsksForHelp(const Args& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;  // what follows is an operand, even "--help"
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

// Runs the command line; prints on stdout what it asked for, on stderr why it failed.
int RunCommandLine(Args args) {
  if (args.empty()) {
    PrintOverallUsage(std::cerr);
    return trimora::cli::kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintOverallUsage(std::cout);
    return trimora::cli::kExitDone;
  }
  const Command* command = FindCommand(args[0]);
  if (!command) {
    std::cerr << kProgram << ": unknown command '" << args[0] << "'\n";
    PrintOverallUsage(std::cerr);
    return trimora::cli::kExitUsage;
  }
  args.erase(args.begin());
  if (AsksForHelp(args)) {
    PrintUsage(std::cout, *command);
    return trimora::cli::kExitDone;
  }
  return Run(*command, args);
}

}  // namespace

int main(int argc, char** argv) {
  trimora::os::PrepareConsole();
  const int status = RunCommandLine(trimora::os::CommandLineArguments(argc, argv));
  if (ResultsWritten()) return status;
  std::cerr << kProgram << ": the results could not be written to standard output\n";
  // A stop signal keeps its status: it is the reason (a closed terminal fails the write too).
  return status > 128 ? status : trimora::cli::kExitFailed;
}
