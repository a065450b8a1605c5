// trimora-cli scan [--format list|edl] FILE: the programme's ranges that the search for breaks
// proposes, in the --ranges form that cut reads (one "START END" a line), or the breaks to drop
// in the EDL form of Kodi and comskip.
#include <cstdio>
#include <iostream>
#include <stop_token>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "ranges/list_forms.h"
#include "ranges/range_list.h"
#include "scan/scan.h"

namespace trimora::cli {

namespace {

enum class ScanForm { kRanges, kEdl };

struct ScanArgs {
  std::string file;
  ScanForm form = ScanForm::kRanges;
};

// "--format FORM" or "--format=FORM" anywhere before "--"; ParseArgs takes only bare flags.
ScanArgs ParseScanArgs(Args args) {
  ScanArgs parsed;
  for (std::size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
    std::string form;
    if (args[i] == "--format") {
      if (i + 1 >= args.size()) throw UsageError("--format needs list or edl");
      form = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    } else if (args[i].rfind("--format=", 0) == 0) {
      form = args[i].substr(9);
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      continue;
    }
    if (form == "edl") parsed.form = ScanForm::kEdl;
    else if (form != "list") throw UsageError("--format '" + form + "' is neither list nor edl");
    --i;
  }
  const ParsedArgs rest = ParseArgs(args, {});
  if (rest.operands.size() != 1) throw UsageError("FILE is needed, and only FILE");
  if (rest.operands[0].empty()) throw UsageError("FILE is empty");
  parsed.file = rest.operands[0];
  return parsed;
}

// The scan stops at a stop signal; only the scanning thread draws the progress.
scan::ScanResult Scan(Session& s, const std::string& path) {
  scan::ScanResult result;
  RunStoppable(s, [&](const std::stop_token& stop) {
    result = scan::ScanRecording(path, stop, [&](int percent) { s.progress.Draw(percent, scan::kScanningCaption); });
  });
  s.progress.Clear();
  return result;
}

std::vector<KeptRange> Programme(const scan::Proposal& p) {
  std::vector<KeptRange> ranges;
  for (const scan::CutSpan& c : p.programme) ranges.push_back({c.start, c.end});
  return ranges;
}

// What the search would drop, as commercial breaks (action 3: players skip them, comskip's
// readers drop them), up to the last marker, where the programme's last range ends.
std::string EdlText(const scan::ScanResult& r) {
  return WriteEdl(Programme(r.proposal), *r.clock, CutTime(r.clock->Markers()), EdlAction::kCommercialBreak);
}

}  // namespace

int RunScan(const Args& args) {
  const ScanArgs parsed = ParseScanArgs(args);
  Session s;
  const scan::ScanResult result = Scan(s, FullPath(parsed.file));
  if (s.stop.Received()) return s.stop.ExitStatus();
  if (result.outcome != scan::ScanOutcome::kScanned) {
    std::cout << scan::ScanOutcomeText(result.outcome) << std::endl;
    return ExitStatus(Outcome::kFailed);
  }
  std::cout << (parsed.form == ScanForm::kEdl ? EdlText(result) : WriteRangeList(Programme(result.proposal))) << std::flush;
  return ExitStatus(Outcome::kDone);
}

}  // namespace trimora::cli
