// The commands of trimora-cli. Each command is a handler declared here and one row of the
// command table in main.cpp; a handler returns the exit code (cli/exit_status.h) and throws UsageError for a
// command line it cannot use.
#pragma once

#include <string>
#include <vector>

namespace trimora::cli {

using Args = std::vector<std::string>;  // the arguments after the command's name

int RunAnalyze(const Args& args);
int RunCut(const Args& args);
int RunFrame(const Args& args);  // in trimora-frame
int RunScan(const Args& args);   // in trimora-scan
// trimora-cli's frame and scan: replace the process with trimora-frame or trimora-scan, which
// find FFmpeg's libraries, so that every other command starts without them. Return only when the
// program cannot be started.
int StartFrameProgram(const Args& args);
int StartScanProgram(const Args& args);

}  // namespace trimora::cli
