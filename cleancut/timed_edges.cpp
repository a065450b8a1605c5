// Reading forward from a marker through the headers of the video's and the sound's PES: the
// pictures in decoding order with their PTS and whether each can start a decoder, and the sound's
// PES with theirs. The edges are then chosen among them by time.
#include "cleancut/timed_edges.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>

#include "cleancut/clean_cut.h"
#include "core/pes.h"
#include "cleancut/packet_reader.h"
#include "core/ts_packet.h"
#include "cleancut/rbsp.h"

namespace trimora::cleancut {

namespace {

constexpr int64_t kPacket = static_cast<int64_t>(kPacketSize);
constexpr std::size_t kHeadBytes = 64 * 1024;  // more than any picture's headers take
constexpr int kTailMarkers = 2;                // the sound covering the last picture lies within this
constexpr int64_t kThousandth = pes::kTicksPerSecond / 1000;

struct Picture {
  int64_t at = 0;
  int64_t pts = 0;  // on the line of the marker's picture: the scan's PTS unwrapped near it
  int64_t dts = 0;  // as the source has it: its PTS where the header carries no other
  bool key = false;
  std::optional<PictureOrder> order;  // H.264 that sends the count: of key pictures, or of all when counted
};

struct SoundPes {
  uint16_t pid = 0;
  int64_t at = 0;
  int64_t pts = 0;
};

// One pass forward from a byte: the pictures and the sound's PES in file order, their times put
// on one line with the first picture after the marker byte at the scan's zero. `count_all`:
// every H.264 picture's count is read, not only the key pictures'.
class Scan {
 public:
  Scan(const os::File& source, int64_t from, int64_t marker_byte, const ProgramStreams& streams,
       const std::stop_token& stop, bool count_all = false)
      : reader_(source, stop), gather_(source, stop), streams_(streams), marker_byte_(marker_byte),
        at_(std::max<int64_t>(from, 0)), end_(reader_.End(at_)), count_all_(count_all) {}

  // Reads the next packet; false at the end of the source or after `markers` markers from the
  // marker byte on.
  bool Next(int markers) {
    if (at_ >= end_ || markers_ >= markers) return false;
    const uint8_t* p = reader_.At(at_);
    const int64_t at = at_;
    at_ += kPacket;
    if (TimeMarkerPacket(p)) {
      if (at >= marker_byte_) ++markers_;
      return true;
    }
    if (!pes::UnitStart(p)) return true;
    const uint16_t pid = ts_get_pid(p);
    const std::optional<int64_t> raw = pes::Pts(p);
    if (!raw) return true;
    if (pid == streams_.video_pid) {
      // Parameter sets in a PES of their own belong to the key picture after them.
      const bool h264 = streams_.video == VideoKind::kH264;
      if (h264 && SetsOnly(at)) {
        sets_at_ = at;
        ReadOrder(at);
        return true;
      }
      if (!zero_ && at >= marker_byte_) zero_ = *raw;
      const bool sets_before = sets_at_ >= 0;
      const bool key = RandomAccess(at, sets_before);
      pictures_.push_back({key && sets_before ? sets_at_ : at, *raw, *pes::Dts(p), key, {}});
      if (h264 && (key || count_all_)) pictures_.back().order = ReadOrder(at);
      sets_at_ = -1;
    } else if (std::find(streams_.sound.begin(), streams_.sound.end(), pid) != streams_.sound.end()) {
      sound_.push_back({pid, at, *raw});
    }
    return true;
  }

  // Whether the first picture after the marker byte has been read: the times are known from then.
  bool Timed() const { return zero_.has_value(); }
  // A PTS as ticks after the marker's picture.
  int64_t Ticks(int64_t raw) const { return pes::Since(*zero_, raw); }
  const std::vector<Picture>& Pictures() const { return pictures_; }
  const std::vector<SoundPes>& Sound() const { return sound_; }
  // What the last sequence parameter set read says of the count, when it sends one.
  const std::optional<OrderSyntax>& Syntax() const { return syntax_; }
  int64_t Position() const { return at_; }
  bool AtEnd() const { return at_ >= end_; }
  int64_t MarkerByte() const { return marker_byte_; }

 private:
  // Whether the video PES starting at `at` begins a picture a decoder can start from.
  bool RandomAccess(int64_t at, bool sets_before) {
    return Gather(at, [&](const uint8_t* es, std::size_t size, bool whole) {
      return RandomAccessPicture(streams_.video, es, size, whole, sets_before);
    });
  }
  bool SetsOnly(int64_t at) {
    return Gather(at, [](const uint8_t* es, std::size_t size, bool whole) { return ParameterSetsOnly(es, size, whole); });
  }
  // The count the H.264 PES starting at `at` sends, from the head of its first slice; a
  // sequence parameter set before that slice is taken in first.
  std::optional<PictureOrder> ReadOrder(int64_t at) {
    std::optional<PictureOrder> order;
    Gather(at, [&](const uint8_t* es, std::size_t size, bool whole) {
      constexpr std::size_t kSliceHead = 40;  // more than the fields up to the count take
      std::size_t slice = size;
      for (std::size_t i = NextStartCode(es, size, 0); i + 3 < size; i = NextStartCode(es, size, i + 3))
        if (const unsigned type = es[i + 3] & 0x1F; type == 1 || type == 5) {
          slice = i;
          break;
        }
      if (!whole && (slice == size || size - slice < kSliceHead)) return Verdict::kNeedMore;
      if (const std::optional<OrderSyntax> s = OrderSyntaxOf(es, slice)) syntax_ = s;
      if (syntax_) order = PictureOrderOf(es + slice, size - slice, *syntax_);
      return Verdict::kYes;
    });
    return order;
  }

  // The verdict on the video PES starting at `at`: its elementary-stream bytes are gathered from
  // the packets of its PID only as far as the verdict needs.
  template <typename Judge>
  bool Gather(int64_t at, Judge judge) {
    const uint8_t* p = gather_.At(at);
    const uint8_t* h = pes::Header(p);
    std::size_t skip = 9 + std::size_t{h[8]};
    std::vector<uint8_t> es;
    const auto take = [&](const uint8_t* q, std::size_t from) {
      const std::size_t skipped = std::min(skip, kPacketSize - from);
      skip -= skipped;
      es.insert(es.end(), q + from + skipped, q + kPacketSize);
    };
    take(p, static_cast<std::size_t>(h - p));
    for (int64_t next = at + kPacket;; next += kPacket) {
      const bool whole = next >= end_ || es.size() >= kHeadBytes;
      const Verdict v = judge(es.data(), es.size(), whole);
      if (v != Verdict::kNeedMore) return v == Verdict::kYes;
      const uint8_t* q = gather_.At(next);
      if (q[0] != kSyncByte || ts_get_pid(q) != streams_.video_pid) continue;
      if (q[1] & 0x40) return judge(es.data(), es.size(), true) == Verdict::kYes;
      if (const std::size_t from = pes::PayloadStart(q)) take(q, from);
    }
  }

  PacketReader reader_, gather_;
  const ProgramStreams& streams_;
  const int64_t marker_byte_;
  int64_t at_;
  const int64_t end_;
  int markers_ = 0;
  std::optional<int64_t> zero_;
  const bool count_all_;
  int64_t sets_at_ = -1;  // the PES of parameter sets just read, when the last one was
  std::optional<OrderSyntax> syntax_;
  std::vector<Picture> pictures_;
  std::vector<SoundPes> sound_;
};

// Each sound stream's first PES at or after `ticks` (on the scan's line), from file position
// `from` on; `none` where a stream has none.
std::vector<StreamEdge> SoundFrom(const Scan& scan, const ProgramStreams& streams, int64_t from, int64_t ticks,
                                  int64_t none) {
  std::vector<StreamEdge> edges;
  for (const uint16_t pid : streams.sound) {
    StreamEdge edge{pid, none};
    for (const SoundPes& s : scan.Sound())
      if (s.pid == pid && s.at >= from && scan.Ticks(s.pts) >= ticks) {
        edge.at = s.at;
        break;
      }
    edges.push_back(edge);
  }
  return edges;
}

// The distinct times the pictures read show at, in order, on the scan's line.
std::vector<int64_t> ShowTimes(const Scan& scan) {
  std::vector<int64_t> times;
  for (const Picture& p : scan.Pictures()) times.push_back(scan.Ticks(p.pts));
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  return times;
}

// One picture's length: the shortest step between those times.
int64_t PictureLength(const std::vector<int64_t>& times) {
  int64_t length = INT64_MAX;
  for (std::size_t i = 1; i < times.size(); ++i) length = std::min(length, times[i] - times[i - 1]);
  return length == INT64_MAX ? pes::kTicksPerSecond / 25 : length;  // a lone picture: the longest usual one
}

bool SoundFound(const Scan& scan, const ProgramStreams& streams, int64_t from, int64_t ticks) {
  const std::vector<StreamEdge> edges = SoundFrom(scan, streams, from, ticks, -1);
  return std::all_of(edges.begin(), edges.end(), [](const StreamEdge& e) { return e.at >= 0; });
}

class StartFinder {
 public:
  StartFinder(Scan& scan, const ProgramStreams& streams, int64_t ticks) : scan_(scan), streams_(streams), ticks_(ticks) {}

  EdgeOutcome Find(TimedStart& start) {
    while (!Done() && scan_.Next(kMarkersInReach)) {
    }
    const std::optional<std::size_t> key = Key();
    if (!key) return EdgeOutcome::kNoKey;
    const std::vector<Picture>& pictures = scan_.Pictures();
    const Picture& k = pictures[*key];
    start.key = k.at;
    start.key_pts = k.pts;
    start.key_after = scan_.Ticks(k.pts);
    const std::size_t first = *key + 1;
    std::size_t after = first;
    while (after < pictures.size() && scan_.Ticks(pictures[after].pts) < scan_.Ticks(k.pts)) ++after;
    const auto position = [&](std::size_t i) { return i < pictures.size() ? pictures[i].at : scan_.Position(); };
    start.leading_from = position(first);
    start.leading_to = position(after);
    start.next_dts = after < pictures.size() ? pictures[after].dts : -1;
    start.picture = PictureLength(ShowTimes(scan_));
    start.sound = SoundFrom(scan_, streams_, 0, scan_.Ticks(k.pts), -1);
    if (scan_.Syntax() && k.order) start.order = JoinKey{*scan_.Syntax(), k.order->low};
    return EdgeOutcome::kFound;
  }

 private:
  std::optional<std::size_t> Key() const {
    if (!scan_.Timed()) return std::nullopt;
    const std::vector<Picture>& pictures = scan_.Pictures();
    for (std::size_t i = 0; i < pictures.size(); ++i)
      if (pictures[i].key && scan_.Ticks(pictures[i].pts) >= ticks_) return i;
    return std::nullopt;
  }

  // The key picture, the first picture shown after it (which ends its leading pictures) and
  // every sound stream's first PES after it have been read.
  bool Done() const {
    const std::optional<std::size_t> key = Key();
    if (!key) return false;
    const std::vector<Picture>& pictures = scan_.Pictures();
    const int64_t key_ticks = scan_.Ticks(pictures[*key].pts);
    const bool led = std::any_of(pictures.begin() + static_cast<std::ptrdiff_t>(*key) + 1, pictures.end(),
                                 [&](const Picture& p) { return scan_.Ticks(p.pts) > key_ticks; });
    return led && SoundFound(scan_, streams_, 0, key_ticks);
  }

  Scan& scan_;
  const ProgramStreams& streams_;
  const int64_t ticks_;
};

class EndFinder {
 public:
  EndFinder(Scan& scan, const ProgramStreams& streams, int32_t millis, const JoinKey* next)
      : scan_(scan), streams_(streams), limit_(int64_t{millis} * kThousandth + kThousandth), whole_(millis == 0),
        next_(next) {}

  EdgeOutcome Find(TimedEnd& end) {
    while (!PastLimit() && scan_.Next(kMarkersInReach)) {
    }
    if (whole_)
      while (scan_.Pictures().size() < FirstFromMarker() + kLookAhead && scan_.Next(kMarkersInReach)) {
      }
    const std::vector<Picture>& pictures = scan_.Pictures();
    if (pictures.empty() || !scan_.Timed()) return EdgeOutcome::kNoKey;
    const std::size_t gop_cut = whole_ ? EndOfTheOpenPictures() : FirstGopNotKept();
    const std::size_t cut = InOrderBefore(gop_cut);
    const auto position = [&](std::size_t i) { return i < pictures.size() ? pictures[i].at : scan_.Position(); };
    end.video_end = position(cut);
    if (cut != gop_cut) end.gop_end = position(gop_cut);
    end.last_dts = cut > 0 ? pictures[cut - 1].dts : -1;
    const int64_t stop = StopTicks(cut);
    end.stop_pts = (pictures.front().pts + stop - scan_.Ticks(pictures.front().pts)) & (pes::kWrap - 1);
    while (!SoundFound(scan_, streams_, 0, stop) && scan_.Next(kMarkersInReach + kTailMarkers)) {
    }
    end.sound = SoundFrom(scan_, streams_, 0, stop, scan_.Position());
    return EdgeOutcome::kFound;
  }

 private:
  // A key picture that starts at or after the time has been read: no GOP after it is kept.
  bool PastLimit() const {
    if (!scan_.Timed()) return false;
    const std::vector<Picture>& pictures = scan_.Pictures();
    return !pictures.empty() && pictures.back().key && scan_.Ticks(pictures.back().pts) >= limit_;
  }

  bool Kept(const Picture& p) const { return scan_.Ticks(p.pts) < limit_; }

  // The index of the key picture that begins the first GOP with a picture at or after the time;
  // the pictures' count when every GOP read is whole before it and the scan ended on the source's
  // end. A GOP still open where the reach ended is not known to be whole: it is not kept.
  std::size_t FirstGopNotKept() const {
    const std::vector<Picture>& pictures = scan_.Pictures();
    std::size_t gop = 0;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
      if (pictures[i].key) gop = i;
      if (!Kept(pictures[i])) return gop;
    }
    return PastLimit() || scan_.AtEnd() ? pictures.size() : gop;
  }

  // The first picture that starts at or after the marker byte.
  std::size_t FirstFromMarker() const {
    const std::vector<Picture>& pictures = scan_.Pictures();
    std::size_t m = 0;
    while (m < pictures.size() && pictures[m].at < scan_.MarkerByte()) ++m;
    return m;
  }

  // A whole second ends where the single clean cut's video ends, after the picture open at the
  // marker, unless a picture after that point would show before one kept (the B pictures that
  // follow a reference picture in the file): then at the first picture from the marker on that
  // no later one shows before, so that the pictures kept show without a gap and no GOP is lost.
  // Where none is in sight, at the GOP as a time finer than a second ends.
  std::size_t EndOfTheOpenPictures() const {
    const std::vector<Picture>& pictures = scan_.Pictures();
    const std::size_t from = FirstFromMarker();
    int64_t kept = INT64_MIN;  // the latest time a picture before the candidate shows at
    for (std::size_t i = 0; i < from; ++i) kept = std::max(kept, scan_.Ticks(pictures[i].pts));
    for (std::size_t c = from; c < pictures.size(); ++c) {
      const std::size_t seen = std::min(pictures.size(), c + kLookAhead);
      bool clean = seen == c + kLookAhead || scan_.AtEnd();
      for (std::size_t j = c; j < seen && clean; ++j) clean = scan_.Ticks(pictures[j].pts) > kept;
      if (clean) return c;
      kept = std::max(kept, scan_.Ticks(pictures[c].pts));
    }
    return FirstGopNotKept();
  }

  // When the last picture before `cut` stops showing: the next time any picture read shows at,
  // or one picture's length after it.
  int64_t StopTicks(std::size_t cut) const {
    const std::vector<Picture>& pictures = scan_.Pictures();
    int64_t last = INT64_MIN;
    for (std::size_t i = 0; i < cut; ++i) last = std::max(last, scan_.Ticks(pictures[i].pts));
    const std::vector<int64_t> times = ShowTimes(scan_);
    const int64_t length = PictureLength(times);
    if (last == INT64_MIN) return times.front();
    const auto next = std::upper_bound(times.begin(), times.end(), last);
    return next != times.end() ? std::min(*next, last + length) : last + length;
  }

  // The end at `cut`, or before it within its last GOP: the latest end from which a decoder that
  // goes on into the next key picture counts that picture after every picture kept, and no
  // picture kept shows after one left out. `cut` when there is none, or nothing to count.
  std::size_t InOrderBefore(std::size_t cut) const {
    const std::vector<Picture>& pictures = scan_.Pictures();
    const std::optional<OrderSyntax>& syntax = scan_.Syntax();
    if (!next_ || !syntax || *syntax != next_->syntax || cut == 0 || cut > pictures.size()) return cut;
    // Before each picture i up to `cut`: the decoder's count, the latest count and time shown.
    std::vector<OrderCount> counts;
    std::vector<int64_t> shown, latest;
    OrderCount count(syntax->count_bits);
    int64_t most = INT64_MIN, last = INT64_MIN;
    for (std::size_t i = 0; i <= cut; ++i) {
      counts.push_back(count);
      shown.push_back(most);
      latest.push_back(last);
      if (i == cut) break;
      if (!pictures[i].order) return cut;
      most = std::max(most, count.Take(*pictures[i].order));
      last = std::max(last, scan_.Ticks(pictures[i].pts));
    }
    std::size_t gop = cut - 1;
    while (gop > 0 && !pictures[gop].key) --gop;
    int64_t earliest_left = INT64_MAX;  // the earliest time a picture from the candidate on shows at
    for (std::size_t c = cut; c > gop; --c) {
      if (c < cut) earliest_left = std::min(earliest_left, scan_.Ticks(pictures[c].pts));
      if ((c == cut || latest[c] < earliest_left) && counts[c].Of(next_->low) > shown[c]) return c;
    }
    return cut;
  }

  // Pictures looked at after a candidate end: more than a GOP's B pictures between references.
  static constexpr std::size_t kLookAhead = 8;

  Scan& scan_;
  const ProgramStreams& streams_;
  const int64_t limit_;
  const bool whole_;  // the end is a whole second: the marker's own end, not a GOP's
  const JoinKey* next_;
};

template <typename Result, typename Body>
Result Guarded(Body body) {
  Result result;
  try {
    result.outcome = body(result);
  } catch (const StopRequested&) {
    result = {EdgeOutcome::kStopped, {}};
  } catch (const std::exception&) {
    result = {EdgeOutcome::kUnreadable, {}};
  }
  return result;
}

// Which packets of the source a range keeps, told by PID and place.
class Keeper {
 public:
  Keeper(const ProgramStreams& streams, const TimedStart& start, const TimedEnd& end)
      : streams_(streams), start_(start), end_(end) {
    first_ = last_ = start.key;
    head_end_ = start.leading_to;
    tail_ = end.video_end;
    last_ = std::max(end.video_end, end.gop_end);
    for (const StreamEdge& s : start.sound)
      if (s.at >= 0) {
        first_ = std::min(first_, s.at);
        head_end_ = std::max(head_end_, s.at + kPacket);
      }
    for (const StreamEdge& s : end.sound) {
      tail_ = std::min(tail_, s.at);
      last_ = std::max(last_, s.at);
    }
  }

  int64_t First() const { return first_; }
  int64_t HeadEnd() const { return head_end_; }  // from here on every packet is kept ...
  int64_t Tail() const { return tail_; }         // ... up to here
  int64_t Last() const { return last_; }

  bool Keep(const uint8_t* p, int64_t at) const {
    const uint16_t pid = ts_get_pid(p);
    if (pid == streams_.video_pid)
      return at >= start_.key && at < end_.video_end && !(at >= start_.leading_from && at < start_.leading_to);
    for (std::size_t i = 0; i < streams_.sound.size(); ++i)
      if (pid == streams_.sound[i]) return Within(start_.sound, pid, at) && at < Edge(end_.sound, pid, last_);
    return at >= first_ && at < last_;
  }

 private:
  static int64_t Edge(const std::vector<StreamEdge>& edges, uint16_t pid, int64_t none) {
    for (const StreamEdge& e : edges)
      if (e.pid == pid) return e.at;
    return none;
  }
  static bool Within(const std::vector<StreamEdge>& starts, uint16_t pid, int64_t at) {
    const int64_t from = Edge(starts, pid, -1);
    return from >= 0 && at >= from;
  }

  const ProgramStreams& streams_;
  const TimedStart& start_;
  const TimedEnd& end_;
  int64_t first_ = 0, head_end_ = 0, tail_ = 0, last_ = 0;
};

void AddRun(std::vector<ByteRun>& runs, int64_t at, int64_t length) {
  if (length <= 0) return;
  if (!runs.empty() && runs.back().offset + runs.back().length == at)
    runs.back().length += length;
  else
    runs.push_back({at, length});
}

void AddKept(std::vector<ByteRun>& runs, PacketReader& reader, const Keeper& keeper, int64_t from, int64_t to) {
  for (int64_t at = from; at < to; at += kPacket)
    if (keeper.Keep(reader.At(at), at)) AddRun(runs, at, kPacket);
}

}  // namespace

std::vector<ByteRun> TimedRuns(const os::File& source, const ProgramStreams& streams, const TimedStart& start,
                               const TimedEnd& end, const std::stop_token& stop) {
  const Keeper keeper(streams, start, end);
  PacketReader reader(source, stop);
  std::vector<ByteRun> runs;
  try {
    if (keeper.HeadEnd() >= keeper.Tail()) {
      AddKept(runs, reader, keeper, keeper.First(), keeper.Last());
    } else {
      AddKept(runs, reader, keeper, keeper.First(), keeper.HeadEnd());
      AddRun(runs, keeper.HeadEnd(), keeper.Tail() - keeper.HeadEnd());
      AddKept(runs, reader, keeper, keeper.Tail(), keeper.Last());
    }
  } catch (const StopRequested&) {
    throw std::runtime_error("stopped");
  }
  return runs;
}

TimedStartResult FindTimedStart(const os::File& source, int64_t marker_byte, int32_t millis,
                                const ProgramStreams& streams, const std::stop_token& stop) {
  return Guarded<TimedStartResult>([&](TimedStartResult& r) {
    Scan scan(source, marker_byte, marker_byte, streams, stop);
    return StartFinder(scan, streams, int64_t{millis} * kThousandth).Find(r.start);
  });
}

int64_t FirstPictureAt(const os::File& source, int64_t marker_byte, int32_t millis, uint16_t video_pid,
                       const std::stop_token& stop) {
  const ProgramStreams streams{video_pid, VideoKind::kNone, {}};
  try {
    Scan scan(source, marker_byte, marker_byte, streams, stop);
    for (std::size_t seen = 0; scan.Next(kMarkersInReach);)
      for (; seen < scan.Pictures().size(); ++seen)
        if (const Picture& p = scan.Pictures()[seen]; scan.Ticks(p.pts) >= int64_t{millis} * kThousandth) return p.at;
    return -1;
  } catch (const StopRequested&) {
    return -2;
  } catch (const std::exception&) {
    return -2;
  }
}

int64_t ExactCutPoint(const os::File& source, int64_t marker_byte, int32_t millis, const std::stop_token& stop) {
  constexpr int64_t kTablesReach = int64_t{4} << 20;
  std::optional<ProgramStreams> program = ProgramBefore(source, marker_byte);
  if (!program) program = ProgramBefore(source, marker_byte + kTablesReach);
  if (!program || program->video == VideoKind::kNone) return marker_byte;
  const int64_t at = FirstPictureAt(source, marker_byte, millis, program->video_pid, stop);
  if (at == -2) return -1;
  return at < 0 ? marker_byte : at;
}

TimedEndResult FindTimedEnd(const os::File& source, int64_t from, int64_t marker_byte, int32_t millis,
                            const ProgramStreams& streams, const std::stop_token& stop, const JoinKey* next) {
  return Guarded<TimedEndResult>([&](TimedEndResult& r) {
    Scan scan(source, std::min(from, marker_byte), marker_byte, streams, stop, next != nullptr);
    return EndFinder(scan, streams, millis, next).Find(r.end);
  });
}

}  // namespace trimora::cleancut

namespace trimora::cleancut {

namespace {

CleanCutOutcome OutcomeOf(EdgeOutcome outcome) {
  switch (outcome) {
    case EdgeOutcome::kFound: return CleanCutOutcome::kPlanned;
    case EdgeOutcome::kNoKey: return CleanCutOutcome::kNoRandomAccess;
    case EdgeOutcome::kStopped: return CleanCutOutcome::kStopped;
    case EdgeOutcome::kUnreadable: break;
  }
  return CleanCutOutcome::kUnreadable;
}

// The end of a range that runs to the recording's last whole packet: every stream goes on to it.
TimedEnd EndOfRecording(const ProgramStreams& streams, int64_t last) {
  TimedEnd end;
  end.video_end = last;
  for (const uint16_t pid : streams.sound) end.sound.push_back({pid, last});
  return end;
}

void TakeRuns(TimedCut& cut, std::vector<ByteRun> runs) {
  for (const ByteRun& r : runs) {
    if (!cut.runs.empty() && cut.runs.back().offset + cut.runs.back().length == r.offset)
      cut.runs.back().length += r.length;
    else
      cut.runs.push_back(r);
    cut.size += r.length;
  }
}

}  // namespace

TimedHead PlanTimedHead(const os::File& source, int64_t start_byte, int32_t start_millis, const std::stop_token& stop) {
  TimedHead planned{start_byte, PlanCleanHead(source, start_byte, INT32_MAX, stop), {}};
  if (planned.tables.outcome == CleanCutOutcome::kPlanned && planned.tables.head.has_video)
    planned.start = FindTimedStart(source, start_byte, start_millis, planned.tables.head.program, stop);
  return planned;
}

std::optional<JoinKey> TimedHead::Key() const {
  if (tables.outcome != CleanCutOutcome::kPlanned || tables.head.program.video != VideoKind::kH264 ||
      start.outcome != EdgeOutcome::kFound)
    return std::nullopt;
  return start.start.order;
}

TimedCut PlanTimedCut(const os::File& source, int64_t start_byte, int32_t start_millis, int64_t end_byte,
                      int32_t end_millis, const std::stop_token& stop, const JoinKey* next) {
  return PlanTimedCut(source, PlanTimedHead(source, start_byte, start_millis, stop), end_byte, end_millis, stop, next);
}

TimedCut PlanTimedCut(const os::File& source, const TimedHead& planned, int64_t end_byte, int32_t end_millis,
                      const std::stop_token& stop, const JoinKey* next) {
  TimedCut cut;
  const int64_t start_byte = planned.start_byte;
  const CleanHead& head = planned.tables.head;
  cut.outcome = planned.tables.outcome;
  if (cut.outcome != CleanCutOutcome::kPlanned) return cut;
  if (!head.has_video) {
    const CleanCut plain = PlanCleanCut(source, start_byte, end_byte < 0 ? INT64_MAX : end_byte, stop);
    cut.outcome = plain.outcome;
    TakeRuns(cut, plain.plan.runs);
    return cut;
  }
  cut.has_video = true;
  const ProgramStreams& streams = head.program;
  cut.video_pid = streams.video_pid;
  cut.outcome = OutcomeOf(planned.start.outcome);
  if (planned.start.outcome != EdgeOutcome::kFound) return cut;
  cut.start = planned.start.start;
  try {
    const int64_t last = start_byte + std::max<int64_t>(source.Size() - start_byte, 0) / kPacket * kPacket;
    const TimedEndResult end = end_byte < 0 ? TimedEndResult{EdgeOutcome::kNoKey, {}}
                                            : FindTimedEnd(source, cut.start.key, end_byte, end_millis, streams, stop, next);
    // No picture after the END-th marker: the video ended before it, and the range runs on to the end.
    if (end.outcome != EdgeOutcome::kFound && end.outcome != EdgeOutcome::kNoKey) {
      cut.outcome = OutcomeOf(end.outcome);
      return cut;
    }
    cut.end = end.outcome == EdgeOutcome::kFound ? end.end : EndOfRecording(streams, last);
    if (cut.end.video_end <= cut.start.key) {
      cut.outcome = CleanCutOutcome::kNoRandomAccess;
      return cut;
    }
    TakeRuns(cut, head.tables);
    TakeRuns(cut, TimedRuns(source, streams, cut.start, cut.end, stop));
  } catch (const std::exception&) {
    cut.outcome = stop.stop_requested() ? CleanCutOutcome::kStopped : CleanCutOutcome::kUnreadable;
  }
  return cut;
}

}  // namespace trimora::cleancut
