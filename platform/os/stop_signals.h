// Ctrl+C, kill and a closed terminal during a command (on Windows Ctrl+C, Ctrl+Break and a closed
// console) act as the window's close request: the first such request sets the stop flag, so that
// the running loop ends at its next test and the run ends as it does when the window closes (whole
// packets written, files closed, its last line shown). A second one ends the process at once, as
// the system's default would.
#pragma once

#include <atomic>
#include <cstdint>

namespace trimora::os {

class StopSignals {
 public:
  // Handles SIGINT, SIGTERM and SIGHUP (the console's control events on Windows) until destroyed
  // by setting `stop_flag` to 1. One instance at a time.
  explicit StopSignals(std::atomic<uint8_t>& stop_flag);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  bool Received() const;
  // The exit status that tells a script which signal stopped the run: 130 for SIGINT (Ctrl+C or
  // Ctrl+Break on Windows), 143 for SIGTERM and SIGHUP (a closed console, a logoff or a shutdown on
  // Windows). Only meaningful once Received().
  int ExitStatus() const;
};

}  // namespace trimora::os
