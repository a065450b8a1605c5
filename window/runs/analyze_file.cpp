// The analysis as the window shows it: each report of the engine becomes the panel operation and
// the label captions of its step, in the order the engine makes them.
#include "window/runs/analyze_file.h"

#include <exception>

#include "core/time_values.h"
#include "engine/analyze.h"
#include "timerange/time_boxes.h"
#include "window/run_texts.h"

namespace trimora {

namespace {

using namespace analysis_texts;

class WindowAnalysisReport : public AnalysisReport {
 public:
  WindowAnalysisReport(WindowModel& w, AppState& st, const std::string& path) : w_(w), st_(st), path_(path) {}

  void StageBegun(AnalysisStage stage) override {
    if (const std::optional<BarStep> bar = AnalysisStageBar(stage)) w_.Progress_Refresh(bar->percent, bar->caption);
  }
  void Percent(int32_t percent) override { w_.Progress_Refresh(MeasuringBar(percent), MeasuringCaption(percent)); }

  void SizeKnown(int32_t bytes) override { w_.lFileSize.Caption = FileSizeText(bytes); }
  void FormatKnown(DataFormat format) override { w_.lDataType.Caption = DataFormatText(format); }
  void EstimateKnown(int32_t seconds) override {
    st_.iTotalSec = seconds;
    w_.lTimeA.Caption = SecToTime(seconds);
    w_.lTimeB.Caption = kNotMeasured;
  }
  void MeasuredKnown(int32_t markers) override {
    w_.lTimeB.Caption = SecToTime(markers);
    st_.iTotalSec = markers;
  }

  void Ended(const AnalysisResult& result) override {
    if (result.Succeeded()) {
      Initialise(result);
    } else {
      ShowFinal([&] { w_.lMessage_Show(AnalysisFailureText(result), kWarningIcon); });
    }
  }

 private:
  // Fills the range boxes with the whole recording. Each box write runs the range check, which
  // places lStart and lEnd; lEOF and lZERO follow them only afterwards.
  void Initialise(const AnalysisResult& result) {
    if (const std::string notice = AnalysisNotice(result); !notice.empty()) w_.lMessage_Show(notice, kInformationIcon);
    w_.Progress_Refresh(kInitialisingBar, kInitialising);
    SecToTextBoxes(0, *w_.tStart[0], *w_.tStart[1], *w_.tStart[2]);
    SecToTextBoxes(st_.iTotalSec, *w_.tEnd[0], *w_.tEnd[1], *w_.tEnd[2]);
    w_.lEOF.Caption = SecToTime(st_.iTotalSec);
    w_.lEOF.Left = w_.lEnd.Left;
    w_.lZERO.Left = w_.lStart.Left;
    w_.Progress_Refresh(kBarHidden, kCaptionUnchanged);
    st_.sEditFile = path_;
    st_.markers = result.markers;
    w_.fOption.Enabled = true;
  }

  WindowModel& w_;
  AppState& st_;
  const std::string& path_;
};

// Step 3 goes out of reach and the labels are cleared before anything is looked at.
void Reset(WindowModel& w) {
  w.fOption.Enabled = false;
  w.lMessage_Show("", kNoIcon);
  w.lDataType.Caption.clear();
  w.lFileSize.Caption.clear();
  w.lTimeA.Caption.clear();
  w.lTimeB.Caption.clear();
}

}  // namespace

void AnalyzeFile(WindowModel& w, AppState& st, const std::string& path) {
  // The path is copied: the caller's text (a box, a list entry) may change while events run.
  const std::string own_path = path;
  try {
    Reset(w);
  } catch (const std::exception&) {
    // Nothing is open yet; the window could not even be prepared for the run.
    ShowFinal([&] { w.lMessage_Show(kCannotRead, kWarningIcon); });
    return;
  }
  WindowAnalysisReport report(w, st, own_path);
  // The box is read when the length is reached, as the user may tick it until then.
  AnalyzeRecording(own_path, [&w] { return w.cTimeB.Value == 1; }, st.file1, st.iExitFlag, report);
}

}  // namespace trimora
