// trimora-cli cut [--measure] [--clean] FILE START END TARGET: Steps 2 and 3 of the window
// without it. The recording is analysed, the range is checked as the range check judges the boxes,
// and the cut runs with TARGET as the file chosen in the save dialog; --clean as with the preview
// panel's box ticked.
#include <iostream>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "engine/cut.h"
#include "timerange/range_check.h"
#include "timerange/range_texts.h"
#include "window/run_texts.h"

namespace trimora::cli {

namespace {

// The cut panel's bar on the terminal; the line is cleared before the result is printed.
class TerminalCutReport : public CutReport {
 public:
  explicit TerminalCutReport(TerminalProgress& progress) : progress_(progress) {}

  void StageBegun(CutStage stage) override {
    const BarStep bar = CutStageBar(stage);
    progress_.Draw(bar.percent, bar.caption);
  }
  void Percent(int32_t percent) override { progress_.Draw(percent, "-"); }
  void Ended(const CutResult& result) override {
    const CutEndShown shown = CutEndText(result);
    if (shown.on_bar) progress_.Draw(100, shown.text);
    progress_.Clear();
  }

 private:
  TerminalProgress& progress_;
};

// What the range check says of the range typed as START and END, or "" when it passes: the
// fields as the boxes would hold them, against the analysed length.
std::string RangeRefusal(const TimeArg& start, const TimeArg& end, int32_t total) {
  if (start.problem != TimeArg::Problem::kNone || end.problem != TimeArg::Problem::kNone)
    return range_texts::kEntryError;
  return RangeProblem(start.seconds, end.seconds, total);
}

}  // namespace

int RunCut(const Args& args) {
  const ParsedArgs parsed = ParseArgs(args, {"--measure", "--clean"});
  if (parsed.operands.size() != 4) throw UsageError("FILE, START, END and TARGET are needed");
  const std::string& file = parsed.operands[0];
  if (file.empty()) throw UsageError("FILE is empty");
  if (parsed.operands[3].empty()) throw UsageError("TARGET is empty");
  const TimeArg start = ParseTimeArg(parsed.operands[1], "START");
  const TimeArg end = ParseTimeArg(parsed.operands[2], "END");
  // The save dialog hands the cut a full path, as the analysis gets one.
  const std::string target = FullPath(parsed.operands[3]);

  Session s;
  const AnalysisResult analysis = AnalyzeAndPrint(s, file, parsed.flags.count("--measure") > 0, std::cout);
  // Once asked to stop, nothing new starts, as in a closing window.
  if (s.stop.Received()) return s.stop.ExitStatus();
  if (!analysis.Succeeded()) return ExitStatus(OutcomeOf(analysis));
  if (const std::string refusal = RangeRefusal(start, end, analysis.TotalSeconds()); !refusal.empty()) {
    std::cout << refusal << std::endl;
    return ExitStatus(Outcome::kFailed);
  }
  TerminalCutReport report(s.progress);
  CutOptions options;
  options.mode = parsed.flags.count("--clean") ? CutMode::kClean : CutMode::kExact;
  // After --measure the markers are counted: the cut goes straight to the start.
  if (analysis.markers) options.known_start = analysis.markers->KnownByteAfterMarker(start.seconds);
  const CutResult cut =
      CutRecording(FullPath(file), target, start.seconds, end.seconds, s.file1, s.file2, s.stop_flag, report, options);
  s.progress.Clear();
  std::cout << CutEndText(cut).text << std::endl;
  if (s.stop.Received()) return s.stop.ExitStatus();
  return ExitStatus(OutcomeOf(cut));
}

}  // namespace trimora::cli
