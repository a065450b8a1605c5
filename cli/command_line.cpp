#include "cli/command_line.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "cli/cli_common.h"
#include "cli/exit_status.h"
#include "platform/os/os.h"

namespace trimora::cli {

// Only what this build has: the frame and scan commands need FFmpeg, and Windows has no SIGHUP
// but stops a run on Ctrl+Break and on a closed console.
#ifdef TRIMORA_WITH_PREVIEW
#define TRIMORA_STATUS_0 \
  "  0    analyze: the recording was analysed; cut: the whole range was saved; frame: the picture\n" \
  "       was written; scan: the breaks were looked for and the ranges printed\n"
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

void PrintExitStatuses(std::ostream& out) {
  out << "Exit status:\n" TRIMORA_STATUS_0
         "  3    cut: the recording ended before END; what it held is saved\n"
         "  1    nothing usable was saved, the analysis or the scan failed, the results could not be\n"
         "       written, or cut --verify found the saved file not as the cut wrote it\n"
         "  2    the command line could not be used\n" TRIMORA_STATUS_STOPPED;
}

void PrintUsage(std::ostream& out, const Command& c) {
  out << "Usage: " << kProgram << " " << c.name << " " << c.usage << "\n  " << c.summary << "\n\n";
  PrintExitStatuses(out);
}

bool AsksForHelp(const Args& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;  // what follows is an operand, even "--help"
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

int RunCommand(const Command& command, const Args& args) {
  try {
    return command.run(args);
  } catch (const UsageError& e) {
    std::cerr << kProgram << " " << command.name << ": " << e.what() << "\n";
    PrintUsage(std::cerr, command);
    return ExitStatus(Outcome::kUsage);
  } catch (const std::exception& e) {
    std::cerr << kProgram << " " << command.name << ": " << e.what() << "\n";
    return ExitStatus(Outcome::kFailed);
  }
}

int RunOnlyCommand(const Command& command, int argc, char** argv) {
  os::PrepareConsole();
  const Args args = os::CommandLineArguments(argc, argv);
  if (AsksForHelp(args)) {
    PrintUsage(std::cout, command);
    return FinalStatus(ExitStatus(Outcome::kDone));
  }
  return FinalStatus(RunCommand(command, args));
}

int FinalStatus(int status) {
  std::cout.flush();
  if (std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::cerr << kProgram << ": the results could not be written to standard output\n";
  // A stop signal keeps its status: it is the reason (a closed terminal fails the write too).
  return status > 128 ? status : ExitStatus(Outcome::kFailed);
}

}  // namespace trimora::cli
