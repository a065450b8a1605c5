// The captions and messages of the cut panel, for every module that shows or reads them: the
// command line tells a finished cut by its final caption.
#pragma once

namespace trimora::cut_texts {

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

}  // namespace trimora::cut_texts
