// trimora-cut: trimora-cli's cut command with the check after the save decoding a clean file,
// which links FFmpeg's libraries. trimora-cli cut --verify becomes this program (exec), so it
// speaks as trimora-cli does: the same usage, statuses and lines.
#include "cli/command_line.h"
#include "cli/commands.h"
#include "decodecheck/decoding.h"

namespace {

int RunDecodedCut(const trimora::cli::Args& args) {
  return trimora::cli::RunCutWith(args, trimora::decodecheck::CheckDecoding);
}

}  // namespace

int main(int argc, char** argv) {
  constexpr trimora::cli::Command kCut{"cut", trimora::cli::kCutUsage, trimora::cli::kCutSummary, RunDecodedCut};
  return trimora::cli::RunOnlyCommand(kCut, argc, argv);
}
