// trimora-scan: trimora-cli's scan command, which decodes the sound and some pictures and so
// links FFmpeg's libraries. trimora-cli scan becomes this program (exec), as frame becomes
// trimora-frame: each links only what its command decodes with. It speaks as trimora-cli does.
#include <iostream>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "platform/os/os.h"

int main(int argc, char** argv) {
  trimora::os::PrepareConsole();
  constexpr trimora::cli::Command kScan{"scan", trimora::cli::kScanUsage, trimora::cli::kScanSummary,
                                        trimora::cli::RunScan};
  const trimora::cli::Args args = trimora::os::CommandLineArguments(argc, argv);
  if (trimora::cli::AsksForHelp(args)) {
    trimora::cli::PrintUsage(std::cout, kScan);
    return trimora::cli::FinalStatus(trimora::cli::ExitStatus(trimora::cli::Outcome::kDone));
  }
  return trimora::cli::FinalStatus(trimora::cli::RunCommand(kScan, args));
}
