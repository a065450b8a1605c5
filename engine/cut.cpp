// The range cutter. Skips packets up to the start-th time marker, then copies whole packets
// unchanged up to and including the end-th one, reporting three stages on the cut panel.
#include "engine/cut.h"

#include <cstdint>
#include <exception>
#include <optional>

#include "engine/cut_texts.h"
#include "engine/ts_packet.h"
#include "platform/os/os.h"
#include "timerange/range_texts.h"
#include "timerange/time_values.h"

namespace trimora {

namespace {

using namespace cut_texts;

constexpr int32_t kZeroRecordsAtEnd = 10;   // records read past the end that end the copy
constexpr int32_t kBadRecordsLimit = 100;  // damaged packets that end the copy as an error

// Differences of seconds are 32-bit like every time value; leaving the range is an error.
int32_t CheckedSub(int32_t a, int32_t b) {
  int64_t r = int64_t{a} - b;
  if (r < INT32_MIN || r > INT32_MAX) throw TimeOverflow("time difference out of 32-bit range");
  return static_cast<int32_t>(r);
}

// The source path as the overwrite guard compares it: a doubled backslash counts as one.
std::string ComparisonPath(const std::string& source) {
  std::string out;
  for (std::size_t i = 0; i < source.size(); ++i) {
    out += source[i];
    if (source[i] == '\\' && i + 1 < source.size() && source[i + 1] == '\\') ++i;
  }
  return out;
}

class Cutter {
 public:
  Cutter(WindowModel& w, AppState& st, const std::string& target, int32_t start, int32_t end)
      : w_(w), st_(st), source_(st.sEditFile), target_(target), start_(start), end_(end) {}

  void Run() {
    w_.bCut.Enabled = false;
    Tail tail{*this};
    // The same file under another name (a link, another spelling, a letter case the file system
    // ignores) is refused too: deleting the target would destroy the source.
    if (target_ == ComparisonPath(source_) || os::SameFile(source_, target_)) {
      ShowFinal([&] { w_.lCMessage_Show(kRefused, kCutWarningIcon); });
      return;
    }
    try {
      OpenSource();
      OpenTarget();
      if (Seek()) Copy();
    } catch (const std::exception&) {
      ShowFinal([&] { w_.lCMessage_Show(failure_, kCutWarningIcon); });
    }
  }

 private:
  // Enables Save again and closes what this run opened, on every way out. A file slot held by
  // another run (an analysis this cut was started inside) is not this run's to close.
  struct Tail {
    Cutter& c;
    ~Tail() {
      c.w_.bCut.Enabled = true;
      if (c.opened_source_) c.st_.file1.Close();
      if (c.opened_target_) c.st_.file2.Close();
    }
  };

  bool Stopped() const { return st_.ExitRequested(); }

  void OpenSource() {
    failure_ = kSourceFailed;
    w_.CProgress_Refresh(0, kOpening);
    st_.file1.Open(source_);
    opened_source_ = true;
  }

  void OpenTarget() {
    failure_ = kTargetFailed;
    w_.CProgress_Refresh(17, kOpening);
    // Only a file (or a link, which goes without what it points to) is replaced: a directory,
    // device, FIFO or socket at the path is not this program's to delete.
    // Created new: whatever another program (or a link to the source) put at the path since the
    // deletion is left alone, and this run fails instead of writing into it.
    os::RequireWritable(target_);  // a file the user may not write is refused, never replaced
    os::RemoveFile(target_);
    st_.file2.Open(target_);
    opened_target_ = true;
  }

  // Reads packet heads up to the start-th time marker. False when the source ended first: the
  // copy would find nothing after it, and records past the end would never bring the marker.
  bool Seek() {
    failure_ = kSeekFailed;
    w_.CProgress_Refresh(33, kSeeking);
    uint8_t head[kHeadSize];
    while (count_ < start_ && !Stopped()) {
      st_.file1.ReadHead(head);
      if (TimeMarkerPacket(head) && ++count_ % 10 == 0)
        w_.CProgress_Refresh(Percent(static_cast<double>(count_) / start_ * 33 + 33), kCaptionUnchanged);
      if (count_ < start_ && st_.file1.PastEnd()) {
        w_.CProgress_Refresh(100, kSourceEnded);
        return false;
      }
    }
    return true;
  }

  // What a copied packet asks of the run, besides being written.
  enum class Event { None, Progress, SourceEnded, PacketError };

  // Packets are examined in runs straight from the source's buffer and written as one run; a
  // run ends at the first packet that asks for something. The stop request can change only
  // while the window gets its events, at the end of a run, so testing it per run is testing it
  // before every read.
  void Copy() {
    failure_ = kCopyFailed;
    w_.CProgress_Refresh(66, kWriting);
    while (count_ < end_ && !Stopped()) {
      const uint8_t* run = nullptr;
      std::size_t got = st_.file1.ReadRecordsInPlace(run, SIZE_MAX);
      std::size_t used = 0;
      Event event = Event::None;
      while (event == Event::None && used < got && count_ < end_) event = Examine(run + kPacketSize * used++);
      st_.file1.UnreadRecords(got - used);
      st_.file2.WriteRecords(run, used);
      switch (event) {
        case Event::None:
          break;
        case Event::Progress: {
          double copied = CheckedSub(count_, start_), range = CheckedSub(end_, start_);
          w_.CProgress_Refresh(Percent(copied / range * 33 + 66), kCaptionUnchanged);
          break;
        }
        case Event::SourceEnded:
          return Finish(100, kSourceEnded);
        case Event::PacketError:
          st_.file2.Finish();
          w_.lCMessage_Show(SecToTime(CheckedSub(count_, start_)) + kPacketError, kCutWarningIcon);
          return;
      }
    }
    Finish(100, kCompleted);
  }

  // A packet already written: its first byte, then (when the copy goes on) the time marker.
  Event Examine(const uint8_t* packet) {
    if (packet[0] != kSyncByte) {
      if (packet[0] == 0) {
        if (++zeros_ == kZeroRecordsAtEnd) return Event::SourceEnded;
      } else if (++bad_ == kBadRecordsLimit) {
        return Event::PacketError;
      }
    }
    if (TimeMarkerPacket(packet) && ++count_ % 10 == 0) return Event::Progress;
    return Event::None;
  }

  // Everything written reaches the file, and the file is closed, before the run reports how it
  // ended: a write that fails here, or a close that reports one, is a failure, never a finished cut.
  void Finish(int32_t percent, const char* caption) {
    st_.file2.Finish();
    w_.CProgress_Refresh(percent, caption);
  }

  static int32_t Percent(double value) { return static_cast<int32_t>(RoundHalfEven(value)); }

  WindowModel& w_;
  AppState& st_;
  const std::string source_;  // read once: a nested analysis may change sEditFile meanwhile
  const std::string target_;
  const int32_t start_, end_;
  int32_t count_ = 0, zeros_ = 0, bad_ = 0;
  const char* failure_ = kSourceFailed;
  bool opened_source_ = false, opened_target_ = false;
};

}  // namespace

void CutRange(WindowModel& w, AppState& st, const std::string& target, int32_t start, int32_t end) {
  Cutter(w, st, target, start, end).Run();
}

void CutWithBoxes(WindowModel& w, AppState& st, const std::string& target) {
  std::optional<int32_t> start = TextBoxesToSec(*w.tStart[0], *w.tStart[1], *w.tStart[2]);
  std::optional<int32_t> end = start ? TextBoxesToSec(*w.tEnd[0], *w.tEnd[1], *w.tEnd[2]) : std::nullopt;
  if (!start || !end) {
    ShowFinal([&] { w.lCMessage_Show(range_texts::kEntryError, kCutWarningIcon); });
    return;
  }
  CutRange(w, st, target, *start, *end);
}

}  // namespace trimora
