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

}  // namespace trimora::range_texts
