// What the commands of trimora-cli share: a headless session of the window model and program
// state, progress drawn on the terminal, the command-line parsing, and the analysis with its
// printed result (the first lines of every command that analyses a recording).
#pragma once

#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/app_state.h"
#include "platform/os/stop_signals.h"
#include "window/model.h"

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

// The caption and fill of whichever status panel shows its bar, redrawn in place on one line of
// a terminal. Draws nothing when the stream is not a terminal.
class TerminalProgress {
 public:
  TerminalProgress(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}
  ~TerminalProgress() { Clear(); }
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  void Draw(const WindowModel& w);
  void Clear();  // erases the line, so that what is printed next starts on a clean line
  const std::string& Shown() const { return shown_; }  // the line on the terminal now

 private:
  std::FILE* out_;
  bool enabled_;
  std::string shown_;
};

// The window model and program state of one command, as the desktop window holds them. Panel
// operations draw their progress on stderr when it is a terminal.
class Session {
 public:
  Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  WindowModel w;
  AppState st;
  TerminalProgress progress;
  os::StopSignals stop{st.iExitFlag};
};

// Analyses `path` as a choice in the window would (cTimeB ticked when `measure`), then prints the
// four analysis values and the analysis message, if any, one per line. True when the analysis
// succeeded, that is when Step 3 of the window is enabled.
bool AnalyzeAndPrint(Session& s, const std::string& path, bool measure, std::ostream& out);

}  // namespace trimora::cli
