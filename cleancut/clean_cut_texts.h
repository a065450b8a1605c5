// Why a clean cut was refused, in the program's words, for every module that shows it. Short
// enough for the cut panel's message line.
#pragma once

#include "cleancut/clean_cut.h"

namespace trimora::cleancut {

inline constexpr const char* kNoRandomAccessText = "開始位置から5秒以内にキー画像がありません。";
inline constexpr const char* kNoProgramTablesText = "番組情報（PAT/PMT）が見つかりません。";
inline constexpr const char* kUnreadableText = "編集元ファイルが読み取れません。";

// The reason for a refusal; nothing (nullptr) for a plan or a stopped run, which say nothing.
inline const char* RefusalText(CleanCutOutcome outcome) {
  switch (outcome) {
    case CleanCutOutcome::kNoRandomAccess: return kNoRandomAccessText;
    case CleanCutOutcome::kNoProgramTables: return kNoProgramTablesText;
    case CleanCutOutcome::kUnreadable: return kUnreadableText;
    case CleanCutOutcome::kPlanned:
    case CleanCutOutcome::kStopped: break;
  }
  return nullptr;
}

}  // namespace trimora::cleancut
