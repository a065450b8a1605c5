// Runs the built trimora-cli from the tests, with its output going to files or to a terminal.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace trimora::testkit {

struct CliResult {
  int exit_code = -1;
  std::string out, err;
};

// Runs trimora-cli in `dir` with stdout and stderr going to files, not a terminal.
CliResult RunCli(const std::filesystem::path& dir, const std::vector<std::string>& args);

// Runs trimora-cli in `dir` with stdout and stderr on one pseudo-terminal and returns all it wrote
// there; nothing when the machine has no pseudo-terminals to give.
struct TerminalRun {
  int exit_code = -1;
  std::string screen;
};
std::optional<TerminalRun> RunCliOnTerminal(const std::filesystem::path& dir, const std::vector<std::string>& args);

}  // namespace trimora::testkit
