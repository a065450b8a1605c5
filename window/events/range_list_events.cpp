// The list of ranges to keep: built from the range boxes, saved as one job through the cut
// panel, read from and written to the text form the command line reads. The rules are the list's
// own (ranges/range_list.h); here they meet the window.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/time_values.h"
#include "platform/os/os.h"
#include "platform/record_folder.h"
#include "ranges/list_forms.h"
#include "timerange/range_texts.h"
#include "timerange/time_boxes.h"
#include "timerange/timeline.h"
#include "window/events/events.h"
#include "window/run_texts.h"
#include "window/runs/cut_range.h"

namespace trimora {

namespace {

constexpr const char* kNotReadable = "範囲リストを読み込めません。";
constexpr const char* kNotWritable = "範囲リストを書き出せません。";
constexpr const char* kSizing = "計算中";
constexpr const char* kUnknownSize = "--";
constexpr const char* kReplaceList = "今のリストを、読み込む範囲リストで置き換えますか？";

}  // namespace

void WindowEvents::WireRangeList() {
  w_.bAddRange.Click = [this] { AddRangeClick(); };
  w_.bRemoveRange.Click = [this] { RemoveRangeClick(); };
  w_.lRanges.Click = [this] { ChooseRange(); };
  w_.lRanges.Delete = [this] { RemoveRangeClick(); };
  // Enter in a time box keeps the range it now holds.
  for (TextBox* const* row : {w_.tStart, w_.tEnd})
    for (int i = 0; i < 3; ++i) row[i]->Enter = [this] { AddRangeClick(); };
  w_.bSaveRanges.Click = [this] { SaveRangesClick(); };
  w_.bImportRanges.Click = [this] { ImportRangesClick(); };
  w_.bExportRanges.Click = [this] { ExportRangesClick(); };
  w_.bFindBreaks.Click = [this] { FindBreaksClick(); };
  // The rows' sizes are those of the cut the list saves: clean while the preview's box is ticked.
  w_.cPreviewClean.Click = [this, preview = w_.cPreviewClean.Click] {
    if (preview) preview();
    for (std::size_t row = 0; row < rows_.size(); ++row) AskSize(row);
    ShowRanges();
  };
  ShowRanges();
}

std::vector<KeptRange> WindowEvents::Ranges() const {
  std::vector<KeptRange> ranges;
  for (const RangeRow& row : rows_) ranges.push_back(row.range);
  return ranges;
}

void WindowEvents::ClearRanges() {
  rows_.clear();
  breaks_.clear();  // sizes still on their way find no row: their tickets are gone
  w_.lRanges.ListIndex = -1;
  w_.lRangesMessage.Caption.clear();
  ShowRanges();
}

// The size is asked of the recording's marker index, which may read on through the file for it:
// on a thread of its own when the window has one to spare, else at once.
void WindowEvents::AskSize(std::size_t row) {
  RangeRow& r = rows_[row];
  r.ticket = ++tickets_;
  r.known = false;
  if (!st_.markers) {
    r.known = true;
    return;
  }
  if (!w_.PostToWindow) {
    r.bytes = ExactSize(*st_.markers, r.range, false, {}, w_.cPreviewClean.Value == 1);
    r.known = true;
    return;
  }
  if (!sizes_)
    sizes_ = std::make_unique<RangeSizeWorker>([this](uint64_t ticket, std::optional<int64_t> bytes) {
      w_.PostToWindow([this, ticket, bytes] {
        SizeKnown(ticket, bytes);
        w_.DoEvents();
      });
    });
  sizes_->Ask(r.ticket, st_.markers, r.range, w_.cPreviewClean.Value == 1);
}

void WindowEvents::SizeKnown(uint64_t ticket, std::optional<int64_t> bytes) {
  for (RangeRow& row : rows_) {
    if (row.ticket != ticket) continue;
    row.bytes = bytes;
    row.known = true;
    ShowRanges();
  }
}

void WindowEvents::ShowRanges() {
  w_.lRanges.Items.clear();
  int64_t total_bytes = 0;
  bool all_known = true;
  for (const RangeRow& row : rows_) {
    const std::string size = row.bytes ? SizeInKb(*row.bytes) : row.known ? kUnknownSize : kSizing;
    // Numbered as the list's reasons name its ranges ("範囲2"), so that a reason finds its row.
    w_.lRanges.Items.push_back(std::to_string(w_.lRanges.Items.size() + 1) + "　" + CutTimeText(row.range.start) + "～" +
                               CutTimeText(row.range.end) + "　" + MillisText(LengthMillis(row.range)) + "　" + size);
    if (row.bytes)
      total_bytes += *row.bytes;
    else
      all_known = false;
  }
  if (w_.lRanges.ListIndex >= static_cast<int>(rows_.size())) w_.lRanges.ListIndex = -1;
  w_.lRangesTotal.Caption = "合計：" + MillisText(TotalMillis(Ranges())) + "　" +
                            (all_known ? SizeInKb(total_bytes) : std::string(kUnknownSize));
  std::vector<TimeSpan> kept;
  for (const RangeRow& row : rows_) kept.emplace_back(row.range.start, row.range.end);
  MarkTimeline(w_, st_.iTotalSec, kept, breaks_);
  // Ranges are only ever of the analysed recording, and none is taken while a run holds it.
  const bool analysed = !st_.sEditFile.empty() && w_.fOption.Enabled && !Busy() && !Scanning();
  w_.bAddRange.Enabled = analysed;
  w_.bImportRanges.Enabled = analysed;
  w_.bRemoveRange.Enabled = analysed && w_.lRanges.ListIndex >= 0;
  w_.bExportRanges.Enabled = !rows_.empty();
  w_.bSaveRanges.Enabled = analysed && !rows_.empty();
  ShowBreakSearch(analysed && !st_.ExitRequested());
}

// A range that overlaps the chosen row is that row changed: it takes the row's place. Any other
// range is a new row.
void WindowEvents::AddRangeClick() {
  if (!w_.bAddRange.Enabled) return;
  const std::optional<BoxRange> boxes = RangeInBoxes(w_);
  if (!boxes) {
    w_.lRangesMessage.Caption = range_texts::kEntryError;
    return;
  }
  const KeptRange range{boxes->start, boxes->end};
  const int chosen = w_.lRanges.ListIndex;
  std::vector<KeptRange> ranges = Ranges();
  const bool replacing = chosen >= 0 && chosen < static_cast<int>(rows_.size()) &&
                         Overlap(range, ranges[static_cast<std::size_t>(chosen)]);
  // The boxes show a finer row as whole seconds: unchanged, they leave the row as it is.
  if (replacing && ranges[static_cast<std::size_t>(chosen)].start.second == boxes->start &&
      ranges[static_cast<std::size_t>(chosen)].end.second == boxes->end)
    return;
  const AddResult added = replacing ? ReplaceRange(ranges, static_cast<std::size_t>(chosen), range, st_.iTotalSec)
                                    : AddRange(ranges, range, st_.iTotalSec);
  w_.lRangesMessage.Caption = added.problem;
  if (!added.problem.empty()) return;
  if (replacing) rows_.erase(rows_.begin() + chosen);
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(added.added), RangeRow(range));
  w_.lRanges.ListIndex = static_cast<int>(added.added);
  AskSize(added.added);
  ShowRanges();
}

// The row chosen after it goes into the boxes; with none left, the whole recording, as after its
// analysis: the boxes never show a range the list no longer holds.
void WindowEvents::RemoveRangeClick() {
  const int index = w_.lRanges.ListIndex;
  if (!w_.bRemoveRange.Enabled || index < 0 || index >= static_cast<int>(rows_.size())) return;
  rows_.erase(rows_.begin() + index);
  w_.lRanges.ListIndex = rows_.empty() ? -1 : std::min(index, static_cast<int>(rows_.size()) - 1);
  if (rows_.empty()) {
    SecToTextBoxes(0, *w_.tStart[0], *w_.tStart[1], *w_.tStart[2]);
    SecToTextBoxes(st_.iTotalSec, *w_.tEnd[0], *w_.tEnd[1], *w_.tEnd[2]);
  }
  ChooseRange();
}

// The chosen row goes into the boxes, whose change events check it and move the pictures. A
// reason shown for an earlier choice no longer applies.
void WindowEvents::ChooseRange() {
  w_.lRangesMessage.Caption.clear();
  const int index = w_.lRanges.ListIndex;
  if (index >= 0 && index < static_cast<int>(rows_.size()) && w_.fOption.Enabled) {
    const KeptRange r = rows_[static_cast<std::size_t>(index)].range;
    // The boxes hold whole seconds: a finer time shows as the marker it counts from.
    SecToTextBoxes(r.start.second, *w_.tStart[0], *w_.tStart[1], *w_.tStart[2]);
    SecToTextBoxes(r.end.second, *w_.tEnd[0], *w_.tEnd[1], *w_.tEnd[2]);
  }
  ShowRanges();
}

void WindowEvents::SaveRangesClick() {
  if (!MayStartRun()) return;
  const std::vector<KeptRange> ranges = Ranges();
  if (std::string problem = ListProblem(ranges, st_.iTotalSec); !problem.empty()) {
    w_.lRangesMessage.Caption = problem;
    return;
  }
  w_.lRangesMessage.Caption.clear();
  const std::string target = platform_.dialogs.ShowFileDialog(
      BuildDialogFilter(kRecordingsFilter), SaveDialogFolder(), ProposedJobName(st_.sEditFile, ranges.size()), true);
  if (target.empty() || !MayStartRun()) return;
  save_folder_ = FolderOf(target);
  {
    RunningScope running(running_), saving(saving_);
    ShowRanges();
    CutRanges(w_, st_, target, CutPartsOf(ranges), platform_.check_decoding);
  }
  ShowRanges();
}

void WindowEvents::ImportRangesClick() {
  if (!MayStartRun() || st_.sEditFile.empty()) return;
  if (!rows_.empty() && !Confirm(kReplaceList)) return;
  const std::string path = platform_.dialogs.ShowFileDialog(BuildDialogFilter(kRangeListFilter), ListDialogFolder(), "", false);
  if (path.empty()) return;
  list_folder_ = FolderOf(path);
  std::ifstream in(os::PathFromUtf8(path), std::ios::binary);
  std::ostringstream text;
  if (in.is_open()) text << in.rdbuf();
  if (!in.is_open() || in.bad()) {
    w_.lRangesMessage.Caption = kNotReadable;
    return;
  }
  const CutList read = ReadCutList(text.str());
  if (!read.problem.empty()) {
    w_.lRangesMessage.Caption = read.problem;  // the list in the window stays as it was
    return;
  }
  std::vector<KeptRange> ranges = read.ranges;
  if (read.NeedsClock()) {
    // Other tools count from the first picture: their spans meet the markers through its clock.
    const std::optional<clock::RecordingClock> clock = ReadClock();
    if (!clock) return;
    ranges = KeptRangesOf(read, *clock, RecordingEnd(*clock, st_.iTotalSec));
  }
  if (std::string problem = ListProblem(ranges, st_.iTotalSec); !problem.empty()) {
    w_.lRangesMessage.Caption = problem;
    return;
  }
  FillRows(ranges);
}

void WindowEvents::FillRows(const std::vector<KeptRange>& ranges) {
  ClearRanges();
  for (const KeptRange& r : ranges) rows_.push_back(RangeRow(r));
  for (std::size_t i = 0; i < rows_.size(); ++i) AskSize(i);
  ShowRanges();
}

// The recording's clock, read on the window's thread with its progress on the list's message
// line, as the analysis reads on it; nothing when there is none (the reason is shown) or the
// window closed meanwhile.
std::optional<clock::RecordingClock> WindowEvents::ReadClock() {
  std::optional<clock::RecordingClock> read_clock;
  {
    RunningScope running(running_);
    ShowRanges();
    std::stop_source stop;
    w_.lRangesMessage.Caption = kReadingClockText;
    clock::ClockRead read = clock::RecordingClock::Read(st_.sEditFile, stop.get_token(), [&](int percent) {
      w_.lRangesMessage.Caption = std::string(kReadingClockText) + " " + std::to_string(percent) + "%";
      w_.DoEvents();
      if (st_.ExitRequested()) stop.request_stop();
    });
    w_.lRangesMessage.Caption.clear();
    if (st_.ExitRequested()) return std::nullopt;
    if (read.outcome == clock::ClockOutcome::kNoVideo) w_.lRangesMessage.Caption = kNoVideoClockText;
    if (read.outcome == clock::ClockOutcome::kCannotRead) w_.lRangesMessage.Caption = cut_texts::kSeekFailed;
    read_clock = std::move(read.clock);
  }
  ShowRanges();
  return read_clock;
}

void WindowEvents::ExportRangesClick() {
  if (rows_.empty()) return;
  std::string name = ProposedJobName(st_.sEditFile, rows_.size());
  name.replace(name.size() - 4, 4, ".txt");
  const std::string path = platform_.dialogs.ShowFileDialog(BuildDialogFilter(kRangeListFilter), ListDialogFolder(), name, true);
  if (path.empty()) return;
  list_folder_ = FolderOf(path);
  const std::string text = ListText(path);
  if (text.empty()) return;
  std::ofstream out(os::PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  w_.lRangesMessage.Caption = out ? "" : kNotWritable;
}

// A name ending in .edl asks for what players and other tools skip: the stretches no range keeps.
std::string WindowEvents::ListText(const std::string& path) {
  const bool edl = MatchesPattern(path.substr(FolderOf(path).size()), "*.edl");
  if (!edl) return WriteRangeList(Ranges());
  if (!MayStartRun()) return {};
  const std::optional<clock::RecordingClock> clock = ReadClock();
  return clock ? WriteEdl(Ranges(), *clock, RecordingEnd(*clock, st_.iTotalSec)) : std::string();
}

}  // namespace trimora
