#include "app/find_breaks.h"

#include "scan/scan.h"

namespace trimora {

FoundBreaks FindBreaks(const std::string& path, const std::stop_token& stop,
                       const std::function<void(int percent, const char* caption)>& progress) {
  const scan::ScanResult result = scan::ScanRecording(path, stop, [&](int percent) {
    if (progress) progress(percent, scan::kScanningCaption);
  });
  FoundBreaks found;
  found.stopped = result.outcome == scan::ScanOutcome::kCancelled;
  found.problem = scan::ScanOutcomeText(result.outcome);
  if (result.outcome != scan::ScanOutcome::kScanned || !result.clock) return found;
  for (const scan::CutSpan& kept : result.proposal.programme) found.programme.push_back({kept.start, kept.end});
  // A break runs from its first picture to the first picture after it, on the clock's line.
  for (const scan::PtsSpan& cut : result.found.breaks)
    found.breaks.emplace_back(result.clock->ToCutTime(cut.from), result.clock->ToCutTime(cut.to));
  return found;
}

}  // namespace trimora
