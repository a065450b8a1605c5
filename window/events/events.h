// The window's event handlers on the model: start-up, the choice of the source recording, Save,
// the mirrored check boxes, the web-page link and the close request. The Qt window forwards its
// user's input here; tests drive the same handlers headless.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include "ranges/list_forms.h"
#include "ranges/range_list.h"
#include "ranges/range_size_worker.h"
#include "verify/decode_check.h"

#include "window/app_state.h"
#include "platform/file_dialog.h"
#include "platform/web_page.h"
#include "window/model.h"

namespace trimora {

// What the search for breaks found in a recording, in the list's own terms.
struct FoundBreaks {
  bool stopped = false;
  std::string problem;               // why nothing could be found; "" when the search ran through
  std::vector<KeptRange> programme;  // the ranges it proposes to keep
  std::vector<std::pair<CutTime, CutTime>> breaks;
};

// Runs the search for breaks in the recording at `path`; called on a thread of its own, it looks
// at `stop` as it goes and tells its progress (percent, and the caption to show with it).
using BreakFinder = std::function<FoundBreaks(const std::string& path, const std::stop_token& stop,
                                              const std::function<void(int percent, const char* caption)>& progress)>;

struct Platform {
  FileDialogs& dialogs;
  WebOpener& web;
  // Reads an environment variable: true and its value when set, false when unset. Left empty,
  // the process's own environment is read.
  std::function<bool(const std::string& name, std::string& value)> getenv;
  // Asks the user a yes/no question, modal to the window: true for yes. Left empty, the answer
  // is yes.
  std::function<bool(const std::string& question)> confirm = {};
  // The search for breaks, where the program has one; left empty, its button stays hidden.
  BreakFinder find_breaks = {};
  // A clean save decoded at its joins and ends by the check after it, where the program has a
  // decoder; left empty, the check reads its bytes only.
  verify::DecodeChecker check_decoding = {};
};

// Counts a running analysis or cut for as long as it runs, however it ends.
class RunningScope {
 public:
  explicit RunningScope(int& count) : count_(count) { ++count_; }
  ~RunningScope() { --count_; }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  int& count_;
};

// The window caption: the product's name and the edition.
std::string ApplicationTitle();

// The folder part of a path, with its trailing separator; "" for a bare name.
std::string FolderOf(const std::string& path);

// The name the save dialog proposes for the range start..end (seconds) of a source recording:
// the source's name without its extension, then the range, e.g. "番組A_0h01m00s-0h02m00s.nts".
std::string ProposedCutName(const std::string& source_path, int32_t start, int32_t end);

// The name the save dialog proposes for a list of `parts` ranges: "番組A_3ranges.nts".
std::string ProposedJobName(const std::string& source_path, std::size_t parts);

// The filter of the dialogs that read and write a list of ranges.
// A list is read in any form it comes in; one written with a name ending in .edl is an EDL.
inline constexpr const char* kRangeListFilter = "範囲リスト (*.txt)|*.txt|EDL (*.edl)|*.edl|すべてのファイル (*.*)|*.*";

class WindowEvents {
 public:
  // Wires every event handler of the window into the model's Click, Change and GotFocus slots.
  // The model, the state and the platform must outlive this object.
  WindowEvents(WindowModel& w, AppState& st, Platform& platform);
  WindowEvents(const WindowEvents&) = delete;
  WindowEvents& operator=(const WindowEvents&) = delete;

  void Load();  // start-up: caption, recording folder, list or dialog mode

  // A recording handed to the program, by a drop on the window or on its command line: acts as
  // choosing it in the open dialog (dialog mode, the path in the box, the analysis runs). One
  // file is taken whatever its name; from a folder or several paths, the first *.nts file, or
  // nothing. Ignored while a run is in progress, as a click in the list is.
  void OpenPaths(const std::vector<std::string>& paths);

  // iExitFlag = 1: a running loop stops at its next test, and nothing new starts. During a save
  // the user is asked first, and may keep the window and the save: false then, and nothing
  // changes. A stopped save leaves no file behind. A view should let the window go once Busy()
  // is false, so that the running procedure can close its files on its way out.
  bool CloseRequest();

  bool Busy() const { return running_ > 0; }  // an analysis or a cut is running

  // The ranges of the list, in order.
  std::vector<KeptRange> Ranges() const;

 private:
  void SelectSource(int index);  // oSel click: 0 dialog mode, any other list mode
  void ListClick();
  void ShowDialogClick();
  void CutClick();
  void OpenWebPage();
  void Analyze(const std::string& path);
  bool MayStartRun() const;
  bool Scanning() const { return scan_stop_.has_value(); }
  void EnterDialogMode();
  void RefreshList();
  void ShowSource();
  bool Confirm(const std::string& question) const;
  // Where each kind of dialog starts: the folder last chosen in it, else the recording's.
  std::string SaveDialogFolder() const;
  std::string ListDialogFolder() const;

  // The list of ranges to keep (range_list_events.cpp).
  void WireRangeList();
  void AddRangeClick();
  void RemoveRangeClick();
  void ChooseRange();
  void SaveRangesClick();
  void ImportRangesClick();
  void ExportRangesClick();
  void ClearRanges();  // another recording: the list never holds ranges of a different one
  void AskSize(std::size_t row);
  void SizeKnown(uint64_t ticket, std::optional<int64_t> bytes);
  void ShowRanges();
  void FillRows(const std::vector<KeptRange>& ranges);
  std::optional<clock::RecordingClock> ReadClock();
  std::string ListText(const std::string& path);

  // The search for breaks (break_search_events.cpp).
  void FindBreaksClick();
  void ShowScanProgress(int percent, const char* caption);
  void BreaksFound(const FoundBreaks& found);
  void ShowBreakSearch(bool analysed);

  std::string source_;  // the recording of the latest analysis, running or done
  WindowModel& w_;
  AppState& st_;
  Platform& platform_;
  int running_ = 0;
  int saving_ = 0;  // of the runs, the cuts
  std::string open_folder_, save_folder_, list_folder_;  // the folders last chosen in the dialogs

  struct RangeRow {
    explicit RangeRow(KeptRange r) : range(r) {}
    KeptRange range;
    uint64_t ticket = 0;                 // the size asked for this row
    bool known = false;                  // the answer has come
    std::optional<int64_t> bytes;        // the exact size, when the index could tell
  };
  std::vector<RangeRow> rows_;
  // The breaks the search found in the recording, drawn on the timeline; none until it has run.
  std::vector<std::pair<CutTime, CutTime>> breaks_;
  uint64_t tickets_ = 0;
  std::unique_ptr<RangeSizeWorker> sizes_;  // stopped and joined before the rows go
  std::optional<std::stop_source> scan_stop_;  // while a search for breaks runs
  std::jthread scanner_;  // last: the search stops and is joined before anything it reports to goes
};

}  // namespace trimora
