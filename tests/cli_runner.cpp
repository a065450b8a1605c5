#include "tests/cli_runner.h"

#ifdef _WIN32
#include "platform/os/windows_api.h"
#else
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <stdexcept>

#include "tests/recording_builder.h"

#ifndef TRIMORA_CLI
#error "the tests of the command line need the path of trimora-cli"
#endif

namespace trimora::testkit {

namespace {

#ifdef _WIN32

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

// One argument as the program's command-line parser splits it again: quoted when it holds a
// blank or a quote, with the backslashes before a quote doubled.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') ++i, ++backslashes;
    if (i == arg.size()) {
      out.append(backslashes * 2, L'\\');
      break;
    }
    out.append(arg[i] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    out += arg[i];
  }
  return out + L"\"";
}

HANDLE CreateOutput(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path.string());
  return h;
}

#else

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

#endif

std::string ReadText(const std::filesystem::path& path) {
  Bytes bytes = ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

#ifdef _WIN32

CliResult RunCli(const std::filesystem::path& dir, const std::vector<std::string>& args,
                 const std::filesystem::path& stdout_to) {
  const auto out = stdout_to.empty() ? dir / "stdout.txt" : stdout_to, err = dir / "stderr.txt";
  // The build names the program by a path of the build machine; made absolute here, it names it
  // on the drive the tests run from.
  static const std::filesystem::path cli = std::filesystem::absolute(TRIMORA_CLI);
  std::wstring command = Quote(cli.wstring());
  for (const std::string& a : args) command += L" " + Quote(Wide(a));

  HANDLE o = CreateOutput(out), e = CreateOutput(err);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = o;
  startup.hStdError = e;
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(cli.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        dir.c_str(), &startup, &process);
  ::CloseHandle(o);
  ::CloseHandle(e);
  CliResult r;
  if (started) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) r.exit_code = static_cast<int>(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  r.out = stdout_to.empty() ? ReadText(out) : "";
  r.err = ReadText(err);
  return r;
}

// The tests have no console of their own to hand the program.
std::optional<TerminalRun> RunCliOnTerminal(const std::filesystem::path&, const std::vector<std::string>&,
                                            const TerminalCue&) {
  return std::nullopt;
}

#else

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
  if (pid == 0) {
    // As at a terminal, whatever ran the tests: a background job starts with SIGINT ignored, and
    // the program rightly keeps an ignored signal ignored.
    for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, SIG_DFL);
    ExecCli(dir, args);
  }
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

#endif

}  // namespace trimora::testkit
