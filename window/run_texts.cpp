// The stages and ends of the runs in the panels' words.
#include "window/run_texts.h"

#include "core/time_values.h"

namespace trimora {

std::optional<BarStep> AnalysisStageBar(AnalysisStage stage) {
  using namespace analysis_texts;
  switch (stage) {
    case AnalysisStage::Open:
      return BarStep{0, kOpening};
    case AnalysisStage::Size:
      return BarStep{20, kSizing};
    case AnalysisStage::Format:
      return BarStep{40, kChecking};
    case AnalysisStage::Length:
      return BarStep{60, kLength};
    case AnalysisStage::Find:
    case AnalysisStage::Measure:  // the count shows itself by its percentages
      break;
  }
  return std::nullopt;
}

int32_t MeasuringBar(int32_t percent) { return static_cast<int32_t>(RoundHalfEven(percent / 5.0 + 60)); }

std::string MeasuringCaption(int32_t percent) {
  return "データの長さを調べています. " + std::to_string(percent) + "%... (4/5)";
}

// A count of no marker at all: no time can be cut, whatever the estimate says.
const char* AnalysisNotice(const AnalysisResult& result) {
  using namespace analysis_texts;
  if (result.measured && *result.measured == 0) return kNoMarkers;
  return result.LengthsDiffer() ? kLengthsDiffer : "";
}

const char* AnalysisFailureText(const AnalysisResult& result) {
  using namespace analysis_texts;
  switch (result.failure) {
    case AnalysisFailure::None:
      return "";
    case AnalysisFailure::NotFound:
      return kNotFound;
    case AnalysisFailure::TooLarge:
      return kTooLarge;
    case AnalysisFailure::NoSync:
      return kUnknownFormat;
    case AnalysisFailure::Error:
      break;
  }
  switch (result.stage) {
    case AnalysisStage::Find:
    case AnalysisStage::Open:
      return kCannotRead;
    case AnalysisStage::Size:
      return kSizeUnreadable;
    case AnalysisStage::Format:
      return kUnknownFormat;
    case AnalysisStage::Length:
      return kEstimateFailed;
    case AnalysisStage::Measure:
      return kMeasureFailed;
  }
  return kCannotRead;
}

std::string DataFormatText(DataFormat format) {
  using namespace analysis_texts;
  switch (format) {
    case DataFormat::None:
      return "";
    case DataFormat::TransportStream:
      return kTransportStream;
    case DataFormat::Unknown:
      return kUnknown;
    case DataFormat::Damaged:
      return kDamaged;
  }
  return "";
}

std::string FileSizeText(int32_t bytes) { return FormatGrouped(bytes / 1024.0) + " KB"; }

AnalysisValues AnalysisValuesOf(const AnalysisResult& result) {
  AnalysisValues v;
  v.data_format = DataFormatText(result.format);
  if (result.size) v.file_size = FileSizeText(*result.size);
  if (result.estimate) v.time_a = SecToTime(*result.estimate);
  if (result.measured) {
    v.time_b = SecToTime(*result.measured);
  } else if (result.estimate) {
    v.time_b = analysis_texts::kNotMeasured;
  }
  return v;
}

BarStep CutStageBar(CutStage stage) {
  using namespace cut_texts;
  switch (stage) {
    case CutStage::OpenSource:
      return {0, kOpening};
    case CutStage::OpenTarget:
      return {17, kOpening};
    case CutStage::Seek:
      return {33, kSeeking};
    case CutStage::Copy:
      break;
  }
  return {66, kWriting};
}

CutEndShown CutEndText(const CutResult& result) {
  using namespace cut_texts;
  switch (result.outcome) {
    case CutOutcome::Completed:
      return {true, kCompleted};
    case CutOutcome::SourceEnded:
      return {true, kSourceEnded};
    case CutOutcome::PacketError:
      return {false, SecToTime(result.packet_error_second) + kPacketError};
    case CutOutcome::StartBeyondEnd:
      return {false, kStartBeyondEnd};
    case CutOutcome::Refused:
      return {false, kRefused};
    case CutOutcome::NotClean:
      return {false, result.refusal ? result.refusal : kSeekFailed};
    case CutOutcome::Failed:
      break;
  }
  switch (result.stage) {
    case CutStage::OpenSource:
      return {false, kSourceFailed};
    case CutStage::OpenTarget:
      return {false, kTargetFailed};
    case CutStage::Seek:
      return {false, kSeekFailed};
    case CutStage::Copy:
      break;
  }
  return {false, kCopyFailed};
}

}  // namespace trimora
