// The analysis of one recording in five stages. A stage that fails ends the run; what earlier
// stages found stays in the result.
#include "engine/analyze.h"

#include <climits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "core/time_values.h"
#include "core/ts_packet.h"
#include "engine/marker_index.h"
#include "platform/os/os.h"

namespace trimora {

namespace {

constexpr int32_t kMarkersPerProgressCheck = 10;

// A failure that is more than its stage's: a file too large for the 32-bit size, or a packet
// without its sync byte.
struct StageFailure : std::runtime_error {
  explicit StageFailure(AnalysisFailure kind) : std::runtime_error("analysis failed"), kind(kind) {}
  AnalysisFailure kind;
};

int32_t AddChecked(int32_t a, int32_t b) {
  int32_t sum;
  if (__builtin_add_overflow(a, b, &sum)) throw std::overflow_error("32-bit overflow");
  return sum;
}

class Analysis {
 public:
  // The path is copied: the caller's text (a box, a list entry) may change while the report runs.
  Analysis(std::string path, const std::function<bool()>& measure, SourceFile& file, const StopFlag& stop,
           AnalysisReport& report)
      : path_(std::move(path)), measure_asked_(measure), file_(file), stop_(stop), report_(report) {}

  AnalysisResult Run() {
    if (!os::OrdinaryFileExists(path_)) {
      // Nothing has been opened, so nothing is closed.
      r_.failure = AnalysisFailure::NotFound;
      Tell(r_);
      return r_;
    }
    if (!RunStage(AnalysisStage::Open, &Analysis::OpenFile)) return r_;
    if (!RunStage(AnalysisStage::Size, &Analysis::ReadFileSize)) return r_;
    if (!RunStage(AnalysisStage::Format, &Analysis::CheckDataFormat)) return r_;
    if (!RunStage(AnalysisStage::Length, &Analysis::EstimateLength)) return r_;
    if (measure_ && !RunStage(AnalysisStage::Measure, &Analysis::MeasureLength)) return r_;
    file_.Close();
    r_.markers = measure_ ? std::make_shared<MarkerIndex>(path_, std::move(marker_packets_), scanned_packets_, whole_file_)
                          : std::make_shared<MarkerIndex>(path_);
    // What the caller does with a success is the last part of the run: when that fails, the run
    // fails with the stage that produced the length.
    try {
      report_.Ended(r_);
    } catch (const std::exception&) {
      Fail(AnalysisFailure::Error);
      r_.markers.reset();
    }
    return r_;
  }

 private:
  void OpenFile() {
    report_.StageBegun(AnalysisStage::Open);
    file_.Open(path_);
  }

  void ReadFileSize() {
    report_.StageBegun(AnalysisStage::Size);
    const int64_t bytes = file_.Size();
    if (bytes > INT32_MAX) throw StageFailure(AnalysisFailure::TooLarge);
    size_ = static_cast<int32_t>(bytes);
    r_.size = size_;
    report_.SizeKnown(size_);
  }

  void CheckDataFormat() {
    report_.StageBegun(AnalysisStage::Format);
    uint8_t head[kHeadSize];
    file_.ReadHead(head);
    if (!ts_has_sync(head)) {
      ShowFormat(DataFormat::Unknown);
      throw StageFailure(AnalysisFailure::NoSync);
    }
    ShowFormat(DataFormat::TransportStream);
    report_.StageBegun(AnalysisStage::Length);
  }

  void EstimateLength() {
    estimate_a_ = static_cast<int32_t>(RoundHalfEven(size_ / kBytesPerSecond));
    r_.estimate = estimate_a_;
    report_.EstimateKnown(estimate_a_);
    measure_ = measure_asked_ && measure_asked_();
  }

  // Counts the time markers, reading only the head of each record. Progress is told (and the
  // window gets its events) only when the whole percentage changes, at most once per per cent.
  void MeasureLength() {
    report_.StageBegun(AnalysisStage::Measure);
    file_.Rewind();
    int32_t position = 0;
    int32_t last_percent = 0;
    for (;;) {
      const uint8_t* head = file_.ReadRecordInPlace();
      if (TimeMarkerPacket(head)) {
        markers_ = AddChecked(markers_, 1);
        marker_packets_.push_back(static_cast<uint32_t>(position / static_cast<int32_t>(kPacketSize)));
        if (markers_ % kMarkersPerProgressCheck == 0) TellMeasuringProgress(position, last_percent);
      }
      if (!ts_has_sync(head)) {
        // A partial last record, or whatever lies past the end of the data, ends up here too.
        ShowFormat(DataFormat::Damaged);
        throw StageFailure(AnalysisFailure::NoSync);
      }
      position = AddChecked(position, static_cast<int32_t>(kPacketSize));
      if (stop_ != 0 || position == size_) break;
    }
    scanned_packets_ = position / static_cast<int32_t>(kPacketSize);
    whole_file_ = position == size_;
    r_.stopped = !whole_file_;
    r_.measured = markers_;
    report_.MeasuredKnown(markers_);
  }

  void TellMeasuringProgress(int32_t position, int32_t& last_percent) {
    const auto percent = static_cast<int32_t>(RoundHalfEven(static_cast<double>(position) / size_ * 100));
    if (percent == last_percent) return;
    last_percent = percent;
    report_.Percent(percent);
  }

  void ShowFormat(DataFormat format) {
    r_.format = format;
    report_.FormatKnown(format);
  }

  // Runs one stage; a failure is told, then slot 1 is closed and the run ends.
  bool RunStage(AnalysisStage stage, void (Analysis::*step)()) {
    r_.stage = stage;
    try {
      (this->*step)();
      return true;
    } catch (const StageFailure& failure) {
      Fail(failure.kind);
    } catch (const std::exception&) {
      Fail(AnalysisFailure::Error);
    }
    file_.Close();
    return false;
  }

  void Fail(AnalysisFailure kind) {
    r_.failure = kind;
    Tell(r_);
  }

  void Tell(const AnalysisResult& result) noexcept {
    try {
      report_.Ended(result);
    } catch (const std::exception&) {
    }
  }

  const std::string path_;
  const std::function<bool()>& measure_asked_;
  SourceFile& file_;
  const StopFlag& stop_;
  AnalysisReport& report_;
  AnalysisResult r_;
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

AnalysisResult AnalyzeRecording(const std::string& path, const std::function<bool()>& measure, SourceFile& file1,
                                const StopFlag& stop, AnalysisReport& report) {
  return Analysis(path, measure, file1, stop, report).Run();
}

}  // namespace trimora
