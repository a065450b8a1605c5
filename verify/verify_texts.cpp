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

namespace trimora::verify {

std::string SavedCheckLine(const SavedCheck& checked) {
  if (!checked.decoded || checked.written.outcome != WrittenCheck::kMatches) return VerifyLine(checked.written);
  const DecodeCheckResult& d = *checked.decoded;
  switch (d.outcome) {
    // The verdict comes first: where the line is cut short, that much still shows.
    case DecodeCheck::kDecodes:
      return "確かめました：録画どおりで、デコードもできます（つなぎ目と両端 " + std::to_string(d.places) +
             " か所、時刻マーカー " + std::to_string(checked.written.markers) + " 個）";
    case DecodeCheck::kError:
      return "確かめました：デコードできない所があります（保存したファイルの " + std::to_string(d.at) + " バイト目のあたり）";
    case DecodeCheck::kClock:
      return "確かめました：絵の時刻が続いていない所があります（保存したファイルの " + std::to_string(d.at) +
             " バイト目のあたり）";
    case DecodeCheck::kStopped:
      return "確かめるのをやめました";
    case DecodeCheck::kUnreadable:
      break;
  }
  return "確かめられませんでした：保存したファイルをデコードできません";
}

}  // namespace trimora::verify
