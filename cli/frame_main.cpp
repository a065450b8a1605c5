// trimora-frame: trimora-cli's frame command, the one part of the command line that decodes
// pictures and so links FFmpeg's libraries. trimora-cli frame becomes this program (exec), so
// it speaks as trimora-cli does: the same usage, statuses and lines.
#include <iostream>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "platform/os/os.h"

int main(int argc, char** argv) {
  trimora::os::PrepareConsole();
  constexpr trimora::cli::Command kFrame{"frame", trimora::cli::kFrameUsage, trimora::cli::kFrameSummary,
                                         trimora::cli::RunFrame};
  const trimora::cli::Args args = trimora::os::CommandLineArguments(argc, argv);
  if (trimora::cli::AsksForHelp(args)) {
    trimora::cli::PrintUsage(std::cout, kFrame);
    return trimora::cli::FinalStatus(trimora::cli::ExitStatus(trimora::cli::Outcome::kDone));
  }
  return trimora::cli::FinalStatus(trimora::cli::RunCommand(kFrame, args));
}
