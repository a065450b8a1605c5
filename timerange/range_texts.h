// The messages of the range entry on the cut panel, for every module that shows or reads them.
#pragma once

namespace trimora::range_texts {

// Six boxes that do not convert to two times; Save shows it too.
inline constexpr const char* kEntryError = "指定が正しくありません。";
inline constexpr const char* kStartBelowZero = "開始は0:00:00以上で指定して下さい。";
inline constexpr const char* kEndBeforeStart = "終了位置が開始位置より前です。";
// The end past the recording: the two parts around its length as H:MM:SS.
inline constexpr const char* kEndPastLengthHead = "終了は";
inline constexpr const char* kEndPastLengthTail = "以下で指定して下さい。";

// The preview panel's exact size of the cut, in the pattern of the estimated size.
inline constexpr const char* kCutSizeCaption = "切り出しサイズ：";
inline constexpr const char* kCutSizeWorking = "切り出しサイズ：調べています…";
inline constexpr const char* kStartPastMarkers = "開始位置が録画の末尾を越えています。";
inline constexpr const char* kEndPastMarkers = "終了位置が録画の末尾を越えています。";
inline constexpr const char* kCutSizeUnreadable = "切り出しサイズ：ファイルを読み取れません。";
inline constexpr const char* kNotClean = "切り出しサイズ：きれいに切れません。";
// After the clean cut's size: how far its video starts after the start marker, "+0.43秒".
inline constexpr const char* kVideoStartHead = "（映像開始 +";
inline constexpr const char* kVideoStartTail = "秒）";

}  // namespace trimora::range_texts
