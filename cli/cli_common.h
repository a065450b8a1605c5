// What the commands of trimora-cli share: the file slots and stop request of one run, progress
// drawn on the terminal, the command-line parsing, and the analysis with its printed result (the
// first lines of every command that analyses a recording).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <set>
#include <stop_token>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/cut_time.h"
#include "engine/record_file.h"
#include "engine/report.h"
#include "platform/os/stop_signals.h"

namespace trimora::cli {

// A command line the command cannot use: main prints the reason and the usage, exit code 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ParsedArgs {
  std::set<std::string> flags;        // the flags given, as written ("--measure")
  std::vector<std::string> operands;  // everything else, in order
};

// Splits arguments into the known flags and operands; "--" ends the flags. An unknown argument
// starting with "-" (other than "-" itself) is a UsageError.
ParsedArgs ParseArgs(const std::vector<std::string>& args, std::initializer_list<const char*> known_flags);

// A time given as "H:MM:SS" (or "H:MM:SS.fff", thousandths after the marker): three fields split
// at ":", each read as a range box reads its text. Anything but three fields is a UsageError
// "<what> '<text>' is not H:MM:SS"; fields that hold no time are the command's to judge.
struct TimeArg {
  enum class Problem { kNone, kNotANumber, kTooLarge };
  int32_t seconds = 0;
  int32_t millis = 0;
  Problem problem = Problem::kNone;
  CutTime Time() const { return {seconds, millis}; }
};
TimeArg ParseTimeArg(const std::string& text, const char* what);

// The caption and fill of the progress bar of the running stage, redrawn in place on one line of
// a terminal. Draws nothing when the stream is not a terminal.
class TerminalProgress {
 public:
  TerminalProgress(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}
  ~TerminalProgress() { Clear(); }
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  // The bar at `percent` with `caption`; a caption of "-" keeps the one shown.
  void Draw(int percent, const std::string& caption);
  void Clear();  // erases the line, so that what is printed next starts on a clean line
  const std::string& Shown() const { return shown_; }  // the line on the terminal now
  std::function<void()> Drawn;  // called after every Draw

 private:
  std::FILE* out_;
  bool enabled_;
  std::string caption_;
  std::string shown_;
};

// The file slots and the stop request of one command. Progress is drawn on stderr when it is a
// terminal; a stop signal sets the stop request that every packet loop tests.
class Session {
 public:
  Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  StopFlag stop_flag{0};
  SourceFile file1;
  TargetFile file2{&file1};  // writes file1's records straight from its read buffers
  TerminalProgress progress;
  os::StopSignals stop{stop_flag};
};

// Runs `work` (given a stop token) on a thread of its own and waits for it: a stop signal, which
// only sets the session's flag, sets the token, so that a decoding command stops within a packet
// or two of it.
void RunStoppable(Session& s, const std::function<void(const std::stop_token&)>& work);

// The path as the window's dialogs hand it on, absolute: the cut compares source and target
// paths. "" stays "".
std::string FullPath(const std::string& path);

// Analyses `path` as a choice in the window would (its length measured when `measure`), then
// prints the four analysis values and the analysis message, if any, one per line.
AnalysisResult AnalyzeAndPrint(Session& s, const std::string& path, bool measure, std::ostream& out);

}  // namespace trimora::cli
