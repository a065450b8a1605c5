// The commands of trimora-cli. Each command is a handler declared here and one row of the
// command table in main.cpp; a handler returns the exit code and throws UsageError for a
// command line it cannot use.
#pragma once

#include <string>
#include <vector>

namespace trimora::cli {

using Args = std::vector<std::string>;  // the arguments after the command's name

// Exit statuses, as --help and the README list them. A stop signal ends a run with its own
// (os::StopSignals::ExitStatus).
inline constexpr int kExitDone = 0;         // analysed; or the whole range was saved
inline constexpr int kExitFailed = 1;       // nothing usable saved, analysis failed, results unwritten
inline constexpr int kExitUsage = 2;        // a command line the command cannot use
inline constexpr int kExitSourceEnded = 3;  // the recording ended before END; what it held is saved

int RunAnalyze(const Args& args);
int RunCut(const Args& args);
int RunFrame(const Args& args);  // in trimora-frame
// trimora-cli's frame: replaces the process with trimora-frame, which finds FFmpeg's libraries,
// so that every other command starts without them. Returns only when it cannot be started.
int StartFrameProgram(const Args& args);

}  // namespace trimora::cli
