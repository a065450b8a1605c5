#include "cleancut/clean_cut.h"

#include <algorithm>
#include <array>
#include <optional>
#include <exception>
#include <memory>
#include <stdexcept>

#include "cleancut/random_access.h"
#include "core/psi.h"
#include "cleancut/packet_reader.h"
#include "core/ts_packet.h"

namespace trimora::cleancut {

namespace {

constexpr int64_t kPacket = static_cast<int64_t>(kPacketSize);
constexpr int64_t kBackReach = int64_t{16} << 20;     // how far back the tables are looked for
constexpr int64_t kFirstBackReach = int64_t{256} << 10;  // where that looking starts: tables repeat often
constexpr int64_t kGatherReach = int64_t{4} << 20;    // how far a picture's head is followed
constexpr std::size_t kHeadBytes = 64 * 1024;         // more than any picture's headers take
constexpr int kTailMarkers = 2;                       // the tail's last PES ends well within this

uint16_t Pid(const uint8_t* p) { return ts_get_pid(p); }
bool Synced(const uint8_t* p) { return p[0] == kSyncByte; }
// The first packet of a PES or a section, in a packet that is whole and unflagged.
bool UnitStart(const uint8_t* p) { return Synced(p) && (p[1] & 0xC0) == 0x40; }

// Where the payload begins in the packet, or 0 when it has none.
std::size_t PayloadStart(const uint8_t* p) {
  const unsigned control = (p[3] >> 4) & 3;
  if (!(control & 1)) return 0;
  const std::size_t at = control & 2 ? 5 + std::size_t{p[4]} : 4;
  return at < kPacketSize ? at : 0;
}

using Stream = psi::Stream;

// The sections of one table's PID as they pass, with the packets each one took: a table in force
// is copied with every packet that carried it.
class TableTrack {
 public:
  // Takes a packet of the PID at `at`; calls `take(section, size, packets)` for each section it
  // completes, in order.
  template <typename Take>
  void See(const uint8_t* p, int64_t at, Take take) {
    std::vector<int64_t> before = std::move(carrying_);
    carrying_.clear();
    const std::vector<std::vector<uint8_t>>& done = assembler_.Take(p);
    for (std::size_t i = 0; i < done.size(); ++i) {
      std::vector<int64_t> packets = i == 0 && assembler_.FirstBeganBefore() ? before : std::vector<int64_t>{};
      packets.push_back(at);
      take(done[i].data(), done[i].size(), std::move(packets));
    }
    if (!assembler_.Pending()) return;
    if (!UnitStart(p)) carrying_ = std::move(before);
    carrying_.push_back(at);
  }
  void Reset() {
    assembler_.Reset();
    carrying_.clear();
  }

 private:
  psi::SectionAssembler assembler_;
  std::vector<int64_t> carrying_;  // the packets of the section begun
};

// What the PAT and the PMT of its first program say at one point of the recording, and where
// the packets that said it lie.
class Tables {
 public:
  bool Known() const { return !pat_.empty() && !pmt_.empty(); }
  const std::vector<int64_t>& PatPackets() const { return pat_; }
  const std::vector<int64_t>& PmtPackets() const { return pmt_; }
  const std::vector<Stream>& Streams() const { return streams_; }
  uint16_t VideoPid() const { return video_pid_; }
  VideoKind Video() const { return video_; }
  bool IsStream(uint16_t pid) const {
    return std::any_of(streams_.begin(), streams_.end(), [&](const Stream& s) { return s.pid == pid; });
  }

  // Takes in a packet at `at`; true when it is one of the tables' packets.
  bool See(const uint8_t* p, int64_t at) {
    const uint16_t pid = Pid(p);
    if (pid == 0) {
      pat_track_.See(p, at, [&](const uint8_t* s, std::size_t size, std::vector<int64_t> packets) { TakePat(s, size, std::move(packets)); });
      return true;
    }
    if (pmt_pid_ < 0 || pid != pmt_pid_) return false;
    pmt_track_.See(p, at, [&](const uint8_t* s, std::size_t size, std::vector<int64_t> packets) {
      if (psi::SoundSection(s, size, psi::kPmtTableId) && psi::PmtProgram(s) == program_) TakePmt(s, size, std::move(packets));
    });
    return true;
  }

 private:
  void TakePat(const uint8_t* s, std::size_t size, std::vector<int64_t> packets) {
    if (!psi::SoundSection(s, size, psi::kPatTableId)) return;
    const std::optional<psi::Program> first = psi::FirstProgram(s, size);
    if (!first) return;
    if (first->number != program_ || first->pmt_pid != pmt_pid_) {
      program_ = first->number;
      pmt_pid_ = first->pmt_pid;
      pmt_track_.Reset();
      ForgetPmt();
    }
    pat_ = std::move(packets);
  }

  void TakePmt(const uint8_t* s, std::size_t size, std::vector<int64_t> packets) {
    ForgetPmt();
    pmt_ = std::move(packets);
    for (const Stream& stream : psi::PmtStreams(s, size)) {
      streams_.push_back(stream);
      const VideoKind kind = VideoKindOf(stream.type);
      if (video_ == VideoKind::kNone && kind != VideoKind::kNone) {
        video_ = kind;
        video_pid_ = stream.pid;
      }
    }
  }

  void ForgetPmt() {
    pmt_.clear();
    streams_.clear();
    video_ = VideoKind::kNone;
    video_pid_ = 0;
  }

  TableTrack pat_track_, pmt_track_;
  std::vector<int64_t> pat_, pmt_;  // the packets of the PAT and the PMT in force
  uint16_t program_ = 0;
  int pmt_pid_ = -1;
  std::vector<Stream> streams_;
  VideoKind video_ = VideoKind::kNone;
  uint16_t video_pid_ = 0;
};

ProgramStreams ProgramOf(const Tables& tables) {
  ProgramStreams program{tables.VideoPid(), tables.Video(), {}};
  for (const Stream& s : tables.Streams())
    if (tables.Video() == VideoKind::kNone || s.pid != tables.VideoPid()) program.sound.push_back(s.pid);
  return program;
}

// Runs of kept packets; neighbours merge, so a stretch kept whole is one run.
class Runs {
 public:
  void Add(int64_t at, int64_t length) {
    if (length <= 0) return;
    if (!runs_.empty() && runs_.back().offset + runs_.back().length == at)
      runs_.back().length += length;
    else
      runs_.push_back({at, length});
  }
  std::vector<ByteRun>& Get() { return runs_; }

 private:
  std::vector<ByteRun> runs_;
};

class Planner {
 public:
  // `marker_limit`: the time markers from the start byte on that end the range, when its end
  // byte is not known yet; the END-th marker is then the limit-th one read.
  Planner(const os::File& source, int64_t start, int64_t end, const std::stop_token& stop,
          int32_t marker_limit = INT32_MAX)
      : reader_(source, stop), start_(std::max<int64_t>(start, 0)), marker_limit_(std::max(marker_limit, 0)) {
    // Whole packets of the start's grid: a final partial packet is not the recording's.
    const int64_t whole = start_ + std::max<int64_t>(reader_.Size() - start_, 0) / kPacket * kPacket;
    file_end_ = whole;
    end_ = std::clamp(end, start_, whole);
  }

  CleanCut Plan() {
    CleanCut cut;
    CleanHead head;
    cut.outcome = Head(head);
    if (cut.outcome != CleanCutOutcome::kPlanned) return cut;
    Runs runs;
    for (const ByteRun& r : head.runs) runs.Add(r.offset, r.length);
    runs.Add(head.resume, end_ - head.resume);
    Tail(head.ends_in_head ? head.started : OpenAt(end_, head), runs);

    CleanCutPlan& plan = cut.plan;
    plan.has_video = head.has_video;
    plan.body_start = head.body_start;
    plan.seconds_after_marker = head.seconds_after_marker;
    plan.runs = std::move(runs.Get());
    for (const ByteRun& r : plan.runs) plan.size += r.length;
    return cut;
  }

  // The tables, the start and the first packets of the body, up to where the rest of the range
  // can be taken whole.
  CleanCutOutcome Head(CleanHead& head) {
    Tables tables = TablesBefore(start_);
    int64_t body = -1;
    const CleanCutOutcome outcome = FindStart(tables, body);
    if (outcome != CleanCutOutcome::kPlanned) return outcome;
    head.has_video = tables.Video() != VideoKind::kNone;
    head.body_start = body;
    for (const Stream& s : tables.Streams()) head.streams.push_back(s.pid);
    head.program = ProgramOf(tables);
    Runs runs;
    for (const int64_t at : tables.PatPackets()) runs.Add(at, kPacket);
    for (const int64_t at : tables.PmtPackets()) runs.Add(at, kPacket);
    head.tables = runs.Get();
    head.ends_in_head = Body(tables, body, runs, head.started, head.resume);
    head.runs = std::move(runs.Get());
    head.seconds_after_marker = SecondsAfterMarker(body);
    return CleanCutOutcome::kPlanned;
  }

  // After the end byte: the packets that complete the PES each stream had open there.
  std::vector<ByteRun> TailAfter(const CleanHead& head) {
    Runs runs;
    Tail(head.ends_in_head ? head.started : OpenAt(end_, head), runs);
    return std::move(runs.Get());
  }

  std::optional<ProgramStreams> Program() {
    const Tables tables = TablesBefore(start_);
    if (!tables.Known()) return std::nullopt;
    return ProgramOf(tables);
  }

  // Where the video PES open at the end byte ends: its stream's next PES start, as the tail has it.
  int64_t VideoEnd() {
    const Tables tables = TablesBefore(end_);
    if (tables.Video() == VideoKind::kNone) return end_;
    int64_t last = end_;
    int markers = 0;
    for (int64_t at = end_; at < file_end_; at += kPacket) {
      const uint8_t* p = reader_.At(at);
      if (TimeMarkerPacket(p) && ++markers >= kTailMarkers) break;
      if (Pid(p) != tables.VideoPid() || !Synced(p)) continue;
      if (p[1] & 0x40) break;
      last = at + kPacket;
    }
    return last;
  }

 private:
  // The tables in force just before `before`: its last PAT, and the last PMT of the PAT's first
  // program before it. A section may take several packets, so the tables are read forward, from
  // a little way back first and from farther back when that holds no complete pair.
  Tables TablesBefore(int64_t before) {
    for (int64_t reach = kFirstBackReach;; reach *= 8) {
      const int64_t floor = std::max<int64_t>(before - std::min(reach, kBackReach), before % kPacket);
      Tables t;
      for (int64_t at = floor; at + kPacket <= before; at += kPacket) t.See(reader_.At(at), at);
      if (t.Known() || reach >= kBackReach || floor == before % kPacket) return t;
    }
  }

  // The streams open at the end byte, when the body ran past the first packets: those of the
  // tables in force there, or of the start's tables when none are found.
  std::vector<uint16_t> OpenAt(int64_t end, const CleanHead& head) {
    const Tables at_end = TablesBefore(end);
    if (!at_end.Known()) return head.streams;
    std::vector<uint16_t> open;
    for (const Stream& s : at_end.Streams()) open.push_back(s.pid);
    return open;
  }

  // Reads on from the start byte to the first packet of the first random-access picture (without
  // video, to the first PES start of any stream), keeping the tables up to date on the way. An
  // H.264 key picture whose parameter sets came in a PES of their own just before it starts with
  // that PES.
  CleanCutOutcome FindStart(Tables& tables, int64_t& body) {
    int markers = 0;
    int64_t sets_at = -1;  // the video PES just passed, when it held only parameter sets
    for (int64_t at = start_; at < end_; at += kPacket) {
      const uint8_t* p = reader_.At(at);
      if (TimeMarkerPacket(p)) {
        if (++markers >= std::min(kMarkersInReach, marker_limit_)) break;
        marker_ends_.push_back(at + kPacket);
        continue;
      }
      if (tables.See(p, at)) {
        sets_at = -1;  // the tables go first, never again inside the body
        continue;
      }
      if (!tables.Known() || !UnitStart(p)) continue;
      const VideoKind video = tables.Video();
      if (video == VideoKind::kUnsupported) return CleanCutOutcome::kNoRandomAccess;
      if (video == VideoKind::kNone ? tables.IsStream(Pid(p)) : Pid(p) == tables.VideoPid() && RandomAccess(at, video, sets_at >= 0)) {
        body = sets_at >= 0 ? sets_at : at;
        // Markers between the parameter sets and the picture lie in the body.
        while (!marker_ends_.empty() && marker_ends_.back() > body) marker_ends_.pop_back();
        return CleanCutOutcome::kPlanned;
      }
      if (video == VideoKind::kH264 && Pid(p) == tables.VideoPid())
        sets_at = Gather(at, [](const uint8_t* es, std::size_t size, bool whole) { return ParameterSetsOnly(es, size, whole); }) ? at : -1;
    }
    return tables.Known() ? CleanCutOutcome::kNoRandomAccess : CleanCutOutcome::kNoProgramTables;
  }

  // Whether the video PES starting in the packet at `at` begins a random-access picture.
  bool RandomAccess(int64_t at, VideoKind kind, bool sets_before) {
    return Gather(at, [&](const uint8_t* es, std::size_t size, bool whole) {
      return RandomAccessPicture(kind, es, size, whole, sets_before);
    });
  }

  // What `judge` says of the PES starting in the packet at `at`: its elementary-stream bytes are
  // gathered from the packets of its PID only as far as the judge needs.
  template <typename Judge>
  bool Gather(int64_t at, Judge judge) {
    const uint8_t* p = reader_.At(at);
    const uint16_t pid = Pid(p);
    std::size_t payload = PayloadStart(p);
    if (payload == 0 || payload + 9 > kPacketSize || p[payload] != 0 || p[payload + 1] != 0 || p[payload + 2] != 1)
      return false;
    std::size_t skip = 9 + std::size_t{p[payload + 8]};  // the PES header
    std::vector<uint8_t> es;
    const auto take = [&](const uint8_t* q, std::size_t from) {
      const std::size_t n = kPacketSize - from;
      const std::size_t skipped = std::min(skip, n);
      skip -= skipped;
      es.insert(es.end(), q + from + skipped, q + kPacketSize);
    };
    take(p, payload);
    const int64_t reach = std::min(file_end_, at + kGatherReach);
    for (int64_t next = at + kPacket;; next += kPacket) {
      const bool whole = next >= reach || es.size() >= kHeadBytes;
      const Verdict v = judge(es.data(), es.size(), whole);
      if (v != Verdict::kNeedMore) return v == Verdict::kYes;
      const uint8_t* q = reader_.At(next);
      if (Pid(q) != pid || !Synced(q)) continue;
      if (q[1] & 0x40) return judge(es.data(), es.size(), true) == Verdict::kYes;
      if (const std::size_t from = PayloadStart(q)) take(q, from);
    }
  }

  // The body from its start to the end byte: every packet, except those of a stream that continue
  // a PES begun before the stream's first PES start here. Once every stream has started (or
  // within the markers a start may take), the rest up to the end byte is one run, from `resume`
  // on. Returns whether the scan reached the end of the range; `started` then lists the streams
  // that started in the body.
  bool Body(Tables tables, int64_t body, Runs& runs, std::vector<uint16_t>& started, int64_t& resume) {
    started.clear();
    if (tables.Video() != VideoKind::kNone) started.push_back(tables.VideoPid());
    const auto has_started = [&](uint16_t pid) { return std::find(started.begin(), started.end(), pid) != started.end(); };
    int markers = 0;
    int64_t at = body;
    for (; at < end_; at += kPacket) {
      const uint8_t* p = reader_.At(at);
      const uint16_t pid = Pid(p);
      if (TimeMarkerPacket(p)) {
        if (next_marker_end_ < 0) next_marker_end_ = at + kPacket;
        if (static_cast<int32_t>(marker_ends_.size()) + markers + 1 >= marker_limit_) {  // the END-th
          runs.Add(at, kPacket);
          resume = at + kPacket;
          return true;
        }
        if (++markers >= kMarkersInReach) break;
      } else if (!tables.See(p, at) && tables.IsStream(pid) && !has_started(pid)) {
        if (!UnitStart(p)) continue;
        started.push_back(pid);
      }
      runs.Add(at, kPacket);
      if (std::all_of(tables.Streams().begin(), tables.Streams().end(), [&](const Stream& s) { return has_started(s.pid); })) {
        at += kPacket;
        break;
      }
    }
    resume = std::min(at, end_);
    return at >= end_;
  }

  // After the end byte: the packets of each stream in `open` up to its next PES start, which
  // complete the PES it had open at the END-th marker.
  void Tail(std::vector<uint16_t> open, Runs& runs) {
    int markers = 0;
    for (int64_t at = end_; at < file_end_ && !open.empty(); at += kPacket) {
      const uint8_t* p = reader_.At(at);
      if (TimeMarkerPacket(p)) {
        if (++markers >= kTailMarkers) break;
        continue;
      }
      const auto it = std::find(open.begin(), open.end(), Pid(p));
      if (it == open.end() || !Synced(p)) continue;
      if (p[1] & 0x40)
        open.erase(it);
      else
        runs.Add(at, kPacket);
    }
  }

  double SecondsAfterMarker(int64_t body) {
    const int64_t from = marker_ends_.empty() ? start_ : marker_ends_.back();
    const double whole = static_cast<double>(marker_ends_.size());
    int64_t next = next_marker_end_;
    for (int64_t at = body; next < 0 && at < std::min(file_end_, body + kBackReach); at += kPacket)
      if (TimeMarkerPacket(reader_.At(at))) next = at + kPacket;
    const double span = next > from ? static_cast<double>(next - from) : kBytesPerSecond;
    return whole + static_cast<double>(body - from) / span;
  }

  PacketReader reader_;
  const int64_t start_;
  const int32_t marker_limit_;
  int64_t end_ = 0, file_end_ = 0;
  std::vector<int64_t> marker_ends_;  // bytes after the markers passed before the body's start
  int64_t next_marker_end_ = -1;      // byte after the first marker in the body
};

}  // namespace

CleanCut PlanCleanCut(const os::File& source, int64_t start_byte, int64_t end_byte, const std::stop_token& stop) {
  try {
    return Planner(source, start_byte, end_byte, stop).Plan();
  } catch (const StopRequested&) {
    return {CleanCutOutcome::kStopped, {}};
  } catch (const std::exception&) {
    return {CleanCutOutcome::kUnreadable, {}};
  }
}

CleanHeadResult PlanCleanHead(const os::File& source, int64_t start_byte, int32_t markers_to_end,
                              const std::stop_token& stop) {
  CleanHeadResult result;
  try {
    result.outcome = Planner(source, start_byte, INT64_MAX, stop, markers_to_end).Head(result.head);
  } catch (const StopRequested&) {
    result = {CleanCutOutcome::kStopped, {}};
  } catch (const std::exception&) {
    result = {CleanCutOutcome::kUnreadable, {}};
  }
  return result;
}

std::vector<ByteRun> PlanCleanTail(const os::File& source, const CleanHead& head, int64_t end_byte,
                                   const std::stop_token& stop) {
  try {
    return Planner(source, end_byte, end_byte, stop).TailAfter(head);
  } catch (const StopRequested&) {
    throw std::runtime_error("stopped");
  }
}

std::optional<ProgramStreams> ProgramBefore(const os::File& source, int64_t byte) {
  try {
    return Planner(source, byte, byte, {}).Program();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

int64_t CleanVideoEnd(const os::File& source, int64_t end_byte) {
  try {
    return Planner(source, end_byte, end_byte, {}).VideoEnd();
  } catch (const std::exception&) {
    return -1;
  }
}

CleanCut PlanCleanCut(const std::string& path, int64_t start_byte, int64_t end_byte, const std::stop_token& stop) {
  try {
    const os::File source = os::File::OpenForReading(path);
    return PlanCleanCut(source, start_byte, end_byte, stop);
  } catch (const std::exception&) {
    return {CleanCutOutcome::kUnreadable, {}};
  }
}

}  // namespace trimora::cleancut
