// A libFuzzer target: any bytes, taken as a recording, go through the analysis and the cut, and
// what must hold whatever the input is checked: the source is never changed; the target is whole
// 188-byte packets unless a write failed, and never longer than the source plus the ten zero
// records that end a copy; the cut ends with exactly one final report; every file is closed.
//
// Input: byte 0 and 1 the start and end second (signed, so that the cut also gets negative and
// reversed ranges, as boxes edited during a cut can hand it), byte 2 bit 0 whether the analysis
// measures, then the recording.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/ts_packet.h"
#include "window/app_state.h"
#include "window/model.h"
#include "window/run_texts.h"
#include "window/runs/analyze_file.h"
#include "window/runs/cut_range.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

struct Scratch {
  Scratch() {
    char templ[] = "/tmp/trimora-fuzz-XXXXXX";
    Require(::mkdtemp(templ) != nullptr, "a scratch folder");
    dir = templ;
    source = dir + "/source.nts";
    target = dir + "/target.nts";
  }
  std::string dir, source, target;
};

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  Require(f != nullptr, "the source can be written");
  Require(bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(), "the source is written");
  Require(std::fclose(f) == 0, "the source is closed");
}

// The file's bytes, or nothing when there is no file.
bool ReadFile(const std::string& path, Bytes& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out.clear();
  uint8_t buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return true;
}

int OpenDescriptors() {
  DIR* d = ::opendir("/proc/self/fd");
  Require(d != nullptr, "/proc/self/fd can be read");
  int n = 0;
  while (::readdir(d)) ++n;
  ::closedir(d);
  return n;
}

// How the cut ended, as the cut panel shows it; "" while it has not.
std::string FinalReport(const trimora::WindowModel& w) {
  if (!w.pCProgress.Visible) return w.lCMessage.Caption;
  const std::string& caption = w.lCProgress.Caption;
  if (w.pCProgress.FillPercent == 100 &&
      (caption == trimora::cut_texts::kCompleted || caption == trimora::cut_texts::kSourceEnded))
    return caption;
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const Scratch scratch;
  if (size < 3) return 0;
  const int32_t start = static_cast<int8_t>(data[0]);
  const int32_t end = static_cast<int8_t>(data[1]);
  const bool measure = (data[2] & 1) != 0;
  const Bytes recording(data + 3, data + size);
  WriteFile(scratch.source, recording);
  ::unlink(scratch.target.c_str());
  const int descriptors = OpenDescriptors();

  trimora::WindowModel w;
  trimora::AppState st;
  w.cTimeB.Value = measure ? 1 : 0;
  w.cDataDetail.Value = w.cTimeB.Value;
  int final_reports = 0;
  bool cutting = false, last_was_final = false;
  w.ProcessEvents = [&] {
    if (!cutting) return;
    last_was_final = !FinalReport(w).empty();
    if (last_was_final) ++final_reports;
  };

  trimora::AnalyzeFile(w, st, scratch.source);
  Require(!st.file1.IsOpen(), "the analysis closes the source");
  // The cut holds up on any file, also one the analysis refused.
  st.sEditFile = scratch.source;
  cutting = true;
  trimora::CutRange(w, st, scratch.target, start, end);

  Require(final_reports == 1 && last_was_final, "the cut ends with exactly one final report");
  Require(w.bCut.Enabled, "Save is enabled again");
  Require(!st.file1.IsOpen() && !st.file2.IsOpen(), "both file slots are closed");
  Require(OpenDescriptors() == descriptors, "no file is left open");
  Bytes after;
  Require(ReadFile(scratch.source, after) && after == recording, "the source is unchanged");
  Bytes written;
  if (ReadFile(scratch.target, written)) {
    const bool write_failed = FinalReport(w) == trimora::cut_texts::kCopyFailed;
    Require(write_failed || written.size() % trimora::kPacketSize == 0, "the target is whole packets");
    const std::size_t source_packets = (recording.size() + trimora::kPacketSize - 1) / trimora::kPacketSize;
    Require(written.size() / trimora::kPacketSize <= source_packets + 10,
            "the target holds no more than the source and ten zero records");
  }
  return 0;
}
