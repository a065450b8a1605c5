#include "tests/cli_runner.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/recording_builder.h"

#ifndef TRIMORA_CLI
#error "the tests of the command line need the path of trimora-cli"
#endif

namespace trimora::testkit {

namespace {

[[noreturn]] void ExecCli(const std::filesystem::path& dir, const std::vector<std::string>& args) {
  if (::chdir(dir.c_str()) != 0) ::_exit(126);
  std::vector<char*> argv{const_cast<char*>(TRIMORA_CLI)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(TRIMORA_CLI, argv.data());
  ::_exit(127);
}

int ExitCode(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string ReadText(const std::filesystem::path& path) {
  Bytes bytes = ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

CliResult RunCli(const std::filesystem::path& dir, const std::vector<std::string>& args,
                 const std::filesystem::path& stdout_to) {
  const auto out = stdout_to.empty() ? dir / "stdout.txt" : stdout_to, err = dir / "stderr.txt";
  pid_t pid = ::fork();
  if (pid == 0) {
    int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(126);
    ExecCli(dir, args);
  }
  CliResult r;
  r.exit_code = ExitCode(pid);
  r.out = stdout_to.empty() ? ReadText(out) : "";
  r.err = ReadText(err);
  return r;
}

std::optional<TerminalRun> RunCliOnTerminal(const std::filesystem::path& dir, const std::vector<std::string>& args,
                                            const TerminalCue& cue) {
  int master = -1;
  pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return std::nullopt;
  if (pid == 0) ExecCli(dir, args);
  TerminalRun run;
  bool cued = cue.cue.empty();
  char buf[4096];
  // The read fails with EIO once the child has closed the terminal.
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) {
    run.screen.append(buf, static_cast<std::size_t>(n));
    if (!cued && run.screen.find(cue.cue) != std::string::npos) {
      cued = true;
      cue.act(master, pid);
    }
  }
  ::close(master);
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid) {
    if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.killed_by = WTERMSIG(status);
  }
  return run;
}

}  // namespace trimora::testkit
