// How the analysis and the cut tell their caller what they are doing and how they ended. The
// engine shows nothing: whoever starts a run (the window, the command line, a test) hands it a
// report and puts what it hears on its own face. A report may throw, as a window's event
// processing can: the run then fails in the stage in progress, as if its own file work had failed,
// and Ended hears that failure instead. What Ended throws on hearing a failure or a refusal is
// dropped: nothing is left to fail.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace trimora {

class MarkerIndex;

// 1 once the run is to stop: the window's close request, or a stop signal on any thread. Every
// packet loop tests it.
using StopFlag = std::atomic<uint8_t>;

// The calls every run makes: each stage as it begins, the progress of its long loop, and once at
// the very end how it ended.
template <typename Stage, typename Result>
class RunReport {
 public:
  virtual ~RunReport() = default;
  virtual void StageBegun(Stage stage) = 0;
  virtual void Percent(int32_t percent) = 0;
  // How the run ended, once; each run says when that is against the closing of its files.
  virtual void Ended(const Result& result) = 0;
};

// --- The analysis --------------------------------------------------------------------------

// The stages of an analysis, each answering for its own failures. Find is the existence test.
// The length stage is begun (shown) at the end of the format check, which still answers for a
// failure there; Measure runs only when the length is to be measured.
enum class AnalysisStage { Find, Open, Size, Format, Length, Measure };

// What a failure was, beyond the stage it happened in.
enum class AnalysisFailure {
  None,
  NotFound,  // no ordinary file at the path (stage Find)
  Error,     // a file operation, a 32-bit overflow, or the report itself failed
  TooLarge,  // 2 GiB or more: the size does not fit 32 bits (stage Size)
  NoSync,    // a record without the sync byte: the first (stage Format) or one while measuring
};

// What the first bytes say the file is: nothing read yet, a transport stream, not one (the first
// byte), or one with a damaged record found while measuring.
enum class DataFormat { None, TransportStream, Unknown, Damaged };

struct AnalysisResult {
  AnalysisFailure failure = AnalysisFailure::None;
  AnalysisStage stage = AnalysisStage::Find;  // the stage that failed, or the last one run
  std::optional<int32_t> size;                // bytes, once read
  DataFormat format = DataFormat::None;
  std::optional<int32_t> estimate;            // estimate A: seconds by the byte rate
  std::optional<int32_t> measured;            // estimate B: the time markers counted, once counted
  bool stopped = false;                       // the count ended at a stop request
  // Where the markers of the recording lie, for the pictures at the cut points: what the count
  // found, or an empty index of the path. Set on success.
  std::shared_ptr<MarkerIndex> markers;

  bool Succeeded() const { return failure == AnalysisFailure::None; }
  // The recording's length: the count when measured, else the estimate.
  int32_t TotalSeconds() const { return measured ? *measured : estimate.value_or(0); }
  // Whether the count disagrees with the estimate, which the user should know before cutting.
  bool LengthsDiffer() const { return measured && *measured != 0 && *measured != estimate.value_or(0); }
};

// Besides the common calls, each fact as soon as it is known; the Percent of an analysis is the
// share of the file measured so far, told once per whole percentage from 1 on.
class AnalysisReport : public RunReport<AnalysisStage, AnalysisResult> {
 public:
  virtual void SizeKnown(int32_t /*bytes*/) {}
  virtual void FormatKnown(DataFormat /*format*/) {}
  virtual void EstimateKnown(int32_t /*seconds*/) {}
  virtual void MeasuredKnown(int32_t /*markers*/) {}
};

// --- The cut -------------------------------------------------------------------------------

enum class CutStage { OpenSource, OpenTarget, Seek, Copy };

enum class CutOutcome {
  Completed,    // the end-th marker copied, or stopped on request
  SourceEnded,  // the source ended during the copy
  // The source ended before the start-th marker: nothing was written, and the empty target this
  // run created is gone again.
  StartBeyondEnd,
  PacketError,  // the hundredth damaged packet, written like the others
  Refused,      // the target is the source
  Failed,       // a file operation failed in `stage`
  NotClean,     // a clean cut found no start it could make there: `refusal` says why; no target is left
};

// What a cut wrote, in order: runs of the source's bytes, each as it stands or with the header
// fields of one join moved (cleancut::ClockShift by `ticks[join]` and `key_dts[join]`, one shift
// per join, applied to its runs in order); with `counters_run_on`, every run then passes through
// one cleancut::ContinuityCounters, in order. Bytes past the source's end were written as zero
// records. Whatever re-reads the target against its source reads it against this.
struct WrittenRun {
  int64_t offset = 0;  // in the source
  int64_t length = 0;
  int32_t join = -1;   // -1: the bytes as they are
};

// The decoding time a join gives the key picture of the video on `video_pid` (-1: none).
struct KeyDts {
  uint16_t video_pid = 0;
  int64_t dts = -1;
};

struct WrittenPlan {
  std::vector<WrittenRun> runs;
  std::vector<int64_t> ticks;     // each join's offset on the 33-bit clock
  std::vector<KeyDts> key_dts;    // and each join's key picture's DTS
  bool clean = false;             // each range begins at a key picture and ends with its PES whole
  bool counters_run_on = false;   // a clean job of two or more ranges: the counters run on
};

struct CutResult {
  CutOutcome outcome = CutOutcome::Completed;
  CutStage stage = CutStage::OpenSource;  // where it ended
  int32_t packet_error_second = 0;        // at a packet error: the time written so far
  int64_t packets_written = 0;
  bool stopped = false;                   // ended at a stop request
  const char* refusal = nullptr;          // NotClean: the reason, in the program's words
  int32_t part = 0;                       // a job of several ranges: the one it ended in (from 0)
  std::shared_ptr<const WrittenPlan> plan;  // what was written, once the target is written
};

// The Percent of a cut is the share of the whole run: 33 to 66 while seeking, 66 to 99 while
// copying, told at every tenth marker.
using CutReport = RunReport<CutStage, CutResult>;

}  // namespace trimora
