// The program's state shared by its procedures: the analysed recording, its length, the
// recording folder, the stop request, and the two record-file slots. main() owns one instance
// and hands it down; there are no globals.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/marker_index.h"
#include "engine/record_file.h"

namespace trimora {

struct AppState {
  std::string sEditFile;    // full path of the analysed recording, set by a successful analysis
  // Where the time markers of sEditFile lie, set with it. Shared: a picture being made for the
  // previous recording keeps that recording's index while a new analysis replaces this one.
  std::shared_ptr<MarkerIndex> markers;
  int32_t iTotalSec = 0;    // length of the analysed recording in seconds
  std::string sRecordPath;  // the recording folder with a trailing separator, or kNoRecordFolder (platform/record_folder.h)
  // 1 once the window has been asked to close (or the command line got a stop signal, which can
  // arrive on any thread); every packet loop stops.
  std::atomic<uint8_t> iExitFlag = 0;
  bool ExitRequested() const { return iExitFlag != 0; }

  // Range checks started so far. A check lets the window process events, so a newer one can run
  // inside it; the outer check then leaves the last word to the newer one.
  uint32_t range_checks = 0;

  SourceFile file1;  // the source recording, shared by the analysis and the cutter
  TargetFile file2{&file1};  // the cut's target, which writes file1's records from its read buffer
};

}  // namespace trimora
