// The cut as the window shows it: each stage and progress report of the engine becomes a
// CProgress_Refresh, its end the final caption or message.
#include "window/runs/cut_range.h"

#include <optional>

#include "platform/os/os.h"
#include "timerange/range_texts.h"
#include "timerange/time_boxes.h"
#include "verify/verify_texts.h"
#include "window/run_texts.h"

namespace trimora {

namespace {

class WindowCutReport : public CutReport {
 public:
  explicit WindowCutReport(WindowModel& w) : w_(w) {}

  void StageBegun(CutStage stage) override {
    const BarStep bar = CutStageBar(stage);
    w_.CProgress_Refresh(bar.percent, bar.caption);
  }
  void Percent(int32_t percent) override { w_.CProgress_Refresh(percent, kCaptionUnchanged); }

  // A refusal or failure is shown whatever the window does meanwhile; a finished cut's report
  // may still fail, and the engine then reports the failure instead.
  void Ended(const CutResult& result) override {
    const CutEndShown shown = CutEndText(result);
    if (shown.on_bar) {
      w_.CProgress_Refresh(100, shown.text);
    } else if (result.outcome == CutOutcome::PacketError || result.outcome == CutOutcome::StartBeyondEnd) {
      w_.lCMessage_Show(shown.text, kCutWarningIcon);
    } else {
      ShowFinal([&] { w_.lCMessage_Show(shown.text, kCutWarningIcon); });
    }
  }

 private:
  WindowModel& w_;
};

// Enables Save again on every way out.
struct SaveBack {
  Button& bCut;
  ~SaveBack() { bCut.Enabled = true; }
};

// A cut stopped by the window's closing would stay under its final name, looking finished, with
// nobody left to be told otherwise: it goes. (The command line keeps what a stop leaves, and says so.)
void RemoveStoppedTarget(const CutResult& result, const std::string& target) {
  if (!result.stopped) return;
  try {
    os::RemoveFile(target);
  } catch (const std::exception&) {
    // A file that cannot be removed stays as the stop left it.
  }
}

// With the box ticked, a save written whole is re-read against the recording and the plan it
// was written by, a clean one then decoded at its joins and ends, and the cut panel's line says
// how that went.
void VerifySaved(WindowModel& w, AppState& st, const CutResult& result, const std::string& target, int32_t markers,
                 const verify::DecodeChecker& decode) {
  if (w.cVerify.Value != 1 || result.outcome != CutOutcome::Completed || result.stopped || !result.plan) return;
  const verify::SavedCheck checked = verify::CheckSaved(st.sEditFile, target, *result.plan, markers, decode, st.iExitFlag);
  ShowFinal([&] { w.lCMessage_Show(verify::SavedCheckLine(checked), checked.Passed() ? kNoIcon : kCutWarningIcon); });
}

}  // namespace

void CutRange(WindowModel& w, AppState& st, const std::string& target, int32_t start, int32_t end,
              const verify::DecodeChecker& decode) {
  w.bCut.Enabled = false;
  SaveBack save_back{w.bCut};
  WindowCutReport report(w);
  // The cut the preview shows is the cut Save writes.
  CutOptions options;
  options.mode = w.cPreviewClean.Value == 1 ? CutMode::kClean : CutMode::kExact;
  // Where the recording's markers have been counted up to the start (a measured analysis, or the
  // start picture's search), the cut need not count them again.
  if (st.markers && st.markers->Path() == st.sEditFile) {
    options.known_start = st.markers->KnownByteAfterMarker(start);
    options.known_total = st.markers->KnownTotal();
  }
  const CutResult result = CutRecording(st.sEditFile, target, start, end, st.file1, st.file2, st.iExitFlag, report, options);
  RemoveStoppedTarget(result, target);
  VerifySaved(w, st, result, target, end - start, decode);
}

void CutRanges(WindowModel& w, AppState& st, const std::string& target, const std::vector<CutPart>& parts,
               const verify::DecodeChecker& decode) {
  w.bCut.Enabled = false;
  w.bSaveRanges.Enabled = false;
  SaveBack save_back{w.bCut};
  SaveBack list_save_back{w.bSaveRanges};
  WindowCutReport report(w);
  // Each part is cut as Save would cut its range: clean while the preview's box is ticked.
  CutOptions options;
  options.mode = w.cPreviewClean.Value == 1 ? CutMode::kClean : CutMode::kExact;
  if (st.markers && st.markers->Path() == st.sEditFile && !parts.empty())
    options.known_start = st.markers->KnownByteAfterMarker(parts.front().start.second);
  const CutResult result = CutRecording(st.sEditFile, target, parts, st.file1, st.file2, st.iExitFlag, report, options);
  RemoveStoppedTarget(result, target);
  int32_t markers = 0;
  for (const CutPart& part : parts) markers += part.end.second - part.start.second;
  VerifySaved(w, st, result, target, markers, decode);
}

void CutWithBoxes(WindowModel& w, AppState& st, const std::string& target, const verify::DecodeChecker& decode) {
  const std::optional<BoxRange> range = RangeInBoxes(w);
  if (!range) {
    ShowFinal([&] { w.lCMessage_Show(range_texts::kEntryError, kCutWarningIcon); });
    return;
  }
  CutRange(w, st, target, range->start, range->end, decode);
}

}  // namespace trimora
