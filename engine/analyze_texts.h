// The messages the analysis ends with on the analysis panel, for every module that shows or
// reads them.
#pragma once

namespace trimora::analysis_texts {

inline constexpr const char* kNotFound = "ファイルが見つかりません。";
inline constexpr const char* kCannotRead = "ファイルを読み取れません。";
inline constexpr const char* kTooLarge = "ファイルサイズが2GBを超えています。";
inline constexpr const char* kSizeUnreadable = "ファイルサイズが読み取れません。";
inline constexpr const char* kUnknownFormat = "データ形式を認識できません。";
inline constexpr const char* kEstimateFailed = "記録時間（推定A）を計算出来ません。。";
inline constexpr const char* kMeasureFailed = "記録時間（推定B）データを読み取れません。";
inline constexpr const char* kLengthsDiffer = "編集時注意：推定した記録時間に差があります。";

}  // namespace trimora::analysis_texts
