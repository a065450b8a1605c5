// The stop requests of a Windows console: Ctrl+C and Ctrl+Break, and the console closing, the user
// logging off or the system shutting down. The system calls the handler on a thread of its own.
// Other systems build stop_signals_posix.cpp instead.
#ifdef _WIN32

#include "platform/os/windows_api.h"

#include "platform/os/stop_signals.h"

namespace trimora::os {

namespace {

constexpr int kInterrupt = 130;  // as SIGINT ends a program on POSIX systems
constexpr int kTerminate = 143;  // as SIGTERM does

std::atomic<uint8_t>* g_stop_flag = nullptr;
std::atomic<int> g_status{0};  // the exit status of the first request
std::atomic<int> g_count{0};

BOOL WINAPI OnControlEvent(DWORD event) {
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  if (g_count.fetch_add(1) != 0) return FALSE;  // a second request: the default ends the process
  g_status = interrupt ? kInterrupt : kTerminate;
  if (g_stop_flag) g_stop_flag->store(1);
  // After a close, logoff or shutdown event returns, the system ends the process at once; waiting
  // here lets the run end by itself first (the system allows a few seconds).
  if (!interrupt) ::Sleep(INFINITE);
  return TRUE;
}

}  // namespace

StopSignals::StopSignals(std::atomic<uint8_t>& stop_flag) {
  g_status = 0;
  g_count = 0;
  g_stop_flag = &stop_flag;
  ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

StopSignals::~StopSignals() {
  ::SetConsoleCtrlHandler(OnControlEvent, FALSE);
  g_stop_flag = nullptr;
}

bool StopSignals::Received() const { return g_status != 0; }

int StopSignals::ExitStatus() const { return g_status; }

}  // namespace trimora::os

#endif  // _WIN32
