// The stop signals with POSIX sigaction. A signal handler can reach nothing but lock-free atomics
// and sig_atomic_t objects, so the flag and the signal live here for the handler to find. Windows
// builds stop_signals_windows.cpp instead.
#ifndef _WIN32

#include "platform/os/stop_signals.h"

#include <signal.h>
#include <time.h>

#include <cstdlib>


namespace trimora::os {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCount = 3;

static_assert(std::atomic<uint8_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the handler may only touch lock-free atomics");
std::atomic<uint8_t>* g_stop_flag = nullptr;
std::atomic<int> g_received{0};  // the first signal
std::atomic<int> g_count{0};     // signals handled so far; two may arrive at once on two threads
// Signals ignored when the program started (nohup, a background job) stay ignored.
bool g_handled[kCount] = {};
struct sigaction g_before[kCount];
// For the tests only: whether a run stopped by a signal waits at its end for a second one.
bool g_hold_for_second = false;

void SetHandled(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int s : kStopSignals) sigaddset(&action.sa_mask, s);  // one handler at a time, whichever came
  // Interrupted reads and writes resume: the run ends at the loop's next test, not in an I/O error.
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < kCount; ++i)
    if (g_handled[i]) ::sigaction(kStopSignals[i], &action, nullptr);
}

extern "C" void OnStopSignal(int signal) {
  SetHandled(SIG_DFL);  // the next one ends the process
  if (g_count.fetch_add(1) == 0) {
    g_received = signal;
    if (g_stop_flag) g_stop_flag->store(1);
  } else {
    // A second one that reached another thread before the default was back: it ends the process
    // as the default would, once this handler returns and unblocks it.
    ::raise(signal);
  }
}

}  // namespace

StopSignals::StopSignals(std::atomic<uint8_t>& stop_flag) {
  g_hold_for_second = std::getenv("TRIMORA_TEST_HOLD_FOR_SECOND_STOP_SIGNAL") != nullptr;
  g_received = 0;
  g_count = 0;
  g_stop_flag = &stop_flag;
  for (int i = 0; i < kCount; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &g_before[i]);
    g_handled[i] = g_before[i].sa_handler != SIG_IGN;
  }
  SetHandled(OnStopSignal);
}

StopSignals::~StopSignals() {
  // A clean stop can end before a second signal sent right after the first has arrived, and then
  // nobody can tell what the second would have done. Held here, the run has seen the first and
  // finished its stop; the second ends the process where it stands, as it would have a moment
  // earlier. Ten seconds at most, so that a second signal which does not end the process shows
  // as a normal exit.
  for (int waited = 0; g_hold_for_second && g_count == 1 && waited < 1000; ++waited) {
    const timespec pause{0, 10'000'000};
    ::nanosleep(&pause, nullptr);
  }
  for (int i = 0; i < kCount; ++i)
    if (g_handled[i]) ::sigaction(kStopSignals[i], &g_before[i], nullptr);
  g_stop_flag = nullptr;
}

bool StopSignals::Received() const { return g_received != 0; }

int StopSignals::ExitStatus() const { return g_received == SIGINT ? 128 + SIGINT : 128 + SIGTERM; }

}  // namespace trimora::os

#endif  // !_WIN32
