// trimora-cli frame [--measure] [--end] [--clean] FILE TIME OUT.png: the picture a cut from TIME
// begins with (--end: the picture a cut up to TIME ends with; --clean: of the clean cut), as the
// window's preview shows it.
#include <filesystem>
#include <iostream>
#include <optional>
#include <stop_token>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "engine/cut.h"
#include "ranges/range_list.h"
#include "window/run_texts.h"
#include "platform/os/os.h"
#include "preview/cut_picture.h"
#include "preview/png_file.h"
#include "core/time_values.h"

namespace trimora::cli {

namespace {

// TIME: a time of the cut panel, which starts at 0:00:00, with thousandths or without.
CutTime ParseTime(const std::string& text) {
  const TimeArg time = ParseTimeArg(text, "TIME");
  if (time.problem == TimeArg::Problem::kNotANumber) throw UsageError("TIME '" + text + "' is not H:MM:SS");
  if (time.problem == TimeArg::Problem::kTooLarge) throw UsageError("TIME '" + text + "' is too large");
  if (time.seconds < 0) throw UsageError("TIME '" + text + "' lies before 0:00:00");
  return time.Time();
}

// How a frame run ended, and the one place that says which exit status each end gives.
enum class FrameEnd { kWritten, kAnalysisFailed, kNoPicture, kRefused, kNotWritten, kStopped };

int ExitStatusOf(FrameEnd end, const Session& s) {
  if (end == FrameEnd::kStopped) return s.stop.ExitStatus();
  return ExitStatus(end == FrameEnd::kWritten ? Outcome::kDone : Outcome::kFailed);
}

constexpr const char* kNotWritten = "画像ファイルを書き込めません。";
constexpr const char* kWriting = "画像を書き込んでいます...";

// The picture, stopped by a stop signal within a packet or two.
preview::PictureResult MakePicture(Session& s, MarkerIndex& markers, const preview::PictureRequest& request) {
  preview::PictureResult result;
  RunStoppable(s, [&](const std::stop_token& stop) { result = preview::MakeCutPicture(markers, request, stop); });
  return result;
}

FrameEnd Frame(Session& s, const ParsedArgs& parsed, const preview::PictureRequest& request) {
  const AnalysisResult analysis = AnalyzeAndPrint(s, parsed.operands[0], parsed.flags.count("--measure") > 0, std::cout);
  if (!analysis.Succeeded())
    return s.stop.Received() ? FrameEnd::kStopped : FrameEnd::kAnalysisFailed;
  if (s.stop.Received()) return FrameEnd::kStopped;
  // OUT is never the recording, whatever its spelling, nor anything but a file or a new name:
  // a FIFO would block the write, a device would take the picture's bytes.
  const std::string out = FullPath(parsed.operands[2]);
  if (IsTheSource(analysis.markers->Path(), out)) {
    std::cout << cut_texts::kRefused << std::endl;
    return FrameEnd::kRefused;
  }
  if (os::KindOf(out) == os::PathKind::kOther) {
    std::cout << kNotWritten << std::endl;
    return FrameEnd::kNotWritten;
  }
  const preview::PictureResult result = MakePicture(s, *analysis.markers, request);
  if (s.stop.Received()) return FrameEnd::kStopped;
  if (result.outcome != preview::PictureOutcome::kPicture) {
    std::cout << preview::NoPictureText(result.outcome) << std::endl;
    return FrameEnd::kNoPicture;
  }
  s.progress.Draw(100, kWriting);
  const bool written = preview::WritePng(result.picture, out);
  s.progress.Clear();
  if (!written) {
    std::cout << kNotWritten << std::endl;
    return FrameEnd::kNotWritten;
  }
  std::cout << "画像：" << result.picture.width << "x" << result.picture.height << std::endl;
  // A stop that came while the picture was written ends the run as a stop, as a cut's does: the
  // picture stays, but the status says the run was asked to end.
  return s.stop.Received() ? FrameEnd::kStopped : FrameEnd::kWritten;
}

}  // namespace

int RunFrame(const Args& args) {
  const ParsedArgs parsed = ParseArgs(args, {"--measure", "--end", "--clean"});
  if (parsed.operands.size() != 3) throw UsageError("FILE, TIME and OUT.png are needed");
  if (parsed.operands[0].empty()) throw UsageError("FILE is empty");
  if (parsed.operands[2].empty()) throw UsageError("OUT.png is empty");
  preview::PictureRequest request;
  const CutTime time = ParseTime(parsed.operands[1]);
  request.second = time.second;
  request.millis = time.millis;
  request.point = parsed.flags.count("--end") ? preview::CutPoint::kEnd : preview::CutPoint::kStart;
  request.clean = parsed.flags.count("--clean") > 0;
  Session s;
  const FrameEnd end = Frame(s, parsed, request);
  return ExitStatusOf(end, s);
}

}  // namespace trimora::cli
