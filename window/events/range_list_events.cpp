// The list of ranges to keep: built from the range boxes, saved as one job through the cut
// panel, read from and written to the text form the command line reads. The rules are the list's
// own (ranges/range_list.h); here they meet the window.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/time_values.h"
#include "platform/os/os.h"
#include "timerange/range_texts.h"
#include "timerange/time_boxes.h"
#include "window/events/events.h"
#include "window/runs/cut_range.h"

namespace trimora {

namespace {

constexpr const char* kNotReadable = "範囲リストを読み込めません。";
constexpr const char* kNotWritable = "範囲リストを書き出せません。";
constexpr const char* kSizing = "計算中";
constexpr const char* kUnknownSize = "--";

}  // namespace

void WindowEvents::WireRangeList() {
  w_.bAddRange.Click = [this] { AddRangeClick(); };
  w_.bRemoveRange.Click = [this] { RemoveRangeClick(); };
  w_.lRanges.Click = [this] { ChooseRange(); };
  w_.bSaveRanges.Click = [this] { SaveRangesClick(); };
  w_.bImportRanges.Click = [this] { ImportRangesClick(); };
  w_.bExportRanges.Click = [this] { ExportRangesClick(); };
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
  rows_.clear();  // sizes still on their way find no row: their tickets are gone
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
    w_.lRanges.Items.push_back(CutTimeText(row.range.start) + "～" + CutTimeText(row.range.end) + "　" +
                               MillisText(LengthMillis(row.range)) + "　" + size);
    if (row.bytes)
      total_bytes += *row.bytes;
    else
      all_known = false;
  }
  if (w_.lRanges.ListIndex >= static_cast<int>(rows_.size())) w_.lRanges.ListIndex = -1;
  w_.lRangesTotal.Caption = "合計：" + MillisText(TotalMillis(Ranges())) + "　" +
                            (all_known ? SizeInKb(total_bytes) : std::string(kUnknownSize));
}

void WindowEvents::AddRangeClick() {
  const std::optional<BoxRange> boxes = RangeInBoxes(w_);
  if (!boxes) {
    w_.lRangesMessage.Caption = range_texts::kEntryError;
    return;
  }
  std::vector<KeptRange> ranges = Ranges();
  const AddResult added = AddRange(ranges, {boxes->start, boxes->end}, st_.iTotalSec);
  w_.lRangesMessage.Caption = added.problem;
  if (!added.problem.empty()) return;
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(added.added), RangeRow(ranges[added.added]));
  w_.lRanges.ListIndex = static_cast<int>(added.added);
  AskSize(added.added);
  ShowRanges();
}

void WindowEvents::RemoveRangeClick() {
  const int index = w_.lRanges.ListIndex;
  if (index < 0 || index >= static_cast<int>(rows_.size())) return;
  rows_.erase(rows_.begin() + index);
  w_.lRanges.ListIndex = rows_.empty() ? -1 : std::min(index, static_cast<int>(rows_.size()) - 1);
  w_.lRangesMessage.Caption.clear();
  ShowRanges();
}

// The chosen row goes into the boxes, whose change events check it and move the pictures.
void WindowEvents::ChooseRange() {
  const int index = w_.lRanges.ListIndex;
  if (index < 0 || index >= static_cast<int>(rows_.size()) || !w_.fOption.Enabled) return;
  const KeptRange r = rows_[static_cast<std::size_t>(index)].range;
  // The boxes hold whole seconds: a finer time shows as the marker it counts from.
  SecToTextBoxes(r.start.second, *w_.tStart[0], *w_.tStart[1], *w_.tStart[2]);
  SecToTextBoxes(r.end.second, *w_.tEnd[0], *w_.tEnd[1], *w_.tEnd[2]);
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
      BuildDialogFilter(kRecordingsFilter), FolderOf(st_.sEditFile), ProposedJobName(st_.sEditFile, ranges.size()), true);
  if (target.empty() || !MayStartRun()) return;
  ++running_;
  struct Done {
    int& running;
    ~Done() { --running; }
  } done{running_};
  CutRanges(w_, st_, target, CutPartsOf(ranges));
}

void WindowEvents::ImportRangesClick() {
  if (!MayStartRun() || st_.sEditFile.empty()) return;
  const std::string path =
      platform_.dialogs.ShowFileDialog(BuildDialogFilter(kRangeListFilter), FolderOf(st_.sEditFile), "", false);
  if (path.empty()) return;
  std::ifstream in(os::PathFromUtf8(path), std::ios::binary);
  std::ostringstream text;
  if (in.is_open()) text << in.rdbuf();
  if (!in.is_open() || in.bad()) {
    w_.lRangesMessage.Caption = kNotReadable;
    return;
  }
  const ParsedRangeList read = ReadRangeList(text.str());
  std::string problem = read.problem.empty() ? ListProblem(read.ranges, st_.iTotalSec) : read.problem;
  if (!problem.empty()) {
    w_.lRangesMessage.Caption = problem;  // the list in the window stays as it was
    return;
  }
  ClearRanges();
  for (const KeptRange& r : read.ranges) rows_.push_back(RangeRow(r));
  for (std::size_t i = 0; i < rows_.size(); ++i) AskSize(i);
  ShowRanges();
}

void WindowEvents::ExportRangesClick() {
  if (rows_.empty()) return;
  std::string name = ProposedJobName(st_.sEditFile, rows_.size());
  name.replace(name.size() - 4, 4, ".txt");
  const std::string path =
      platform_.dialogs.ShowFileDialog(BuildDialogFilter(kRangeListFilter), FolderOf(st_.sEditFile), name, true);
  if (path.empty()) return;
  std::ofstream out(os::PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out << WriteRangeList(Ranges());
  out.close();
  w_.lRangesMessage.Caption = out ? "" : kNotWritable;
}

}  // namespace trimora
