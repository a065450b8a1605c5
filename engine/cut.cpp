// The range cutter. Skips packets up to the start-th time marker, then copies whole packets
// unchanged up to and including the end-th one, reporting its stages to the caller. A job of
// several ranges does the same for each in turn, in one pass over the source: a single cut is a
// job of one range.
#include "engine/cut.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "cleancut/clean_cut.h"
#include "cleancut/clean_cut_texts.h"
#include "cleancut/seamless_join.h"
#include "cleancut/timed_edges.h"

#include "core/time_values.h"
#include "core/ts_packet.h"
#include "platform/os/os.h"

namespace trimora {

namespace {

constexpr int32_t kZeroRecordsAtEnd = 10;   // records read past the end that end the copy
constexpr int32_t kBadRecordsLimit = 100;  // damaged packets that end the copy as an error

// Differences of seconds are 32-bit like every time value; leaving the range is an error.
int32_t CheckedSub(int32_t a, int32_t b) {
  int64_t r = int64_t{a} - b;
  if (r < INT32_MIN || r > INT32_MAX) throw TimeOverflow("time difference out of 32-bit range");
  return static_cast<int32_t>(r);
}

int32_t CheckedAdd(int32_t a, int32_t b) {
  int64_t r = int64_t{a} + b;
  if (r < INT32_MIN || r > INT32_MAX) throw TimeOverflow("time sum out of 32-bit range");
  return static_cast<int32_t>(r);
}

// Counts time markers through a file read with ReadAt, a chunk at a time, for the clean cut's
// planning: where the byte after the n-th marker lies.
class MarkerScan {
 public:
  explicit MarkerScan(const os::File& file) : file_(file), buffer_(kChunk) {}

  void SkipTo(int64_t byte, int32_t count) {
    at_ = byte;
    count_ = count;
  }
  // Reads on to just after the n-th marker (stays where it is when that is passed already);
  // false when the file ends first or a stop came. `progress` hears every tenth marker.
  template <typename Progress>
  bool Find(int32_t n, const StopFlag& stop, Progress progress) {
    while (count_ < n) {
      if (stop != 0) return false;
      const std::size_t got = file_.ReadAt(buffer_.data(), buffer_.size(), at_) / kPacketSize * kPacketSize;
      if (got == 0) return false;
      std::size_t i = 0;
      for (; i < got && count_ < n; i += kPacketSize)
        if (TimeMarkerPacket(&buffer_[i]) && ++count_ % 10 == 0) progress(count_);
      at_ += static_cast<int64_t>(i);
    }
    return true;
  }
  int64_t Byte() const { return at_; }

 private:
  static constexpr std::size_t kChunk = kPacketSize * 5578;  // about 1 MiB of whole packets
  const os::File& file_;
  std::vector<uint8_t> buffer_;
  int64_t at_ = 0;
  int32_t count_ = 0;
};

bool Fine(const CutPart& p) { return !p.start.Whole() || !p.end.Whole(); }

// A clean job's ranges with those that touch made one, and for each the range it begins with.
std::vector<CutPart> JoinTouching(const std::vector<CutPart>& parts, bool clean, std::vector<std::size_t>& origin) {
  std::vector<CutPart> joined;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (clean && !joined.empty() && joined.back().end == parts[k].start) {
      joined.back().end = parts[k].end;
      continue;
    }
    joined.push_back(parts[k]);
    origin.push_back(k);
  }
  return joined;
}

class Cutter {
 public:
  // The source path is copied: the caller's (the analysed recording) may change meanwhile.
  Cutter(const std::string& source, const std::string& target, const std::vector<CutPart>& parts,
         SourceFile& file1, TargetFile& file2, const StopFlag& stop, CutReport& report, const CutOptions& options)
      : source_(source), target_(target), parts_(JoinTouching(parts, options.mode == CutMode::kClean, origin_)),
        file1_(file1), file2_(file2), stop_(stop), report_(report), known_(options.known_start),
        total_(options.known_total), keep_clocks_(options.keep_clocks), clean_(options.mode == CutMode::kClean),
        fine_(std::any_of(parts.begin(), parts.end(), Fine)), timed_(clean_ && (parts.size() >= 2 || fine_)) {
    // A single clean cut keeps every byte it writes as the recording has it.
    if (clean_ && parts.size() >= 2 && !keep_clocks_) counters_.emplace();
    if (!parts_.empty()) {
      job_start_ = parts_.front().start.second;
      job_end_ = parts_.back().end.second;
    }
  }

  CutResult Run() {
    Tail tail{*this};
    // The same file under another name (a link, another spelling, a letter case the file system
    // ignores) is refused too: deleting the target would destroy the source.
    if (IsTheSource(source_, target_)) {
      r_.outcome = CutOutcome::Refused;
      Tell();
      return r_;
    }
    try {
      OpenSource();
      if (!Decide()) return r_;
      OpenTarget();
      // Each range is sought and copied where the last one left off. A range whose START is the
      // END before it seeks nothing: the END-th marker, just copied, is the START-th one.
      for (part_ = 0; part_ < parts_.size() && !ended_; ++part_) {
        start_ = parts_[part_].start.second;
        end_ = parts_[part_].end.second;
        zeros_ = bad_ = 0;  // each range counts its own, as its own cut would
        if (!Seek() || !TakeHead() || !Copy()) break;
        if (part_ + 1 < parts_.size()) seconds_before_ = CheckedAdd(seconds_before_, CheckedSub(end_, start_));
      }
      if (!ended_) {
        if (part_ == parts_.size()) part_ = parts_.empty() ? 0 : parts_.size() - 1;
        r_.stopped = Stopped();
        Finish(CutOutcome::Completed);
      }
    } catch (const std::exception&) {
      r_.outcome = CutOutcome::Failed;
      r_.stage = stage_;
      r_.part = PartNumber(part_);
      Tell();
    }
    return r_;
  }

 private:
  // Closes what this run opened, on every way out, after the end has been told. A file slot held
  // by another run (an analysis this cut was started inside) is not this run's to close.
  struct Tail {
    Cutter& c;
    ~Tail() {
      if (c.opened_source_) c.file1_.Close();
      if (c.opened_target_) c.file2_.Close();
    }
  };

  bool Stopped() const { return stop_ != 0; }

  void Begin(CutStage stage) {
    stage_ = stage;
    report_.StageBegun(stage);
  }

  // The clean cut reads its heads and tails from a handle of its own, checked to be the file the
  // cut opened: a file renamed over the recording lends it nothing.
  void OpenSource() {
    Begin(CutStage::OpenSource);
    file1_.Open(source_);
    opened_source_ = true;
    if (!clean_ && !fine_) return;
    clean_source_ = os::File::OpenForReading(source_);
    if (!file1_.IsFile(clean_source_)) throw std::runtime_error("the source was replaced while it was opened");
  }

  // What the source alone decides, decided before the target is touched: a cut it refuses leaves
  // whatever was at the target as it was. False when the cut has ended here.
  bool Decide() {
    if (timed_) return PlanTimed();
    if (clean_) return PlanAll();
    if (!parts_.empty() && total_ && parts_.front().start.second > total_->markers && os::StampOf(source_) == total_->stamp) {
      End(CutOutcome::StartBeyondEnd);
      return false;
    }
    return true;
  }

  // Every range's start byte and clean head, found from the clean cut's own handle while the
  // source is being opened; the bar moves up to where the next stage takes it. A range past the
  // end is left to the seek, which ends the job there as it ends any cut; only the first range
  // past the end refuses here, as nothing would be written.
  bool PlanAll() {
    stage_ = CutStage::Seek;  // reading the source is the seek's work, and fails as the seek does
    MarkerScan scan(clean_source_);
    SkipKnown(scan);
    const int32_t last_start = parts_.empty() ? 0 : std::max(parts_.back().start.second, 1);
    int32_t reached = 0;  // the marker count where the copy of the range before leaves off
    for (std::size_t k = 0; k < parts_.size() && !Stopped(); ++k) {
      const int32_t from = std::max(parts_[k].start.second, reached);
      if (!scan.Find(from, stop_, [&](int32_t count) {
            report_.Percent(Percent(static_cast<double>(std::min(count, last_start)) / last_start * 16));
          })) {
        if (Stopped() || k > 0) break;
        End(CutOutcome::StartBeyondEnd);
        return false;
      }
      planned_starts_.push_back(scan.Byte());
      heads_.emplace_back();
      reached = std::max(from, parts_[k].end.second);
      if (from >= parts_[k].end.second) continue;
      cleancut::CleanHeadResult planned =
          cleancut::PlanCleanHead(clean_source_, scan.Byte(), CheckedSub(parts_[k].end.second, from));
      if (planned.outcome == cleancut::CleanCutOutcome::kPlanned) {
        heads_.back() = std::move(planned.head);
        continue;
      }
      return RefuseRange(k, planned.outcome);
    }
    stage_ = CutStage::OpenSource;
    return true;
  }

  // A range the source gives no clean cut of refuses the whole cut, naming the range, before the
  // target is touched; a source that fails to read is a failure of the stage instead. False.
  bool RefuseRange(std::size_t k, cleancut::CleanCutOutcome outcome) {
    if (outcome == cleancut::CleanCutOutcome::kUnreadable) throw std::runtime_error("clean cut: read");
    part_ = k;
    r_.refusal = cleancut::RefusalText(outcome);
    End(CutOutcome::NotClean);
    return false;
  }

  void SkipKnown(MarkerScan& scan) const {
    if (known_ && !parts_.empty() && known_->marker == parts_.front().start.second && known_->marker > 0 &&
        os::StampOf(source_) == known_->stamp)
      scan.SkipTo(known_->byte, known_->marker);
  }

  // Every range of a clean job, or of a clean cut at a time finer than a second, planned whole by
  // the times of its pictures and sound before the target is touched (cleancut/timed_edges.h).
  // The copy then writes each plan from the cut's own handle, the middle of a range in long runs.
  bool PlanTimed() {
    stage_ = CutStage::Seek;
    MarkerScan scan(clean_source_);
    SkipKnown(scan);
    const int32_t last = parts_.empty() ? 1 : std::max(parts_.back().end.second, 1);
    const auto percent = [&](int32_t count) {
      report_.Percent(Percent(static_cast<double>(std::min(count, last)) / last * 16));
    };
    std::optional<cleancut::TimedHead> ahead;  // the next range's start, when planned ahead
    for (std::size_t k = 0; k < parts_.size() && !Stopped(); ++k) {
      if (!ahead && !scan.Find(parts_[k].start.second, stop_, percent)) {
        if (Stopped() || k > 0) break;
        End(CutOutcome::StartBeyondEnd);
        return false;
      }
      const cleancut::TimedHead head =
          ahead ? std::move(*ahead) : cleancut::PlanTimedHead(clean_source_, scan.Byte(), parts_[k].start.millis);
      ahead.reset();
      const int64_t start_byte = head.start_byte;
      const int64_t end_byte = scan.Find(parts_[k].end.second, stop_, percent) ? scan.Byte() : -1;
      if (Stopped()) break;
      // The range ends in the order of its pictures before the key picture the next one starts with.
      std::optional<cleancut::JoinKey> next;
      if (end_byte >= 0 && k + 1 < parts_.size() && scan.Find(parts_[k + 1].start.second, stop_, percent)) {
        ahead = cleancut::PlanTimedHead(clean_source_, scan.Byte(), parts_[k + 1].start.millis);
        next = ahead->Key();
      }
      if (Stopped()) break;
      cleancut::TimedCut cut =
          cleancut::PlanTimedCut(clean_source_, head, end_byte, parts_[k].end.millis, {}, next ? &*next : nullptr);
      if (cut.outcome == cleancut::CleanCutOutcome::kPlanned) {
        planned_starts_.push_back(start_byte);
        heads_.emplace_back();
        timed_bytes_ += cut.size;
        timed_cuts_.push_back({std::move(cut.runs), end_byte, cut.has_video, cut.video_pid, std::move(cut.start), std::move(cut.end)});
        if (end_byte < 0) break;  // the recording ends in this range
        continue;
      }
      if (cut.outcome == cleancut::CleanCutOutcome::kStopped) break;
      return RefuseRange(k, cut.outcome);
    }
    stage_ = CutStage::OpenSource;
    return true;
  }

  // The first video PES after `marker_byte` at or after its thousandths; without video, the marker.
  int64_t PictureAfter(int64_t marker_byte, int32_t millis) {
    const int64_t at = cleancut::ExactCutPoint(clean_source_, marker_byte, millis);
    if (at < 0) throw std::runtime_error("the source cannot be read");
    return at;
  }

  void OpenTarget() {
    Begin(CutStage::OpenTarget);
    // Only a file (or a link, which goes without what it points to) is replaced: a directory,
    // device, FIFO or socket at the path is not this program's to delete.
    // Created new: whatever another program (or a link to the source) put at the path since the
    // deletion is left alone, and this run fails instead of writing into it.
    os::RequireWritable(target_);  // a file the user may not write is refused, never replaced
    os::RemoveFile(target_);
    file2_.whole_records_on_failure = parts_.size() > 1;
    file2_.Open(target_);
    opened_target_ = true;
    created_ = os::StampOf(target_);
  }

  // The target this run created, while it is still that file and still empty. Whatever else
  // stands there now, and a file that holds a byte, stays. Removing is a courtesy: when it fails
  // the run has still ended as it did.
  void RemoveEmptyTarget() noexcept {
    try {
      const std::optional<os::FileStamp> now = os::StampOf(target_);
      if (created_ && now && now->volume == created_->volume && now->index == created_->index && now->size == 0)
        os::RemoveFile(target_);
    } catch (const std::exception&) {
    }
  }

  // Reads packet heads up to the start-th time marker. False when the source ended first: the
  // copy would find nothing after it, and records past the end would never bring the marker.
  bool Seek() {
    Stage(CutStage::Seek);
    fine_end_ = -1;
    if ((part_ == 0 || Timed()) && (SkipToPlannedStart() || SkipToKnownStart())) return SeekFineStart();
    uint8_t head[kHeadSize];
    while (count_ < start_ && !Stopped()) {
      file1_.ReadHead(head);
      pos_ += kPacket;
      if (TimeMarkerPacket(head) && ++count_ % 10 == 0)
        report_.Percent(part_ == 0 ? Percent(static_cast<double>(count_) / start_ * 33 + 33) : CopyPercent());
      if (count_ < start_ && file1_.PastEnd()) {
        file2_.Finish();
        if (part_ > 0) {
          // What earlier ranges wrote is kept, whole and closed: the source ended before this range.
          End(CutOutcome::SourceEnded);
          return false;
        }
        // Nothing was written and nothing will be: an empty file left behind would pass for a cut.
        RemoveEmptyTarget();
        End(CutOutcome::StartBeyondEnd);
        return false;
      }
    }
    return SeekFineStart();
  }

  // An exact cut's start at a time finer than a second: on from the START-th marker to the first
  // picture at its thousandths, read on the way as the seek reads.
  bool SeekFineStart() {
    const CutTime start = parts_[part_].start;
    if (clean_ || start.Whole() || Stopped() || count_ < start_) return true;
    const int64_t first = PictureAfter(pos_, start.millis);
    uint8_t head[kHeadSize];
    while (pos_ < first && !Stopped()) {
      file1_.ReadHead(head);
      pos_ += kPacket;
      if (TimeMarkerPacket(head)) ++count_;
    }
    return true;
  }

  // A clean cut found the first range's start while it opened the source, a timed one every
  // range's.
  bool SkipToPlannedStart() {
    if (planned_starts_.size() <= part_ || Stopped() || (start_ <= 0 && !Timed())) return false;
    file1_.SkipTo(planned_starts_[part_]);
    pos_ = planned_starts_[part_];
    count_ = start_;
    if (const int32_t last = start_ / 10 * 10; last > 0 && part_ == 0)
      report_.Percent(Percent(static_cast<double>(last) / start_ * 33 + 33));
    return true;
  }

  // This range was planned whole by its times.
  bool Timed() const { return part_ < timed_cuts_.size(); }

  // Where the marker index has already counted up to the start in this very file, the source is
  // read on from the byte after the start-th marker, which is where counting would have left it.
  // The bar ends where the count's last report would have put it.
  bool SkipToKnownStart() {
    if (!known_ || known_->marker != start_ || start_ <= 0 || Stopped() || os::StampOf(source_) != known_->stamp)
      return false;
    file1_.SkipTo(known_->byte);
    pos_ = known_->byte;
    count_ = start_;
    if (const int32_t last = start_ / 10 * 10; last > 0)
      report_.Percent(Percent(static_cast<double>(last) / start_ * 33 + 33));
    return true;
  }

  // The clean head planned for this range. The seek has come to the byte the plan starts from;
  // anywhere else the source has changed under the cut.
  bool TakeHead() {
    if (!clean_ || Stopped() || part_ >= heads_.size()) return true;
    if (pos_ != planned_starts_[part_] && count_ < end_) throw std::runtime_error("clean cut: the source changed");
    if (heads_[part_]) head_ = std::move(heads_[part_]);
    return true;
  }

  // Writes `runs` of the source, read apart from the copy's own reading. `timed`: the runs of a
  // timed range, whose bytes move the bar and after each read of which a stop ends the writing;
  // false then.
  bool WriteRuns(const std::vector<cleancut::ByteRun>& runs, bool timed = false,
                 cleancut::ClockShift* shift = nullptr) {
    constexpr std::size_t kRecords = 4096;
    std::vector<uint8_t> buffer(kRecords * kPacketSize);
    for (const cleancut::ByteRun& run : runs) {
      for (int64_t at = run.offset; at < run.offset + run.length;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<int64_t>(run.offset + run.length - at, int64_t(buffer.size())));
        if (clean_source_.ReadAt(buffer.data(), want, at) != want) throw std::runtime_error("clean cut: source shrank");
        cleancut::RewriteHeaders(buffer.data(), want / kPacketSize, at, shift, counters_ ? &*counters_ : nullptr);
        Wrote(at, static_cast<int64_t>(want), shift ? static_cast<int32_t>(plan_->ticks.size()) - 1 : -1);
        file2_.WriteRecords(buffer.data(), want / kPacketSize);
        r_.packets_written += static_cast<int64_t>(want / kPacketSize);
        at += static_cast<int64_t>(want);
        if (!timed || timed_bytes_ <= 0) continue;
        timed_written_ += static_cast<int64_t>(want);
        if (const int32_t now = Percent(static_cast<double>(timed_written_) / timed_bytes_ * 33 + 66); now > shown_)
          report_.Percent(shown_ = now);
        if (Stopped()) return false;
      }
    }
    return true;
  }

  // A range planned by its times is written from its plan; the source's reading goes on after
  // its END-th marker.
  bool CopyTimed() {
    const TimedPart& part = timed_cuts_[part_];
    // From the second range on the clock runs on from where the range before stopped showing,
    // and the key picture decodes after the last picture of the range before.
    std::optional<cleancut::ClockShift> shift;
    int64_t ticks = 0, key_dts = -1;
    if (part_ > 0 && part.has_video && clock_end_ && !keep_clocks_) {
      ticks = cleancut::JoinOffset(*clock_end_, part.start.key_pts);
      const int64_t next = part.start.next_dts < 0 ? -1 : cleancut::MoveTime(part.start.next_dts, ticks);
      if (dts_end_) key_dts = cleancut::KeyDts(*dts_end_, *clock_end_, next, part.start.picture);
      shift.emplace(ticks, part.video_pid, key_dts);
      plan_->ticks.push_back(ticks);
      plan_->key_dts.push_back({part.video_pid, key_dts});
      clock_end_ = cleancut::MoveTime(part.end.stop_pts, ticks);
    } else {
      clock_end_ = part.has_video ? std::optional<int64_t>(part.end.stop_pts) : std::nullopt;
    }
    // The last DTS written: its last picture's, or the key picture's as raised where that is later
    // (nothing kept after the leading pictures).
    dts_end_.reset();
    if (part.has_video && part.end.last_dts >= 0) {
      const int64_t last = cleancut::MoveTime(part.end.last_dts, ticks);
      dts_end_ = key_dts < 0 ? last : cleancut::LaterTime(last, key_dts);
    }
    if (Stopped() || !WriteRuns(part.runs, true, shift ? &*shift : nullptr)) return false;
    const int64_t end_byte = timed_cuts_[part_].end_byte;
    if (end_byte < 0) {
      Finish(CutOutcome::SourceEnded);
      return false;
    }
    file1_.SkipTo(end_byte);
    pos_ = end_byte;
    count_ = end_;
    return true;
  }

  // The head's packets are written from their own reads; the source's reading passes over them,
  // counting their markers, to go on whole from where the head ends.
  void CopyCleanHead() {
    WriteRuns(head_->runs);
    while (pos_ < head_->resume) {
      const uint8_t* run = nullptr;
      const auto want = static_cast<std::size_t>((head_->resume - pos_) / kPacket);
      const std::size_t got = file1_.ReadRecordsInPlace(run, want);
      for (std::size_t i = 0; i < got; ++i)
        if (TimeMarkerPacket(run + kPacketSize * i)) ++count_;
      pos_ += static_cast<int64_t>(got) * kPacket;
    }
  }

  // What a copied packet asks of the run, besides being written.
  enum class Event { None, Progress, SourceEnded, PacketError };

  // Packets are examined in runs straight from the source's buffer and written as one run; a
  // run ends at the first packet that asks for something. The stop request can change only
  // while the window gets its events, at the end of a run, so testing it per run is testing it
  // before every read.
  // True when the range's END-th marker was copied and no stop came: the job goes on.
  bool Copy() {
    Stage(CutStage::Copy);
    if (Timed()) return CopyTimed();
    if (head_) CopyCleanHead();
    while (More(pos_) && !Stopped()) {
      const uint8_t* run = nullptr;
      std::size_t got = file1_.ReadRecordsInPlace(run, SIZE_MAX);
      // A clean cut is only the recording's packets: it ends at the last whole one.
      if (clean_ && file1_.PastEnd()) {
        Finish(CutOutcome::SourceEnded);
        return false;
      }
      std::size_t used = 0;
      Event event = Event::None;
      while (event == Event::None && used < got && More(pos_ + kPacket * static_cast<int64_t>(used)))
        event = Examine(run + kPacketSize * used++);
      file1_.UnreadRecords(got - used);
      file2_.WriteRecords(run, used);
      Wrote(pos_, static_cast<int64_t>(used) * kPacket, -1);
      r_.packets_written += static_cast<int64_t>(used);
      pos_ += static_cast<int64_t>(used) * kPacket;
      switch (event) {
        case Event::None:
          break;
        case Event::Progress:
          report_.Percent(CopyPercent());
          break;
        case Event::SourceEnded:
          Finish(CutOutcome::SourceEnded);
          return false;
        case Event::PacketError:
          // The time in the new file: the ranges written before, then this one's so far.
          if (!packet_error_) packet_error_ = PacketErrorAt{part_, CheckedAdd(seconds_before_, CheckedSub(count_, start_))};
          head_.reset();
          if (part_ + 1 < parts_.size()) return true;  // the next range is cut as its own cut would be
          Finish(CutOutcome::PacketError);
          return false;
      }
    }
    if (Stopped()) return false;
    // The END-th marker copied: the PESs open there are made whole.
    if (head_ && count_ >= end_) WriteRuns(cleancut::PlanCleanTail(clean_source_, *head_, pos_));
    head_.reset();
    return true;
  }

  // Whether the packet at `at` is the range's: up to its END-th marker, and of an exact cut on to
  // the first picture at END's thousandths, found once that marker is copied.
  bool More(int64_t at) {
    if (count_ < end_) return true;
    const CutTime end = parts_[part_].end;
    if (clean_ || end.Whole()) return false;
    if (fine_end_ < 0) fine_end_ = PictureAfter(at, end.millis);
    return at < fine_end_;
  }

  // A range as the caller numbered it, before touching ranges were joined.
  int32_t PartNumber(std::size_t k) const {
    if (origin_.empty()) return 0;
    return static_cast<int32_t>(origin_[std::min(k, origin_.size() - 1)]);
  }

  // The copy's share of the bar runs over the whole job, from the first START to the last END,
  // the stretches between ranges included: the marker count is the one measure of how far.
  int32_t CopyPercent() const {
    double copied = CheckedSub(count_, job_start_), job = CheckedSub(job_end_, job_start_);
    if (job <= 0) return 99;  // ranges out of order, which no caller hands over: never a division by zero
    return Percent(copied / job * 33 + 66);
  }

  // A stage is shown as it begins in the first range only: the job shows the stages of one cut.
  // Later ranges still answer for their failures in the stage they are in.
  void Stage(CutStage stage) {
    if (part_ == 0)
      Begin(stage);
    else
      stage_ = stage;
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
  void Finish(CutOutcome outcome) {
    file2_.Finish();
    End(outcome);
  }

  // Adjacent runs of the same kind are one: the plan stays as long as the job's joins and edges.
  void Wrote(int64_t offset, int64_t length, int32_t join) {
    if (length <= 0) return;
    std::vector<WrittenRun>& runs = plan_->runs;
    if (!runs.empty() && runs.back().join == join && runs.back().offset + runs.back().length == offset)
      runs.back().length += length;
    else
      runs.push_back({offset, length, join});
  }

  // A report that fails while hearing how the cut ended fails the stage in progress instead.
  // A job ends as its worst range: a packet error in an earlier one outweighs a later end.
  void End(CutOutcome outcome) {
    ended_ = true;
    r_.outcome = outcome;
    r_.stage = stage_;
    r_.part = PartNumber(part_);
    if (opened_target_) {
      plan_->clean = clean_;
      plan_->counters_run_on = counters_.has_value();
      r_.plan = plan_;
    }
    if (packet_error_ && (outcome == CutOutcome::Completed || outcome == CutOutcome::SourceEnded || outcome == CutOutcome::PacketError)) {
      r_.outcome = CutOutcome::PacketError;
      r_.part = PartNumber(packet_error_->part);
      r_.packet_error_second = packet_error_->second;
    }
    report_.Ended(r_);
  }

  // The end told once more, as a failure, or a refusal: nothing is left to fail.
  void Tell() noexcept {
    try {
      report_.Ended(r_);
    } catch (const std::exception&) {
    }
  }

  static constexpr int64_t kPacket = static_cast<int64_t>(kPacketSize);
  static int32_t Percent(double value) { return static_cast<int32_t>(RoundHalfEven(value)); }

  const std::string source_;
  const std::string target_;
  std::vector<std::size_t> origin_;       // for each range cut, the caller's range it begins with
  const std::vector<CutPart> parts_;
  std::size_t part_ = 0;                  // the range being sought or copied
  int32_t start_ = 0, end_ = 0;           // its START and END
  int32_t job_start_ = 0, job_end_ = 0;   // the first START and the last END
  int32_t seconds_before_ = 0;            // the length of the ranges already written
  SourceFile& file1_;
  TargetFile& file2_;
  const StopFlag& stop_;
  CutReport& report_;
  const std::optional<MarkerIndex::Known> known_;
  const std::optional<MarkerIndex::Total> total_;
  const bool keep_clocks_;
  std::optional<os::FileStamp> created_;  // the target as this run created it
  const bool clean_;
  const bool fine_;   // a time finer than a second
  const bool timed_;  // every range planned by its pictures' and sound's times
  CutResult r_;
  std::shared_ptr<WrittenPlan> plan_ = std::make_shared<WrittenPlan>();
  CutStage stage_ = CutStage::OpenSource;
  int64_t pos_ = 0;  // bytes of the source read so far
  os::File clean_source_;  // the clean cut's own reading: its head, its tail
  std::optional<cleancut::CleanHead> head_;
  std::vector<int64_t> planned_starts_;                   // the clean cut's: the byte after each START-th marker
  std::vector<std::optional<cleancut::CleanHead>> heads_;  // and each range's head, when it has one
  struct PacketErrorAt {
    std::size_t part = 0;
    int32_t second = 0;
  };
  std::optional<PacketErrorAt> packet_error_;
  struct TimedPart {
    std::vector<cleancut::ByteRun> runs;
    int64_t end_byte = -1;  // after the END-th marker; -1: the recording ends in the range
    bool has_video = false;
    uint16_t video_pid = 0;
    cleancut::TimedStart start;  // its first picture shown, and the pictures after it
    cleancut::TimedEnd end;      // when its last one stops
  };
  std::optional<int64_t> clock_end_;  // when the last range written stops showing, as written
  std::optional<int64_t> dts_end_;    // the last DTS of its video, as written
  std::optional<cleancut::ContinuityCounters> counters_;  // a clean job's, which every run written passes
  std::vector<TimedPart> timed_cuts_;
  int64_t timed_bytes_ = 0, timed_written_ = 0;
  int32_t shown_ = 66;
  int64_t fine_end_ = -1;  // the exact cut's end at END's thousandths, once found
  int32_t count_ = 0, zeros_ = 0, bad_ = 0;
  bool opened_source_ = false, opened_target_ = false;
  bool ended_ = false;  // the end has been told
};

}  // namespace

std::string ComparisonPath(const std::string& source) {
  std::string out;
  for (std::size_t i = 0; i < source.size(); ++i) {
    out += source[i];
    if (source[i] == '\\' && i + 1 < source.size() && source[i + 1] == '\\') ++i;
  }
  return out;
}

bool IsTheSource(const std::string& source, const std::string& target) {
  return target == ComparisonPath(source) || os::SameFile(source, target);
}

CutResult CutRecording(const std::string& source, const std::string& target, CutTime start, CutTime end,
                       SourceFile& file1, TargetFile& file2, const StopFlag& stop, CutReport& report,
                       const CutOptions& options) {
  return CutRecording(source, target, std::vector<CutPart>{{start, end}}, file1, file2, stop, report, options);
}

CutResult CutRecording(const std::string& source, const std::string& target, const std::vector<CutPart>& parts,
                       SourceFile& file1, TargetFile& file2, const StopFlag& stop, CutReport& report,
                       const CutOptions& options) {
  return Cutter(source, target, parts, file1, file2, stop, report, options).Run();
}

}  // namespace trimora
