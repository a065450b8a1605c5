// What trimora-cli and trimora-frame share around a command: its row of usage texts, the usage and
// exit statuses printed, the run that turns a thrown reason into a status, and the final check
// that the results reached stdout. trimora-frame is trimora-cli's frame command in a program of
// its own, so that only it loads FFmpeg's libraries.
#pragma once

#include <ostream>

#include "cli/commands.h"

namespace trimora::cli {

inline constexpr const char* kProgram = "trimora-cli";

struct Command {
  const char* name;
  const char* usage;    // the arguments after the command's name
  const char* summary;  // one line for the overall help
  int (*run)(const Args& args);
};

inline constexpr const char* kCutUsage =
    "[--measure] [--clean] [--verify] [--chapters FILE] FILE START END [START END]... TARGET  |\n"
    "      [--measure] [--clean] [--verify] [--chapters FILE] --ranges LIST FILE TARGET";
inline constexpr const char* kCutSummary =
    "save the part of a recording from START to END (H:MM:SS) as TARGET (--clean: from a key picture, every\n"
    "      stream's packets whole); several ranges (or a LIST file of \"START END\" lines, - for stdin) are saved\n"
    "      one after another into TARGET. LIST may also be AviSynth Trim lines, an EDL (what to drop) or a\n"
    "      LosslessCut CSV; --chapters writes where each range begins in TARGET as OGM chapters; --verify\n"
    "      re-reads TARGET once saved against the recording and prints whether it is as the cut wrote it\n"
    "      (and, for a clean TARGET, whether FFmpeg decodes it where its ranges meet and at its ends)";

inline constexpr const char* kFrameUsage = "[--measure] [--end] [--clean] FILE TIME OUT.png";
inline constexpr const char* kFrameSummary =
    "save the picture a cut from TIME (H:MM:SS) begins with as OUT.png (--end: the one a cut up to TIME ends with; "
    "--clean: of the clean cut)";

inline constexpr const char* kScanUsage = "[--format list|edl] FILE";
inline constexpr const char* kScanSummary =
    "find the commercial breaks and print the programme's ranges as \"START END\" lines, the LIST that cut --ranges\n"
    "      reads (--format edl: the breaks to drop, \"start end 3\" lines in seconds from the first picture)";

void PrintExitStatuses(std::ostream& out);
void PrintUsage(std::ostream& out, const Command& c);

// Whether the arguments ask for the command's usage ("--help" or "-h" before any "--").
bool AsksForHelp(const Args& args);

// Runs the command: a UsageError prints the reason and the usage (status 2), another failure the
// reason (status 1).
int RunCommand(const Command& command, const Args& args);

// The main of a program that runs one command of trimora-cli's (trimora-frame, trimora-scan):
// its usage on --help, else the command, with the final status.
int RunOnlyCommand(const Command& command, int argc, char** argv);

// The status to exit with once everything is printed: a failure when the results did not reach
// stdout, unless a stop signal is the reason.
int FinalStatus(int status);

}  // namespace trimora::cli
