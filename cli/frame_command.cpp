// trimora-cli frame [--measure] [--end] FILE TIME OUT.png: the picture a cut from TIME begins
// with (--end: the picture a cut up to TIME ends with), as the window's preview shows it.
#include <iostream>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "preview/cut_picture.h"
#include "preview/png_file.h"

namespace trimora::cli {

namespace {

// TIME as seconds: a time of the cut panel, which starts at 0:00:00.
int32_t ParseTime(const std::string& text) {
  const TimeArg time = ParseTimeArg(text, "TIME");
  if (time.problem == TimeArg::Problem::kNotANumber) throw UsageError("TIME '" + text + "' is not H:MM:SS");
  if (time.problem == TimeArg::Problem::kTooLarge) throw UsageError("TIME '" + text + "' is too large");
  if (time.seconds < 0) throw UsageError("TIME '" + text + "' lies before 0:00:00");
  return time.seconds;
}

}  // namespace

int RunFrame(const Args& args) {
  const ParsedArgs parsed = ParseArgs(args, {"--measure", "--end"});
  if (parsed.operands.size() != 3) throw UsageError("FILE, TIME and OUT.png are needed");
  const int32_t second = ParseTime(parsed.operands[1]);
  preview::PictureRequest request;
  request.second = second;
  request.point = parsed.flags.count("--end") ? preview::CutPoint::kEnd : preview::CutPoint::kStart;

  Session s;
  const AnalysisResult analysis = AnalyzeAndPrint(s, parsed.operands[0], parsed.flags.count("--measure") > 0, std::cout);
  if (!analysis.Succeeded()) return ExitStatus(OutcomeOf(analysis));
  const preview::PictureResult result = preview::MakeCutPicture(*analysis.markers, request);
  if (result.outcome != preview::PictureOutcome::kPicture) {
    std::cout << preview::NoPictureText(result.outcome) << std::endl;
    return ExitStatus(Outcome::kFailed);
  }
  if (!preview::WritePng(result.picture, parsed.operands[2])) {
    std::cout << "画像ファイルを書き込めません。" << std::endl;
    return ExitStatus(Outcome::kFailed);
  }
  std::cout << "画像：" << result.picture.width << "x" << result.picture.height << std::endl;
  return ExitStatus(Outcome::kDone);
}

}  // namespace trimora::cli
