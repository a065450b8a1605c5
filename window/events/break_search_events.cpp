// The search for breaks from the window: it runs off the window's thread, shows its progress on
// the list's message line with a stop on its own button, and proposes the programme's ranges as
// the list's rows, with the breaks drawn on the timeline. The search itself comes from the
// platform, so that the window model needs no decoder.
#include <string>

#include "window/events/events.h"

namespace trimora {

namespace {

constexpr const char* kStopSearch = "中止";
constexpr const char* kReplaceWithFound = "今のリストを、CMを除いた範囲で置き換えますか？";
constexpr const char* kNoBreaksFound = "CMは見つかりませんでした。";

std::string BreaksFoundText(std::size_t breaks) { return "CMが" + std::to_string(breaks) + "か所見つかりました。"; }

}  // namespace

// A second click while it runs is the stop.
void WindowEvents::FindBreaksClick() {
  if (Scanning()) {
    scan_stop_->request_stop();
    return;
  }
  if (!platform_.find_breaks || !MayStartRun() || st_.sEditFile.empty() || !w_.fOption.Enabled) return;
  if (!rows_.empty() && !Confirm(kReplaceWithFound)) return;
  if (!MayStartRun()) return;  // the question let the window's events run
  scan_stop_.emplace();
  ShowScanProgress(0, "");
  if (!w_.PostToWindow) {
    BreaksFound(platform_.find_breaks(st_.sEditFile, scan_stop_->get_token(), [this](int percent, const char* caption) {
      ShowScanProgress(percent, caption);
      w_.DoEvents();
    }));
    return;
  }
  // The thread only posts: everything it finds reaches the window as a task on its own thread.
  // Its own stop is the search's, so that the window's end stops it before joining it.
  scanner_ = std::jthread([this, find = platform_.find_breaks, path = st_.sEditFile, post = w_.PostToWindow](std::stop_token stop) {
    FoundBreaks found = find(path, stop, [this, &post](int percent, const char* caption) {
      post([this, percent, caption] {
        if (Scanning()) ShowScanProgress(percent, caption);
        w_.DoEvents();
      });
    });
    post([this, found = std::move(found)] {
      BreaksFound(found);
      w_.DoEvents();
    });
  });
  scan_stop_ = scanner_.get_stop_source();
}

void WindowEvents::ShowScanProgress(int percent, const char* caption) {
  w_.lRangesMessage.Caption = std::string(caption) + (*caption ? " " : "") + std::to_string(percent) + "%";
  ShowRanges();
}

void WindowEvents::BreaksFound(const FoundBreaks& found) {
  if (!Scanning()) return;
  scan_stop_.reset();
  w_.lRangesMessage.Caption.clear();
  if (st_.ExitRequested() || found.stopped) {
    ShowRanges();
    return;
  }
  if (!found.problem.empty() || found.breaks.empty()) {
    w_.lRangesMessage.Caption = found.problem.empty() ? kNoBreaksFound : found.problem;
    ShowRanges();
    return;
  }
  FillRows(found.programme);
  breaks_ = found.breaks;
  w_.lRangesMessage.Caption = BreaksFoundText(found.breaks.size());
  ShowRanges();
}

void WindowEvents::ShowBreakSearch(bool analysed) {
  w_.bFindBreaks.Visible = static_cast<bool>(platform_.find_breaks);
  w_.bFindBreaks.Caption = Scanning() ? kStopSearch : kFindBreaksCaption;
  w_.bFindBreaks.Enabled = Scanning() || analysed;
}

}  // namespace trimora
