// The commands of trimora-cli. Each command is a handler declared here and one row of the
// command table in main.cpp; a handler returns the exit code (cli/exit_status.h) and throws UsageError for a
// command line it cannot use.
#pragma once

#include <string>
#include <vector>

#include "verify/decode_check.h"

namespace trimora::cli {

using Args = std::vector<std::string>;  // the arguments after the command's name

int RunAnalyze(const Args& args);
int RunCut(const Args& args);
// The cut command with `decode` for the check after a save (none: its bytes only), and whether
// the arguments ask for that check (--verify before any "--").
int RunCutWith(const Args& args, const verify::DecodeChecker& decode);
bool AsksToVerify(const Args& args);
int RunFrame(const Args& args);  // in trimora-frame
int RunScan(const Args& args);   // in trimora-scan
// trimora-cli's frame and scan: replace the process with trimora-frame or trimora-scan, which
// find FFmpeg's libraries, so that every other command starts without them. Return only when the
// program cannot be started.
int StartFrameProgram(const Args& args);
int StartScanProgram(const Args& args);
// trimora-cli cut --verify: trimora-cut, the cut with the decoding of a clean file after it.
int StartCutProgram(const Args& args);

}  // namespace trimora::cli
