// The exit statuses of trimora-cli: how a command ended, and the one table that turns that into
// a status, shared by every command. --help and the README list the same statuses. A stop signal
// ends a run with the signal's own status instead (os::StopSignals::ExitStatus).
#pragma once

#include "engine/report.h"

namespace trimora::cli {

enum class Outcome {
  kDone,         // analyze: analysed; cut: the whole range saved; frame: the picture written;
                 // scan: the breaks looked for and the ranges printed
  kPartlySaved,  // cut: the recording ended before END; what it held is saved
  kFailed,       // nothing usable saved, the analysis or the scan failed, the results could not be
                 // written, or cut --verify found the saved file not as the cut wrote it
  kUsage,        // the command line could not be used
};

struct ExitRow {
  Outcome outcome;
  int status;
};

inline constexpr ExitRow kExitTable[] = {
    {Outcome::kDone, 0},
    {Outcome::kPartlySaved, 3},
    {Outcome::kFailed, 1},
    {Outcome::kUsage, 2},
};

constexpr int ExitStatus(Outcome outcome) {
  for (const ExitRow& row : kExitTable)
    if (row.outcome == outcome) return row.status;
  return 1;
}

inline Outcome OutcomeOf(const AnalysisResult& result) {
  return result.Succeeded() ? Outcome::kDone : Outcome::kFailed;
}

// A source that ended before END leaves a usable part; one that ended before START left nothing.
inline Outcome OutcomeOf(const CutResult& result) {
  switch (result.outcome) {
    case CutOutcome::Completed:
      return Outcome::kDone;
    case CutOutcome::SourceEnded:
      return Outcome::kPartlySaved;
    case CutOutcome::StartBeyondEnd:
    case CutOutcome::PacketError:
    case CutOutcome::Refused:
    case CutOutcome::NotClean:
    case CutOutcome::Failed:
      break;
  }
  return Outcome::kFailed;
}

}  // namespace trimora::cli
