// trimora-cli frame, scan and cut --verify: the picture is made by trimora-frame, the scan by
// trimora-scan, the cut whose file is decoded after it by trimora-cut, which this process
// becomes. Exec rather
// than a child: the process id, the stop signals and the exit status stay those of the command
// the user started, with nothing in between to forward them, and trimora-cli itself never maps
// FFmpeg's libraries (about a hundred shared objects, most of the start-up of every command).
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/os/os.h"

#ifndef TRIMORA_BIN_TO_LIBEXEC
#define TRIMORA_BIN_TO_LIBEXEC "../libexec/trimora"
#endif

namespace trimora::cli {

namespace {

// Beside trimora-cli in the build tree, in the program folder of libexec once installed.
std::string FindProgram(const char* name) {
  const std::optional<std::string> self = os::ProgramPath();
  if (!self) throw std::runtime_error(std::string("cannot tell where ") + name + " is");
  const std::filesystem::path folder = std::filesystem::path(*self).parent_path();
  for (const std::filesystem::path& candidate :
       {folder / name, (folder / TRIMORA_BIN_TO_LIBEXEC / name).lexically_normal()})
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  throw std::runtime_error(std::string(name) + " is not installed beside trimora-cli");
}

int StartProgram(const char* name, const Args& args) {
  const std::string program = FindProgram(name);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  throw std::runtime_error("cannot start " + program + ": " + std::strerror(errno));
}

}  // namespace

int StartFrameProgram(const Args& args) { return StartProgram("trimora-frame", args); }
int StartScanProgram(const Args& args) { return StartProgram("trimora-scan", args); }
int StartCutProgram(const Args& args) { return StartProgram("trimora-cut", args); }

}  // namespace trimora::cli
