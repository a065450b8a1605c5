// What the window and the command line show for a scan that found nothing: one text per outcome.
#include "scan/scan.h"

namespace trimora::scan {

const char* ScanOutcomeText(ScanOutcome outcome) {
  switch (outcome) {
    case ScanOutcome::kScanned:
    case ScanOutcome::kCancelled: return "";
    case ScanOutcome::kNoVideo: return "映像がありません。";  // as the pictures say it
    case ScanOutcome::kNoSound: return "音声が見つからないため、CMを探せません。";
    case ScanOutcome::kCannotRead: return "ファイルを読み取れません。";  // as the analysis says it
  }
  return "";
}

}  // namespace trimora::scan
