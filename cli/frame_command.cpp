// trimora-cli frame [--measure] [--end] FILE TIME OUT.png: the picture a cut from TIME begins
// with (--end: the picture a cut up to TIME ends with), as the window's preview shows it.
#include <iostream>
#include <optional>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "preview/cut_picture.h"
#include "preview/png_file.h"
#include "timerange/time_values.h"

namespace trimora::cli {

namespace {

// "H:MM:SS" as seconds, each field read as a range box reads its text.
int32_t ParseTime(const std::string& text) {
  std::optional<int32_t> fields[3];
  std::size_t from = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t colon = text.find(':', from);
    if ((i < 2) == (colon == std::string::npos)) throw UsageError("TIME '" + text + "' is not H:MM:SS");
    fields[i] = TextToInt32(text.substr(from, colon == std::string::npos ? colon : colon - from));
    from = colon + 1;
  }
  if (!fields[0] || !fields[1] || !fields[2]) throw UsageError("TIME '" + text + "' is not H:MM:SS");
  int32_t seconds = 0;
  try {
    seconds = TimeToSec(*fields[0], *fields[1], *fields[2]);
  } catch (const TimeOverflow&) {
    throw UsageError("TIME '" + text + "' is too large");
  }
  if (seconds < 0) throw UsageError("TIME '" + text + "' lies before 0:00:00");
  return seconds;
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
  if (!AnalyzeAndPrint(s, parsed.operands[0], parsed.flags.count("--measure") > 0, std::cout)) return 1;
  const preview::PictureResult result = preview::MakeCutPicture(*s.st.markers, request);
  if (result.outcome != preview::PictureOutcome::kPicture) {
    std::cout << preview::NoPictureText(result.outcome) << std::endl;
    return 1;
  }
  if (!preview::WritePng(result.picture, parsed.operands[2])) {
    std::cout << "画像ファイルを書き込めません。" << std::endl;
    return 1;
  }
  std::cout << "画像：" << result.picture.width << "x" << result.picture.height << std::endl;
  return 0;
}

}  // namespace trimora::cli
