// trimora-scan: trimora-cli's scan command, which decodes the sound and some pictures and so
// links FFmpeg's libraries. trimora-cli scan becomes this program (exec), as frame becomes
// trimora-frame: each links only what its command decodes with. It speaks as trimora-cli does.
#include "cli/command_line.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
  constexpr trimora::cli::Command kScan{"scan", trimora::cli::kScanUsage, trimora::cli::kScanSummary,
                                        trimora::cli::RunScan};
  return trimora::cli::RunOnlyCommand(kScan, argc, argv);
}
