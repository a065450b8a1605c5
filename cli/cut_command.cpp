// trimora-cli cut [--measure] [--clean] [--verify] FILE START END TARGET: Steps 2 and 3 of the window
// without it. The recording is analysed, the range is checked as the range check judges the boxes,
// and the cut runs with TARGET as the file chosen in the save dialog; --clean as with the preview
// panel's box ticked. Several ranges (more pairs, or --ranges LIST) make one job: each range
// checked the same way, the list in order, cut in one pass into TARGET, each part as a cut of its
// range alone would write it. A list may come from other tools (ranges/list_forms.h); --chapters
// FILE writes where each range begins in TARGET; --verify re-reads TARGET once saved, as the
// window's 保存後に確かめる box does, and has a clean file decoded where FFmpeg is built in
// (trimora-cut, which trimora-cli cut --verify becomes there).
#include <cstdint>
#include <iostream>
#include <optional>
#include <vector>

#include "cli/cli_common.h"
#include "cli/cut_lists.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "core/time_values.h"
#include "core/ts_packet.h"
#include "engine/cut.h"
#include "engine/marker_index.h"
#include "platform/os/os.h"
#include "ranges/list_forms.h"
#include "ranges/range_list.h"
#include "timerange/range_check.h"
#include "timerange/range_texts.h"
#include "verify/decode_check.h"
#include "verify/verify_texts.h"
#include "verify/written_check.h"
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

// `OPTION VALUE` taken out of the arguments (before any "--"): the VALUE, or nothing.
std::optional<std::string> TakeOption(Args& args, const std::string& option, const char* value) {
  std::optional<std::string> taken;
  for (std::size_t i = 0; i < args.size() && args[i] != "--";) {
    if (args[i] != option) {
      ++i;
      continue;
    }
    if (taken) throw UsageError(option + " is given twice");
    if (i + 1 >= args.size()) throw UsageError(option + " needs a " + value);
    taken = args[i + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
  }
  return taken;
}

// What a run needs besides the ranges: how to cut, and where the chapters go.
struct JobOptions {
  bool measure = false;
  bool verify = false;  // the target re-read against the cut's plan once saved
  CutMode mode = CutMode::kExact;
  std::optional<std::string> chapters;
  std::string source, target;  // full paths, for the check after the save
  verify::DecodeChecker decode;  // a clean file decoded after the check of its bytes, where there is one
};

// The ranges the arguments name: START END pairs, or a list in any form.
CutList RangesOfArguments(const ParsedArgs& parsed, const std::optional<std::string>& list) {
  CutList cuts;
  if (list) {
    cuts = ReadCutList(ReadListText(*list));
    if (!cuts.problem.empty()) throw UsageError(cuts.problem);
    return cuts;
  }
  for (std::size_t i = 1; i + 2 < parsed.operands.size(); i += 2) {
    const TimeArg start = ParseTimeArg(parsed.operands[i], "START");
    const TimeArg end = ParseTimeArg(parsed.operands[i + 1], "END");
    if (start.problem != TimeArg::Problem::kNone || end.problem != TimeArg::Problem::kNone)
      throw UsageError(RangeName(cuts.ranges.size()) + "：" + range_texts::kEntryError);
    cuts.ranges.push_back({start.Time(), end.Time()});
  }
  return cuts;
}

// The chapters file is a file of its own: never the recording, never TARGET.
void CheckChaptersPath(const JobOptions& job, const std::string& file, const std::string& target) {
  if (!job.chapters) return;
  if (job.chapters->empty()) throw UsageError("--chapters FILE is empty");
  const std::string chapters = FullPath(*job.chapters);
  if (IsTheSource(FullPath(file), chapters) || IsTheSource(FullPath(target), chapters))
    throw UsageError("--chapters FILE is the recording or TARGET");
}

int RunJob(const std::string& file, CutList cuts, const std::string& target, const JobOptions& job);

// The saved target re-read against its recording and the plan the cut wrote it by; the line says
// how that went. Only a whole saved cut is checked: a part left short has no plan to meet.
bool Verified(const CutResult& cut, const std::vector<KeptRange>& ranges, const JobOptions& job, const StopFlag& stop) {
  int32_t markers = 0;
  for (const KeptRange& r : ranges) markers += r.end.second - r.start.second;
  const verify::SavedCheck checked =
      cut.plan ? verify::CheckSaved(job.source, job.target, *cut.plan, markers, job.decode, stop)
               : verify::SavedCheck{{verify::WrittenCheck::kUnreadable, -1, 0}, std::nullopt};
  // FFmpeg's own words for what it could not decode, for whoever looks into it.
  if (checked.decoded && !checked.decoded->message.empty() && !checked.Passed())
    std::cerr << kProgram << ": " << checked.decoded->message << std::endl;
  std::cout << verify::SavedCheckLine(checked) << std::endl;
  return checked.Passed();
}

// The status a saved cut ends with, once the chapters (when asked for) are written: only a cut
// that saved its whole ranges gets them, and one it could not write fails the run.
int EndStatus(const CutResult& cut, const std::vector<KeptRange>& ranges, const clock::RecordingClock* clock,
              const JobOptions& job, const StopFlag& stop) {
  if (job.verify && cut.outcome == CutOutcome::Completed && !cut.stopped && !Verified(cut, ranges, job, stop))
    return ExitStatus(Outcome::kFailed);
  if (job.chapters && cut.outcome == CutOutcome::Completed && !SaveChapters(*job.chapters, ranges, *clock))
    return ExitStatus(Outcome::kFailed);
  return ExitStatus(OutcomeOf(cut));
}

// One range from START to END, as the window's Save cuts the boxes' range.
int RunSingle(const ParsedArgs& parsed, const JobOptions& job) {
  const std::string& file = parsed.operands[0];
  const TimeArg start = ParseTimeArg(parsed.operands[1], "START");
  const TimeArg end = ParseTimeArg(parsed.operands[2], "END");
  // The save dialog hands the cut a full path, as the analysis gets one.
  const std::string target = FullPath(parsed.operands[3]);

  Session s;
  const AnalysisResult analysis = AnalyzeAndPrint(s, file, job.measure, std::cout);
  // Once asked to stop, nothing new starts, as in a closing window.
  if (s.stop.Received()) return s.stop.ExitStatus();
  if (!analysis.Succeeded()) return ExitStatus(OutcomeOf(analysis));
  if (const std::string refusal = RangeRefusal(start, end, analysis.TotalSeconds()); !refusal.empty()) {
    std::cout << refusal << std::endl;
    return ExitStatus(Outcome::kFailed);
  }
  std::optional<clock::RecordingClock> clock;
  if (job.chapters) {
    clock = ReadClock(s, file);
    if (s.stop.Received()) return s.stop.ExitStatus();
    if (!clock) return ExitStatus(Outcome::kFailed);
  }
  TerminalCutReport report(s.progress);
  CutOptions options;
  options.mode = job.mode;
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
  return EndStatus(cut, {{start.Time(), end.Time()}}, clock ? &*clock : nullptr, job, s.stop_flag);
}

}  // namespace

bool AsksToVerify(const Args& args) {
  for (std::size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
    if (args[i] == "--verify") return true;
    if (args[i] == "--ranges" || args[i] == "--chapters") ++i;  // its value, whatever it reads
  }
  return false;
}

int RunCutWith(const Args& given, const verify::DecodeChecker& decode) {
  Args args = given;
  const std::optional<std::string> list = TakeOption(args, "--ranges", "LIST");
  JobOptions job;
  job.chapters = TakeOption(args, "--chapters", "FILE");
  const ParsedArgs parsed = ParseArgs(args, {"--measure", "--clean", "--verify"});
  job.measure = parsed.flags.count("--measure") > 0;
  job.verify = parsed.flags.count("--verify") > 0;
  job.decode = decode;
  job.mode = parsed.flags.count("--clean") ? CutMode::kClean : CutMode::kExact;
  const std::size_t n = parsed.operands.size();
  if (list ? n != 2 : n < 4 || n % 2 != 0)
    throw UsageError(list ? "FILE and TARGET are needed with --ranges" : "FILE, START END pairs and TARGET are needed");
  if (parsed.operands.front().empty()) throw UsageError("FILE is empty");
  if (parsed.operands.back().empty()) throw UsageError("TARGET is empty");
  CheckChaptersPath(job, parsed.operands.front(), parsed.operands.back());
  job.source = FullPath(parsed.operands.front());
  job.target = FullPath(parsed.operands.back());
  if (!list && n == 4) return RunSingle(parsed, job);
  CutList cuts = RangesOfArguments(parsed, list);
  // The order and the overlaps need no recording: refused before anything is analysed. The
  // lists of other tools were judged so as they were read.
  if (!cuts.NeedsClock())
    if (std::string problem = ListProblem(cuts.ranges, INT32_MAX); !problem.empty()) throw UsageError(problem);
  return RunJob(parsed.operands.front(), std::move(cuts), parsed.operands.back(), job);
}

namespace {

// The ranges a list names on this recording, checked against its length as the boxes would be,
// before the target is touched: nothing when refused, the reason printed. The order was judged
// before the analysis, so what is left is the recording's answer, not the command line's: the
// same as for a single range past the length.
std::optional<std::vector<KeptRange>> RangesOnRecording(const CutList& cuts, const clock::RecordingClock* clock,
                                                        int32_t total) {
  std::vector<KeptRange> ranges = cuts.ranges;
  if (cuts.NeedsClock()) ranges = KeptRangesOf(cuts, *clock, RecordingEnd(*clock, total));
  if (std::string problem = ListProblem(ranges, total); !problem.empty()) {
    std::cout << problem << std::endl;
    return std::nullopt;
  }
  return ranges;
}

int RunJob(const std::string& file, CutList cuts, const std::string& given_target, const JobOptions& job) {
  const std::string target = FullPath(given_target);
  Session s;
  const AnalysisResult analysis = AnalyzeAndPrint(s, file, job.measure, std::cout);
  if (s.stop.Received()) return s.stop.ExitStatus();
  if (!analysis.Succeeded()) return ExitStatus(OutcomeOf(analysis));
  std::optional<clock::RecordingClock> clock;
  if (cuts.NeedsClock() || job.chapters) {
    clock = ReadClock(s, file);
    if (s.stop.Received()) return s.stop.ExitStatus();
    if (!clock) return ExitStatus(Outcome::kFailed);
  }
  const std::optional<std::vector<KeptRange>> ranges =
      RangesOnRecording(cuts, clock ? &*clock : nullptr, analysis.TotalSeconds());
  if (!ranges) return ExitStatus(Outcome::kFailed);
  for (std::size_t i = 0; i < ranges->size(); ++i)
    std::cout << RangeLine(i, (*ranges)[i], analysis.measured ? analysis.markers.get() : nullptr, job.mode, ranges->size() >= 2) << "\n";
  std::cout << std::flush;
  const std::vector<CutPart> parts = CutPartsOf(*ranges);
  TerminalCutReport report(s.progress);
  CutOptions options;
  options.mode = job.mode;
  if (analysis.markers) options.known_start = analysis.markers->KnownByteAfterMarker(parts.front().start.second);
  const CutResult cut = CutRecording(FullPath(file), target, parts, s.file1, s.file2, s.stop_flag, report, options);
  s.progress.Clear();
  std::string last = CutEndText(cut).text;
  // Where a job ended short: the range it was in.
  if (cut.outcome != CutOutcome::Completed && cut.outcome != CutOutcome::Refused)
    last += "（" + RangeName(static_cast<std::size_t>(cut.part)) + "）";
  std::cout << last << std::endl;
  if (s.stop.Received()) return s.stop.ExitStatus();
  return EndStatus(cut, *ranges, clock ? &*clock : nullptr, job, s.stop_flag);
}

}  // namespace

}  // namespace trimora::cli
