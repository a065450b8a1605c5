// The analysis of one recording in five stages, each shown on the analysis panel. A stage that
// fails ends the run with that stage's message; what earlier stages wrote stays on the window.
#include "engine/analyze.h"

#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/analyze_texts.h"
#include "engine/ts_packet.h"
#include "timerange/time_values.h"

namespace trimora {

namespace {

using namespace analysis_texts;

constexpr int32_t kMarkersPerProgressCheck = 10;

// A failure that carries its own message instead of the one its stage armed: a file too large
// for the 32-bit size, or a packet without its sync byte.
struct StageFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Only an ordinary file counts, the kind a recording is: no directory, device, FIFO or socket,
// and no hidden file. A link counts when it leads to an ordinary file.
// stat() never opens the path, so a FIFO cannot block us here.
bool OrdinaryFileExists(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  if (name.empty() || name.front() == '.') return false;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int32_t AddChecked(int32_t a, int32_t b) {
  int32_t sum;
  if (__builtin_add_overflow(a, b, &sum)) throw std::overflow_error("32-bit overflow");
  return sum;
}

class Analysis {
 public:
  // The path is copied: the caller's text (a box, a list entry) may change while events run.
  Analysis(WindowModel& w, AppState& st, std::string path) : w_(w), st_(st), path_(std::move(path)) {}

  void Run() {
    try {
      Reset();
    } catch (const std::exception&) {
      // Nothing is open yet; the window could not even be prepared for the run.
      ShowFailure(kCannotRead);
      return;
    }
    if (!OrdinaryFileExists(path_)) {
      ShowFailure(kNotFound);
      return;
    }
    if (!RunStage(kCannotRead, &Analysis::OpenFile)) return;
    if (!RunStage(kSizeUnreadable, &Analysis::ReadFileSize)) return;
    if (!RunStage(kUnknownFormat, &Analysis::CheckDataFormat)) return;
    if (!RunStage(kEstimateFailed, &Analysis::EstimateLength)) return;
    if (measure_ && !RunStage(kMeasureFailed, &Analysis::MeasureLength)) return;
    RunStage(measure_ ? kMeasureFailed : kEstimateFailed, &Analysis::Initialise);
  }

 private:
  void Reset() {
    w_.fOption.Enabled = false;
    w_.lMessage_Show("", kNoIcon);
    w_.lDataType.Caption.clear();
    w_.lFileSize.Caption.clear();
    w_.lTimeA.Caption.clear();
    w_.lTimeB.Caption.clear();
  }

  void OpenFile() {
    w_.Progress_Refresh(0, "ファイルを開いています... (1/5)");
    st_.file1.Open(path_);
  }

  void ReadFileSize() {
    w_.Progress_Refresh(20, "ファイルを調べています... (2/5)");
    const int64_t bytes = st_.file1.Size();
    if (bytes > INT32_MAX) throw StageFailure(kTooLarge);
    size_ = static_cast<int32_t>(bytes);
    w_.lFileSize.Caption = FormatGrouped(size_ / 1024.0) + " KB";
  }

  void CheckDataFormat() {
    w_.Progress_Refresh(40, "データを調べています... (3/5)");
    uint8_t head[kHeadSize];
    st_.file1.ReadHead(head);
    if (!ts_has_sync(head)) {
      w_.lDataType.Caption = "不明";
      throw StageFailure(kUnknownFormat);
    }
    w_.lDataType.Caption = "正常(TS)";
    w_.Progress_Refresh(60, "データの長さを調べています... (4/5)");
  }

  void EstimateLength() {
    estimate_a_ = static_cast<int32_t>(RoundHalfEven(size_ / kBytesPerSecond));
    st_.iTotalSec = estimate_a_;
    w_.lTimeA.Caption = SecToTime(estimate_a_);
    w_.lTimeB.Caption = "--";
    measure_ = w_.cTimeB.Value == 1;
  }

  // Counts the time markers, reading only the head of each record. The panel is refreshed (and
  // the window's events processed) only when the whole percentage changes, at most once per per cent.
  void MeasureLength() {
    SourceFile& file = st_.file1;
    file.Rewind();
    int32_t position = 0;
    int32_t last_percent = 0;
    for (;;) {
      const uint8_t* head = file.ReadRecordInPlace();
      if (TimeMarkerPacket(head)) {
        markers_ = AddChecked(markers_, 1);
        marker_packets_.push_back(static_cast<uint32_t>(position / static_cast<int32_t>(kPacketSize)));
        if (markers_ % kMarkersPerProgressCheck == 0) ShowMeasuringProgress(position, last_percent);
      }
      if (!ts_has_sync(head)) {
        // A partial last record, or whatever lies past the end of the data, ends up here too.
        w_.lDataType.Caption = "破損";
        throw StageFailure(kUnknownFormat);
      }
      position = AddChecked(position, static_cast<int32_t>(kPacketSize));
      if (st_.ExitRequested() || position == size_) break;
    }
    scanned_packets_ = position / static_cast<int32_t>(kPacketSize);
    whole_file_ = position == size_;
    w_.lTimeB.Caption = SecToTime(markers_);
    st_.iTotalSec = markers_;
  }

  void ShowMeasuringProgress(int32_t position, int32_t& last_percent) {
    const auto percent = static_cast<int32_t>(RoundHalfEven(static_cast<double>(position) / size_ * 100));
    if (percent == last_percent) return;
    last_percent = percent;
    const auto bar = static_cast<int32_t>(RoundHalfEven(percent / 5.0 + 60));
    w_.Progress_Refresh(bar, "データの長さを調べています. " + std::to_string(percent) + "%... (4/5)");
  }

  // Fills the range boxes with the whole recording. Each box write runs the range check, which
  // places lStart and lEnd; lEOF and lZERO follow them only afterwards.
  void Initialise() {
    st_.file1.Close();
    if (markers_ != 0 && markers_ != estimate_a_) w_.lMessage_Show(kLengthsDiffer, kInformationIcon);
    w_.Progress_Refresh(80, "初期化しています... (4/5)");
    SecToTextBoxes(0, *w_.tStart[0], *w_.tStart[1], *w_.tStart[2]);
    SecToTextBoxes(st_.iTotalSec, *w_.tEnd[0], *w_.tEnd[1], *w_.tEnd[2]);
    w_.lEOF.Caption = SecToTime(st_.iTotalSec);
    w_.lEOF.Left = w_.lEnd.Left;
    w_.lZERO.Left = w_.lStart.Left;
    w_.Progress_Refresh(kBarHidden, kCaptionUnchanged);
    st_.sEditFile = path_;
    st_.markers = measure_ ? std::make_shared<MarkerIndex>(path_, std::move(marker_packets_), scanned_packets_, whole_file_)
                           : std::make_shared<MarkerIndex>(path_);
    w_.fOption.Enabled = true;
  }

  // Runs one stage with its failure message armed; a failure closes slot 1 and ends the run.
  bool RunStage(const char* message, void (Analysis::*stage)()) {
    try {
      (this->*stage)();
      return true;
    } catch (const StageFailure& failure) {
      ShowFailure(failure.what());
    } catch (const std::exception&) {
      ShowFailure(message);
    }
    st_.file1.Close();
    return false;
  }

  void ShowFailure(const char* message) {
    ShowFinal([&] { w_.lMessage_Show(message, kWarningIcon); });
  }

  WindowModel& w_;
  AppState& st_;
  const std::string path_;
  int32_t size_ = 0;
  int32_t estimate_a_ = 0;
  int32_t markers_ = 0;  // estimate B
  // Where the counted markers lie, handed to the marker index: a measured analysis pays for the
  // index with one number per marker.
  std::vector<uint32_t> marker_packets_;
  int32_t scanned_packets_ = 0;
  bool whole_file_ = false;
  bool measure_ = false;
};

}  // namespace

void AnalyzeFile(WindowModel& w, AppState& st, const std::string& path) { Analysis(w, st, path).Run(); }

}  // namespace trimora
