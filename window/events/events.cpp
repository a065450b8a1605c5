// The window's event handlers. They only read controls, ask the platform and start the runs of
// window/runs, which show on the window model what the engine reports.
#include "window/events/events.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "core/time_values.h"
#include "platform/os/os.h"
#include "platform/record_folder.h"
#include "timerange/range_check.h"
#include "timerange/range_texts.h"
#include "timerange/range_preview.h"
#include "timerange/time_boxes.h"
#include "timerange/timeline.h"
#include "window/runs/analyze_file.h"
#include "window/runs/cut_range.h"

namespace trimora {

namespace {

#if defined(_WIN32)
constexpr const char* kEdition = " (Windows版)";
#elif defined(__APPLE__)
constexpr const char* kEdition = " (Mac版)";
#else
constexpr const char* kEdition = " (Linux版)";
#endif

constexpr const char* kRecordingPattern = "*.nts";
constexpr const char* kStopSaving = "保存中です。中止しますか？（書きかけのファイルは削除されます）";
// Matches no recording, so that the list stays empty in dialog mode.
constexpr const char* kNoRecordingPattern = "404.dir";

}  // namespace

std::string ApplicationTitle() { return std::string(kProductName) + kEdition; }

namespace {

// 3723 -> "1h02m03s": a time that is safe in a file name on every system.
std::string FileNameTime(int32_t seconds) {
  return std::to_string(seconds / 3600) + "h" + TwoDigits(seconds / 60 % 60) + "m" + TwoDigits(seconds % 60) + "s";
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of(os::kPathSeparators);
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

namespace {

// The recording's file name without its folder and its extension: what a proposed name starts with.
std::string SourceStem(const std::string& source_path) {
  std::string name = source_path.substr(FolderOf(source_path).size());
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace

namespace {

// The longest file name the file systems take: 255 bytes (UTF-8) on Linux, 255 UTF-16 units on
// Windows, which 255 bytes of UTF-8 never exceed.
constexpr std::size_t kLongestFileName = 255;

// The recording's stem, shortened at a character's edge where the name would not fit: what
// names the cut's contents (its range, its parts) is kept whole.
std::string ProposedName(const std::string& source_path, const std::string& tail) {
  std::string stem = SourceStem(source_path);
  const std::size_t room = kLongestFileName > tail.size() ? kLongestFileName - tail.size() : 0;
  if (stem.size() > room) {
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;  // inside a UTF-8 sequence
    stem.erase(cut);
  }
  return stem + tail;
}

}  // namespace

std::string ProposedCutName(const std::string& source_path, int32_t start, int32_t end) {
  return ProposedName(source_path, "_" + FileNameTime(start) + "-" + FileNameTime(end) + ".nts");
}

std::string ProposedJobName(const std::string& source_path, std::size_t parts) {
  return ProposedName(source_path, "_" + std::to_string(parts) + "ranges.nts");
}

WindowEvents::WindowEvents(WindowModel& w, AppState& st, Platform& platform) : w_(w), st_(st), platform_(platform) {
  for (OptionButton* option : w_.oSel) {
    const int index = option->Index;
    option->Click = [this, index] { SelectSource(index); };
  }
  w_.lFile.Click = [this] { ListClick(); };
  w_.lFile.FolderChanged = [this] { RefreshList(); };
  w_.OpenPaths = [this](const std::vector<std::string>& paths) { OpenPaths(paths); };
  w_.bShowDialog.Click = [this] { ShowDialogClick(); };
  w_.bCut.Click = [this] { CutClick(); };
  // The view ticks or clears the box before it reports the click; the other box follows, so
  // both always show whether the length is to be measured.
  w_.cDataDetail.Click = [this] { w_.cTimeB.Value = w_.cDataDetail.Value; };
  w_.cTimeB.Click = [this] { w_.cDataDetail.Value = w_.cTimeB.Value; };
  w_.lvAddress.Click = [this] { OpenWebPage(); };
  WireRangeEntry(w_, st_);
  WireTimeline(w_, st_);
  WireRangeList();
}

void WindowEvents::Load() {
  w_.Caption = ApplicationTitle();
  w_.lvAddress.Caption = kWebPageTitle;

  const EnvironmentReader env = platform_.getenv ? EnvironmentReader(platform_.getenv) : ReadProcessEnvironment;
  st_.sRecordPath = LookUpRecordPath(env);
  if (st_.sRecordPath != kNoRecordFolder) {
    if (auto items = ListFolder(st_.sRecordPath, kRecordingPattern)) {
      w_.lFile.Path = st_.sRecordPath;
      w_.lFile.Pattern = kRecordingPattern;
      w_.lFile.Items = std::move(*items);
      w_.lFile.ListIndex = -1;
      return;  // list mode, the mode the window opens in
    }
  }
  EnterDialogMode();
}

// Without a folder to list, the dialog is the only way to a recording for the rest of the run.
void WindowEvents::EnterDialogMode() {
  w_.oSel[0]->Value = true;
  w_.oSel[1]->Value = false;
  if (w_.oSel[0]->Click) w_.oSel[0]->Click();
  w_.oSel[1]->Enabled = false;
  w_.lFile.Pattern = kNoRecordingPattern;
  w_.lFile.Items.clear();
  w_.lFile.ListIndex = -1;
}

// Selecting one option of the group clears the other; the view shows what this leaves.
void WindowEvents::SelectSource(int index) {
  const bool dialog = index == 0;
  w_.oSel[0]->Value = dialog;
  w_.oSel[1]->Value = !dialog;
  w_.tDialogFile.Enabled = dialog;
  w_.bShowDialog.Enabled = dialog;
  w_.lFile.Enabled = !dialog;
}

bool WindowEvents::CloseRequest() {
  if (saving_ > 0 && !st_.ExitRequested() && !Confirm(kStopSaving)) return false;
  st_.iExitFlag = 1;
  if (Scanning()) scan_stop_->request_stop();
  return true;
}

// An analysis or cut started from inside a running one would take over the source file slot
// that the running one still reads, and close it under it; a closing window starts nothing.
// A search for breaks holds the list, which an analysis would clear under it.
bool WindowEvents::MayStartRun() const { return !st_.ExitRequested() && !Busy() && !Scanning(); }

// The preview forgets the previous recording as the analysis begins and shows the new one once
// the analysis has offered its range, which it does only when it succeeded.
void WindowEvents::Analyze(const std::string& path) {
  ClearPreview(w_);
  ClearRanges();
  source_ = path;
  ShowSource();
  {
    RunningScope running(running_);
    ShowRanges();
    AnalyzeFile(w_, st_, path);
  }
  if (w_.fOption.Enabled && !st_.ExitRequested()) PreviewRecording(w_, st_.markers);
  ShowRanges();
}

// The list and the path box name the recording whose results the window holds or is working
// out, and no other: a Save must never look as if it cut another file than it does.
void WindowEvents::ShowSource() {
  if (w_.tDialogFile.Text() != source_) w_.tDialogFile.SetText(source_);
  int index = -1;
  if (!source_.empty() && FolderOf(source_) == w_.lFile.Path) {
    const std::string name = source_.substr(FolderOf(source_).size());
    for (std::size_t i = 0; i < w_.lFile.Items.size(); ++i)
      if (w_.lFile.Items[i] == name) index = static_cast<int>(i);
  }
  w_.lFile.ListIndex = index;
}

void WindowEvents::ListClick() {
  if (!MayStartRun()) {
    ShowSource();  // the click moved the highlight; it goes back to the running recording
    return;
  }
  Analyze(st_.sRecordPath + w_.lFile.FileName());
}

// Recordings written or removed while the program runs show up in the list at once.
void WindowEvents::RefreshList() {
  if (w_.lFile.Path.empty() || w_.lFile.Pattern != kRecordingPattern) return;
  w_.lFile.Items = ListFolder(w_.lFile.Path, w_.lFile.Pattern).value_or(std::vector<std::string>{});
  ShowSource();
}

namespace {

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(os::PathFromUtf8(path), ec);
}

// The first recording among the paths: a *.nts file, or the first *.nts file of a folder.
std::string FirstRecording(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (IsFolder(path)) {
      std::string folder = path;
      if (folder.back() != kPathSeparator) folder += kPathSeparator;
      const auto items = ListFolder(folder, kRecordingPattern);
      if (items && !items->empty()) return folder + items->front();
    } else if (MatchesPattern(path.substr(FolderOf(path).size()), kRecordingPattern)) {
      return path;
    }
  }
  return {};
}

}  // namespace

void WindowEvents::OpenPaths(const std::vector<std::string>& paths) {
  if (!MayStartRun() || paths.empty()) return;
  const std::string path = paths.size() == 1 && !IsFolder(paths.front()) ? paths.front() : FirstRecording(paths);
  if (path.empty()) return;
  if (!w_.oSel[0]->Value) SelectSource(0);
  Analyze(path);
}

void WindowEvents::ShowDialogClick() {
  if (st_.ExitRequested()) return;
  const std::string path =
      platform_.dialogs.ShowFileDialog(BuildDialogFilter(kRecordingsFilter), open_folder_, "", false);
  if (path.empty() || !MayStartRun()) return;
  open_folder_ = FolderOf(path);
  Analyze(path);  // puts the path in the box
}

// Boxes that hold no time are refused before a target is asked for: the name would be lost.
void WindowEvents::CutClick() {
  if (!MayStartRun()) return;
  const std::optional<BoxRange> range = RangeInBoxes(w_);
  if (!range) {
    w_.lCMessage_Show(range_texts::kEntryError, kCutWarningIcon);
    return;
  }
  // The cut goes next to its source by default, named after it and the range.
  const std::string name = range->start >= 0 && range->end >= 0 ? ProposedCutName(st_.sEditFile, range->start, range->end) : "";
  const std::string target = platform_.dialogs.ShowFileDialog(BuildDialogFilter(kRecordingsFilter), SaveDialogFolder(), name, true);
  if (target.empty() || !MayStartRun()) return;
  save_folder_ = FolderOf(target);
  {
    RunningScope running(running_), saving(saving_);
    ShowRanges();
    CutWithBoxes(w_, st_, target, platform_.check_decoding);
  }
  ShowRanges();
}

bool WindowEvents::Confirm(const std::string& question) const {
  return !platform_.confirm || platform_.confirm(question);
}

std::string WindowEvents::SaveDialogFolder() const {
  return save_folder_.empty() ? FolderOf(st_.sEditFile) : save_folder_;
}

std::string WindowEvents::ListDialogFolder() const {
  return list_folder_.empty() ? FolderOf(st_.sEditFile) : list_folder_;
}

void WindowEvents::OpenWebPage() {
  try {
    platform_.web.Open(ResolveWebPageAddress(kWebPageAddress));
  } catch (...) {
    // A browser that cannot be started leaves the window as it is.
  }
}

}  // namespace trimora
