// Runs the built trimora-cli from the tests, with its output going to files or to a terminal.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace trimora::testkit {

struct CliResult {
  int exit_code = -1;
  std::string out, err;
};

// Runs trimora-cli in `dir` with stdout and stderr going to files, not a terminal; stdout goes to
// `stdout_to` instead when one is given.
CliResult RunCli(const std::filesystem::path& dir, const std::vector<std::string>& args,
                 const std::filesystem::path& stdout_to = {});

// Runs trimora-cli in `dir` with stdout and stderr on one pseudo-terminal and returns all it wrote
// there; nothing when the machine has no pseudo-terminals to give, and always on Windows.
struct TerminalRun {
  int exit_code = -1;  // -1 when the program did not exit by itself
  int killed_by = 0;   // the signal that ended it, if one did
  std::string screen;
};
// What a user at the terminal does once the screen first shows `cue`: `act` gets the terminal's
// master side (to type Ctrl+S or Ctrl+C into) and the program's process id.
struct TerminalCue {
  std::string cue;
  std::function<void(int master, int pid)> act;
};
std::optional<TerminalRun> RunCliOnTerminal(const std::filesystem::path& dir, const std::vector<std::string>& args,
                                            const TerminalCue& cue = {});

}  // namespace trimora::testkit
