// What the analysis and cut panels say at each stage and end of a run, in the program's own words:
// the one place these texts live, for the window's runs and for the command line, which prints them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/report.h"

namespace trimora {

namespace analysis_texts {

// The captions of the four value labels of the analysis panel.
inline constexpr const char* kDataTypeCaption = "データ形式：";
inline constexpr const char* kFileSizeCaption = "ファイルサイズ：";
inline constexpr const char* kTimeACaption = "記録時間（推定A）：";
inline constexpr const char* kTimeBCaption = "記録時間（推定B）：";

inline constexpr const char* kNotFound = "ファイルが見つかりません。";
inline constexpr const char* kCannotRead = "ファイルを読み取れません。";
inline constexpr const char* kTooLarge = "ファイルサイズが2GBを超えています。";
inline constexpr const char* kSizeUnreadable = "ファイルサイズが読み取れません。";
inline constexpr const char* kUnknownFormat = "データ形式を認識できません。";
inline constexpr const char* kEstimateFailed = "記録時間（推定A）を計算出来ません。。";
inline constexpr const char* kMeasureFailed = "記録時間（推定B）データを読み取れません。";
inline constexpr const char* kLengthsDiffer = "編集時注意：推定した記録時間に差があります。";
inline constexpr const char* kNoMarkers = "編集時注意：1秒間隔の放送情報データが見つかりません。時間を指定して切り出せません。";

// Captions of the progress bar. Stage 5 carries the number of stage 4.
inline constexpr const char* kOpening = "ファイルを開いています... (1/5)";
inline constexpr const char* kSizing = "ファイルを調べています... (2/5)";
inline constexpr const char* kChecking = "データを調べています... (3/5)";
inline constexpr const char* kLength = "データの長さを調べています... (4/5)";
inline constexpr const char* kInitialising = "初期化しています... (4/5)";
inline constexpr int32_t kInitialisingBar = 80;

// Values of the data-format label; the length label while only the estimate is known.
inline constexpr const char* kTransportStream = "正常(TS)";
inline constexpr const char* kUnknown = "不明";
inline constexpr const char* kDamaged = "破損";
inline constexpr const char* kNotMeasured = "--";

}  // namespace analysis_texts

namespace cut_texts {

// Captions of the progress bar: the three stages, then how the copy ended.
inline constexpr const char* kOpening = "ファイルを開いています... (1/3)";
inline constexpr const char* kSeeking = "開始位置を調べています... (2/3)";
inline constexpr const char* kWriting = "書き込んでいます... (3/3)";
inline constexpr const char* kCompleted = "書き込みが完了しました。";
inline constexpr const char* kSourceEnded = "末尾に達したため書き込みを終了しました。";

// Messages of a cut that failed.
inline constexpr const char* kRefused = "編集元ファイルには上書き出来ません。";
inline constexpr const char* kSourceFailed = "編集元ファイルが開けません。";
inline constexpr const char* kTargetFailed = "保存先ファイルが開けません。";
inline constexpr const char* kSeekFailed = "編集元ファイルが読み取れません。";
inline constexpr const char* kCopyFailed = "ファイルの読み書きに失敗しました。";
inline constexpr const char* kPacketError = "でパケットエラー";  // after the time written so far
// A start past the recording's last time marker: nothing to save.
inline constexpr const char* kStartBeyondEnd = "開始位置が録画の末尾を越えています。";

}  // namespace cut_texts

// What a progress bar shows: its fill in per cent and its caption.
struct BarStep {
  int32_t percent;
  const char* caption;
};

// The bar of an analysis stage as it begins; nothing for a stage that is not shown.
std::optional<BarStep> AnalysisStageBar(AnalysisStage stage);
// While measuring, at `percent` of the file: the bar runs from 60 to 80, the caption counts.
int32_t MeasuringBar(int32_t percent);
std::string MeasuringCaption(int32_t percent);
// The message a failed analysis ends with.
const char* AnalysisFailureText(const AnalysisResult& result);
// What a user should know before cutting a recording that was analysed, or "".
const char* AnalysisNotice(const AnalysisResult& result);

// The values of the analysis panel's labels: the data format, the size in KB, the two lengths
// (the measured one "--" while only the estimate is known), each "" until the run gets there.
std::string DataFormatText(DataFormat format);
std::string FileSizeText(int32_t bytes);
struct AnalysisValues {
  std::string data_format, file_size, time_a, time_b;
};
AnalysisValues AnalysisValuesOf(const AnalysisResult& result);

// The bar of a cut stage as it begins.
BarStep CutStageBar(CutStage stage);
// How a cut ended: on the bar (at 100) when `on_bar`, else as a message with the warning icon.
struct CutEndShown {
  bool on_bar;
  std::string text;
};
CutEndShown CutEndText(const CutResult& result);

}  // namespace trimora
