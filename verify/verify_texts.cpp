#include "verify/verify_texts.h"

namespace trimora::verify {

std::string VerifyLine(const WrittenCheckResult& result) {
  switch (result.outcome) {
    case WrittenCheck::kMatches:
      return "確かめました：保存したファイルは録画どおりです（時刻マーカー " + std::to_string(result.markers) + " 個）";
    case WrittenCheck::kDiffers:
      return "確かめました：保存したファイルが録画と違います（" + std::to_string(result.at) + " バイト目）";
    case WrittenCheck::kLength:
      return "確かめました：保存したファイルの長さが違います";
    case WrittenCheck::kMarkers:
      return "確かめました：時刻マーカーの数が範囲と合いません（" + std::to_string(result.markers) + " 個）";
    case WrittenCheck::kStopped:
      return "確かめるのをやめました";
    case WrittenCheck::kUnreadable:
      break;
  }
  return "確かめられませんでした：ファイルを読めません";
}

}  // namespace trimora::verify
