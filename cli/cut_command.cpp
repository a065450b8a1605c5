// trimora-cli cut [--measure] [--clean] FILE START END TARGET: Steps 2 and 3 of the window
// without it. The recording is analysed, the range is checked as the range check judges the boxes,
// and the cut runs with TARGET as the file chosen in the save dialog; --clean as with the preview
// panel's box ticked. Several ranges (more pairs, or --ranges LIST) make one job: each range
// checked the same way, the list in order, cut in one pass into TARGET, each part as a cut of its
// range alone would write it.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "core/time_values.h"
#include "core/ts_packet.h"
#include "engine/cut.h"
#include "engine/marker_index.h"
#include "platform/os/os.h"
#include "ranges/range_list.h"
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
  return RangeProblem(start.Time(), end.Time(), total);
}

// The text of --ranges LIST: the file, or stdin for "-".
std::string ReadListText(const std::string& list) {
  std::ostringstream text;
  if (list == "-") {
    text << std::cin.rdbuf();
    return text.str();
  }
  std::ifstream in(os::PathFromUtf8(list), std::ios::binary);
  if (!in) throw UsageError("the range list '" + list + "' cannot be read");
  text << in.rdbuf();
  if (in.bad()) throw UsageError("the range list '" + list + "' cannot be read");
  return text.str();
}

// One line per range of a job: start, end, length, and the size its part will have. The size is
// exact where the marker index already knows both ends (a measured analysis hands over what it
// counted); otherwise the estimate by the byte rate, named so, rather than a second pass over the
// recording before the cut's own.
std::string RangeLine(std::size_t i, KeptRange r, MarkerIndex* index, CutMode mode, bool in_job) {
  std::string line = RangeName(i) + "：" + CutTimeText(r.start) + "～" + CutTimeText(r.end) +
                     "　長さ " + MillisText(LengthMillis(r)) + "　";
  if (std::optional<int64_t> bytes = index ? ExactSize(*index, r, true, {}, mode == CutMode::kClean, in_job) : std::nullopt)
    return line + "サイズ " + SizeInKb(*bytes);
  return line + "推定サイズ " + FormatGrouped(static_cast<double>(LengthMillis(r)) / 1000 * kBytesPerSecond / 1024) + " KB";
}

// `--ranges LIST` taken out of the arguments (before any "--"): the LIST, or nothing.
std::optional<std::string> TakeRangesOption(Args& args) {
  std::optional<std::string> list;
  for (std::size_t i = 0; i < args.size() && args[i] != "--";) {
    if (args[i] != "--ranges") {
      ++i;
      continue;
    }
    if (list) throw UsageError("--ranges is given twice");
    if (i + 1 >= args.size()) throw UsageError("--ranges needs a LIST");
    list = args[i + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
  }
  return list;
}

int RunJob(const std::string& file, std::vector<KeptRange> ranges, const std::string& target, bool measure, CutMode mode);

}  // namespace

int RunCut(const Args& given) {
  Args args = given;
  const std::optional<std::string> list = TakeRangesOption(args);
  const ParsedArgs parsed = ParseArgs(args, {"--measure", "--clean"});
  const bool measure = parsed.flags.count("--measure") > 0;
  const CutMode mode = parsed.flags.count("--clean") ? CutMode::kClean : CutMode::kExact;
  if (list || parsed.operands.size() != 4) {
    const std::size_t n = parsed.operands.size();
    if (list ? n != 2 : n < 4 || n % 2 != 0)
      throw UsageError(list ? "FILE and TARGET are needed with --ranges" : "FILE, START END pairs and TARGET are needed");
    if (parsed.operands.front().empty()) throw UsageError("FILE is empty");
    if (parsed.operands.back().empty()) throw UsageError("TARGET is empty");
    std::vector<KeptRange> ranges;
    if (list) {
      ParsedRangeList read = ReadRangeList(ReadListText(*list));
      if (!read.problem.empty()) throw UsageError(read.problem);
      ranges = std::move(read.ranges);
    } else {
      for (std::size_t i = 1; i + 1 < n; i += 2) {
        const TimeArg start = ParseTimeArg(parsed.operands[i], "START");
        const TimeArg end = ParseTimeArg(parsed.operands[i + 1], "END");
        if (start.problem != TimeArg::Problem::kNone || end.problem != TimeArg::Problem::kNone)
          throw UsageError(RangeName(ranges.size()) + "：" + range_texts::kEntryError);
        ranges.push_back({start.Time(), end.Time()});
      }
    }
    // The order and the overlaps need no recording: refused before anything is analysed.
    if (std::string problem = ListProblem(ranges, INT32_MAX); !problem.empty()) throw UsageError(problem);
    return RunJob(parsed.operands.front(), std::move(ranges), parsed.operands.back(), measure, mode);
  }
  const std::string& file = parsed.operands[0];
  if (file.empty()) throw UsageError("FILE is empty");
  if (parsed.operands[3].empty()) throw UsageError("TARGET is empty");
  const TimeArg start = ParseTimeArg(parsed.operands[1], "START");
  const TimeArg end = ParseTimeArg(parsed.operands[2], "END");
  // The save dialog hands the cut a full path, as the analysis gets one.
  const std::string target = FullPath(parsed.operands[3]);

  Session s;
  const AnalysisResult analysis = AnalyzeAndPrint(s, file, measure, std::cout);
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
  if (analysis.markers) {
    options.known_start = analysis.markers->KnownByteAfterMarker(start.seconds);
    options.known_total = analysis.markers->KnownTotal();
  }
  const CutResult cut =
      CutRecording(FullPath(file), target, start.Time(), end.Time(), s.file1, s.file2, s.stop_flag, report, options);
  s.progress.Clear();
  std::cout << CutEndText(cut).text << std::endl;
  if (s.stop.Received()) return s.stop.ExitStatus();
  return ExitStatus(OutcomeOf(cut));
}

namespace {

int RunJob(const std::string& file, std::vector<KeptRange> ranges, const std::string& given_target, bool measure,
           CutMode mode) {
  const std::string target = FullPath(given_target);
  Session s;
  const AnalysisResult analysis = AnalyzeAndPrint(s, file, measure, std::cout);
  if (s.stop.Received()) return s.stop.ExitStatus();
  if (!analysis.Succeeded()) return ExitStatus(OutcomeOf(analysis));
  // Each range against the length, as the boxes would be checked: before the target is touched.
  if (std::string problem = ListProblem(ranges, analysis.TotalSeconds()); !problem.empty()) throw UsageError(problem);
  for (std::size_t i = 0; i < ranges.size(); ++i)
    std::cout << RangeLine(i, ranges[i], analysis.measured ? analysis.markers.get() : nullptr, mode, ranges.size() >= 2) << "\n";
  std::cout << std::flush;
  const std::vector<CutPart> parts = CutPartsOf(ranges);
  TerminalCutReport report(s.progress);
  CutOptions options;
  options.mode = mode;
  if (analysis.markers) options.known_start = analysis.markers->KnownByteAfterMarker(parts.front().start.second);
  const CutResult cut = CutRecording(FullPath(file), target, parts, s.file1, s.file2, s.stop_flag, report, options);
  s.progress.Clear();
  std::string last = CutEndText(cut).text;
  // Where a job ended short: the range it was in.
  if (cut.outcome != CutOutcome::Completed && cut.outcome != CutOutcome::Refused)
    last += "（" + RangeName(static_cast<std::size_t>(cut.part)) + "）";
  std::cout << last << std::endl;
  if (s.stop.Received()) return s.stop.ExitStatus();
  return ExitStatus(OutcomeOf(cut));
}

}  // namespace

}  // namespace trimora::cli
