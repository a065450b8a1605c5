// trimora-cli analyze [--measure] FILE: the analysis of Step 2, printed.
#include <iostream>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/exit_status.h"

namespace trimora::cli {

int RunAnalyze(const Args& args) {
  const ParsedArgs parsed = ParseArgs(args, {"--measure"});
  if (parsed.operands.size() != 1) throw UsageError(parsed.operands.empty() ? "no FILE given" : "more than one FILE");
  if (parsed.operands[0].empty()) throw UsageError("FILE is empty");
  Session session;
  const AnalysisResult result =
      AnalyzeAndPrint(session, parsed.operands[0], parsed.flags.count("--measure") > 0, std::cout);
  if (session.stop.Received()) return session.stop.ExitStatus();
  return ExitStatus(OutcomeOf(result));
}

}  // namespace trimora::cli
