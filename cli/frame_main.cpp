// trimora-frame: trimora-cli's frame command, the one part of the command line that decodes
// pictures and so links FFmpeg's libraries. trimora-cli frame becomes this program (exec), so
// it speaks as trimora-cli does: the same usage, statuses and lines.
#include "cli/command_line.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
  constexpr trimora::cli::Command kFrame{"frame", trimora::cli::kFrameUsage, trimora::cli::kFrameSummary,
                                        trimora::cli::RunFrame};
  return trimora::cli::RunOnlyCommand(kFrame, argc, argv);
}
