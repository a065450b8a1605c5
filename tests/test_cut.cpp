// The range cutter: the target holds exactly the packets of the range, byte for byte, on every
// way out; the source is never harmed; every failure is reported as one, never as success.
#include "window/runs/cut_range.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "tests/recording_builder.h"
#include "core/time_values.h"
#include "engine/marker_index.h"
#include "verify/verify_texts.h"

namespace trimora {
namespace {

using testkit::Bytes;
using testkit::Recording;
using testkit::RecordingOptions;
namespace fs = std::filesystem;

Bytes Zeros(std::size_t n) { return Bytes(n, 0); }

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// One cut of a generated recording, with every panel update the run made.
class Cut : public ::testing::Test {
 protected:
  Cut() : source(dir / "source.nts"), target(dir / "target.nts") {
    st.sEditFile = source.string();
    w.ProcessEvents = [this] {
      std::string entry = w.pCProgress.Visible
                              ? std::to_string(w.pCProgress.FillPercent) + " " + w.lCProgress.Caption
                              : "message " + w.lCMessage.Caption;
      log.push_back(entry);
      if (onEvents) onEvents();
    };
  }

  void Write(const Recording& r, std::size_t partial = 0) {
    r.WriteTo(source, partial);
    original = testkit::ReadAll(source);
  }

  void Run(int32_t start, int32_t end) { CutRange(w, st, target.string(), start, end); }

  // Packets after the start-th time marker up to and including the end-th.
  static Bytes Range(const Recording& r, int start, int end) {
    std::size_t first = start == 0 ? 0 : r.MarkerIndex(start) + 1;
    return r.Slice(first, r.MarkerIndex(end) + 1);
  }

  Bytes Target() const { return testkit::ReadAll(target); }

  void ExpectTail() {
    EXPECT_TRUE(w.bCut.Enabled);
    EXPECT_FALSE(st.file1.IsOpen());
    EXPECT_FALSE(st.file2.IsOpen());
    EXPECT_EQ(testkit::ReadAll(source), original) << "the source changed";
  }

  void ExpectCompleted() {
    EXPECT_TRUE(w.pCProgress.Visible);
    EXPECT_EQ(w.pCProgress.FillPercent, 100);
    EXPECT_EQ(w.lCProgress.Caption, "書き込みが完了しました。");
    EXPECT_EQ(w.lCProgress_S.Caption, "書き込みが完了しました。");
    ExpectTail();
  }

  void ExpectSourceEnded() {
    EXPECT_TRUE(w.pCProgress.Visible);
    EXPECT_EQ(w.pCProgress.FillPercent, 100);
    EXPECT_EQ(w.lCProgress.Caption, "末尾に達したため書き込みを終了しました。");
    ExpectTail();
  }

  void ExpectFailure(const std::string& message) {
    EXPECT_FALSE(w.pCProgress.Visible);
    EXPECT_TRUE(w.iCWarn.Visible);
    EXPECT_EQ(w.lCMessage.Caption, message);
    ExpectTail();
  }

  testkit::TempDir dir;
  fs::path source, target;
  Bytes original;
  WindowModel w;
  AppState st;
  std::vector<std::string> log;
  std::function<void()> onEvents;
};

// --- What the target holds -------------------------------------------------------------------

TEST_F(Cut, FromTheStartCopiesUpToAndIncludingTheEndthMarker) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  Run(0, 10);
  EXPECT_EQ(Target(), r.Slice(0, r.MarkerIndex(10) + 1));
  ExpectCompleted();
  EXPECT_EQ(log, (std::vector<std::string>{"0 ファイルを開いています... (1/3)", "17 ファイルを開いています... (1/3)",
                                           "33 開始位置を調べています... (2/3)", "66 書き込んでいます... (3/3)",
                                           "99 書き込んでいます... (3/3)", "100 書き込みが完了しました。"}));
}

TEST_F(Cut, MiddleRangeStartsRightAfterTheStartthMarker) {
  Recording r(RecordingOptions{.seconds = 20, .marker_flags = true});
  Write(r);
  Run(5, 7);
  Bytes got = Target();
  EXPECT_EQ(got, Range(r, 5, 7));
  int markers = 0;
  for (std::size_t at = 0; at + kPacketSize <= got.size(); at += kPacketSize) markers += TimeMarkerPacket(&got[at]);
  EXPECT_EQ(markers, 2);
  ExpectCompleted();
}

// With 保存後に確かめる ticked, the save is re-read and the cut panel ends with the check's line.
TEST_F(Cut, TickedVerifyReReadsTheSaveAndSaysSo) {
  Recording r(RecordingOptions{.seconds = 20, .marker_flags = true});
  Write(r);
  w.cVerify.Value = 1;
  Run(5, 7);
  EXPECT_EQ(w.lCMessage.Caption, verify::VerifyLine({verify::WrittenCheck::kMatches, -1, 2}));
  EXPECT_FALSE(w.iCWarn.Visible);
}

TEST_F(Cut, EmptyOrReversedRangeLeavesAnEmptyTargetAndCompletes) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  for (auto [start, end] : {std::pair{7, 7}, std::pair{9, 3}}) {
    Run(start, end);
    EXPECT_TRUE(Target().empty()) << start << ".." << end;
    ExpectCompleted();
  }
}

TEST_F(Cut, NegativeStartCopiesFromTheFirstPacket) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  Run(-5, 15);
  EXPECT_EQ(Target(), r.Slice(0, r.MarkerIndex(15) + 1));
  ExpectCompleted();
  // Progress counts from the start: (10 - -5) / 20 * 33 + 66 = 90.75.
  EXPECT_NE(std::find(log.begin(), log.end(), "91 書き込んでいます... (3/3)"), log.end());
}

TEST_F(Cut, ExistingTargetIsReplacedNotAppendedTo) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  testkit::WriteAll(target, Bytes(100000, 0xAB));
  Run(2, 4);
  EXPECT_EQ(Target(), Range(r, 2, 4));
  ExpectCompleted();
}

TEST_F(Cut, EndBeyondTheMarkersEndsWithTenZeroRecords) {
  Recording r(RecordingOptions{.seconds = 20, .trailing_packets = 3});
  Write(r);
  Run(18, 30);
  EXPECT_EQ(Target(), Concat(r.Slice(r.MarkerIndex(18) + 1, r.PacketCount()), Zeros(10 * kPacketSize)));
  ExpectSourceEnded();
}

TEST_F(Cut, FinalPartialPacketIsCompletedWithZeros) {
  Recording r(RecordingOptions{.seconds = 20, .trailing_packets = 1});
  Write(r, 100);  // a partial record starting with 0x47
  Run(19, 25);
  Bytes partial = r.AllBytes(100);
  partial.erase(partial.begin(), partial.end() - 100);
  partial.resize(kPacketSize, 0);
  Bytes want = Concat(Concat(r.Slice(r.MarkerIndex(19) + 1, r.PacketCount()), partial), Zeros(10 * kPacketSize));
  EXPECT_EQ(Target(), want);
  ExpectSourceEnded();
}

TEST_F(Cut, ZeroFirstBytePacketsCountTowardsTheEndWhereverTheyLie) {
  Recording r(RecordingOptions{.seconds = 20, .trailing_packets = 0});
  for (int n : {3, 6, 9, 11, 12, 14, 16, 18, 19}) r.Packet(r.MarkerIndex(n) - 1)[0] = 0;  // nine inside
  Write(r);
  Run(2, 25);
  // The tenth zero record is the first one read past the end.
  EXPECT_EQ(Target(), Concat(r.Slice(r.MarkerIndex(2) + 1, r.PacketCount()), Zeros(kPacketSize)));
  ExpectSourceEnded();
}

TEST_F(Cut, NinetyNineBadPacketsAreCopiedAndTheHundredthIsAnError) {
  Recording r(RecordingOptions{.seconds = 40, .packets_per_second = 4});
  // 99 bad packets among the non-marker packets of seconds 3..27: all copied, the run completes.
  std::vector<std::size_t> bad;
  for (int n = 3; bad.size() < 99; ++n)
    for (int k = 1; k <= 4 && bad.size() < 99; ++k) bad.push_back(r.MarkerIndex(n) - static_cast<std::size_t>(k));
  for (std::size_t i : bad) r.Packet(i)[0] = static_cast<uint8_t>(0x48 + i % 100);
  Write(r);
  Run(2, 30);
  EXPECT_EQ(Target(), Range(r, 2, 30));
  ExpectCompleted();

  // One more, in second 33 (after 32 markers): the copy stops right after writing it.
  std::size_t hundredth = r.MarkerIndex(33) - 2;
  r.Packet(hundredth)[0] = 0xFF;
  Write(r);
  log.clear();
  Run(2, 38);
  EXPECT_EQ(Target(), r.Slice(r.MarkerIndex(2) + 1, hundredth + 1));
  ExpectFailure("0:00:30でパケットエラー");
}

TEST_F(Cut, DamagedMarkersCountInBothStages) {
  Recording r(RecordingOptions{.seconds = 20});
  r.Packet(r.MarkerIndex(2))[0] = 0x00;  // during the seek: the head is all that is read
  r.Packet(r.MarkerIndex(3))[0] = 0x13;
  r.Packet(r.MarkerIndex(6))[0] = 0x13;  // during the copy
  Write(r);
  Run(3, 6);
  EXPECT_EQ(Target(), Range(r, 3, 6));
  ExpectCompleted();
}

TEST_F(Cut, ProgressAtMultiplesOfTenCountedFromTheSourceStart) {
  Recording r(RecordingOptions{.seconds = 40, .packets_per_second = 1});
  Write(r);
  Run(25, 35);
  // Seek: 10/25*33+33 = 46.2, 20/25*33+33 = 59.4. Copy: (30-25)/10*33+66 = 82.5 -> 82 (even).
  EXPECT_EQ(log, (std::vector<std::string>{"0 ファイルを開いています... (1/3)", "17 ファイルを開いています... (1/3)",
                                           "33 開始位置を調べています... (2/3)", "46 開始位置を調べています... (2/3)",
                                           "59 開始位置を調べています... (2/3)", "66 書き込んでいます... (3/3)",
                                           "82 書き込んでいます... (3/3)", "100 書き込みが完了しました。"}));
  log.clear();
  Run(5, 35);
  // (10-5)/30*33+66 = 71.5 -> 72, (20-5)/30*33+66 = 82.5 -> 82, (30-5)/30*33+66 = 93.5 -> 94.
  EXPECT_EQ(std::vector<std::string>(log.begin() + 4, log.end() - 1),
            (std::vector<std::string>{"72 書き込んでいます... (3/3)", "82 書き込んでいます... (3/3)",
                                      "94 書き込んでいます... (3/3)"}));
}

// A plain model of the cut, one record at a time, to hold the buffered and batched cutter to:
// the bytes it must write and the caption or message it must end with.
struct Expected {
  Bytes bytes;
  std::string ending;
  bool removed = false;  // no target left
};

Expected ModelCut(const Bytes& source, int32_t start, int32_t end) {
  std::size_t next = 0;
  auto record = [&] {
    Bytes r(kPacketSize, 0);
    for (std::size_t k = 0; k < kPacketSize && next * kPacketSize + k < source.size(); ++k)
      r[k] = source[next * kPacketSize + k];
    ++next;
    return r;
  };
  int32_t count = 0, zeros = 0, bad = 0;
  while (count < start) {
    Bytes r = record();
    count += TimeMarkerPacket(r.data());
    if (count < start && next * kPacketSize > source.size()) return {{}, "開始位置が録画の末尾を越えています。", true};
  }
  Expected out;
  while (count < end) {
    Bytes r = record();
    out.bytes.insert(out.bytes.end(), r.begin(), r.end());
    if (r[0] == 0 && ++zeros == 10) return {out.bytes, "末尾に達したため書き込みを終了しました。"};
    if (r[0] != 0 && r[0] != kSyncByte && ++bad == 100)
      return {out.bytes, SecToTime(count - start) + "でパケットエラー"};
    count += TimeMarkerPacket(r.data());
  }
  return {out.bytes, "書き込みが完了しました。"};
}

TEST_F(Cut, SeededDamageAcrossBufferRefillsMatchesThePacketByPacketModel) {
  uint32_t seed = 12345;
  auto random = [&seed](uint32_t below) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % below;
  };
  // Light damage, damage enough for a packet error, a start past the markers, a negative start.
  struct Round {
    uint32_t damage, zero_one_in;
    int32_t start_from, start_span;
  } rounds[] = {{40, 8, 0, 300},   {60, 8, 100, 200}, {600, 300, 0, 200},
                {900, 300, 50, 100}, {10, 8, 800, 50},  {30, 8, -40, 30}};
  for (int round = 0; round < 6; ++round) {
    const Round& how = rounds[round];
    Recording r(RecordingOptions{.seconds = 400 + static_cast<int>(random(400)),
                                 .packets_per_second = 20 + static_cast<int>(random(30))});
    std::size_t damaged = how.damage / 2 + random(how.damage);
    for (std::size_t k = 0; k < damaged; ++k) {
      Bytes& p = r.Packet(random(static_cast<uint32_t>(r.PacketCount())));
      p[0] = random(how.zero_one_in) == 0 ? 0 : static_cast<uint8_t>(1 + random(255));
      if (random(5) == 0) p[1] = 0x00, p[2] = 0x24;  // a damaged packet that is also a marker
    }
    Write(r, random(3) == 0 ? random(188) : 0);
    int32_t start = how.start_from + static_cast<int32_t>(random(static_cast<uint32_t>(how.start_span)));
    int32_t end = start + static_cast<int32_t>(random(700));
    Run(start, end);
    Expected want = ModelCut(original, start, end);
    if (want.removed) {
      EXPECT_FALSE(fs::exists(target)) << "round " << round;
    } else {
      EXPECT_EQ(Target(), want.bytes) << "round " << round << ": " << start << ".." << end;
    }
    EXPECT_EQ(w.pCProgress.Visible ? w.lCProgress.Caption : w.lCMessage.Caption, want.ending) << "round " << round;
    ExpectTail();
  }
}

// Where the marker index has already found the start, the cut goes straight to it: whatever the
// count would have reached, this reaches too, with damage before the start that the count reads
// past, markers whose first byte is bad or 0, and a final partial record.
TEST_F(Cut, KnownStartSkipsTheCountAndWritesWhatTheCountWould) {
  uint32_t seed = 777;
  auto random = [&seed](uint32_t below) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % below;
  };
  Recording r(RecordingOptions{.seconds = 300, .packets_per_second = 30, .trailing_packets = 3});
  r.Packet(r.MarkerIndex(3))[0] = 0x13;  // markers whose records are damaged
  r.Packet(r.MarkerIndex(4))[0] = 0x00;
  for (int k = 0; k < 400; ++k) {
    Bytes& p = r.Packet(random(static_cast<uint32_t>(r.PacketCount())));
    p[0] = random(6) == 0 ? 0 : static_cast<uint8_t>(1 + random(255));
    if (random(5) == 0) p[1] = 0x00, p[2] = 0x24;  // and damaged records that are markers
  }
  Write(r, 120);
  // The cut panel's story without the seek's intermediate steps, which the skip may leave out.
  auto panel = [this] {
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < log.size(); ++i)
      if (log[i].find("(2/3)") == std::string::npos || i + 1 == log.size() || log[i + 1].find("(2/3)") == std::string::npos)
        shown.push_back(log[i]);
    return shown;
  };
  for (auto [start, end] : {std::pair{3, 9}, std::pair{4, 5}, std::pair{57, 140}, std::pair{200, 330},
                            std::pair{250, 251}, std::pair{299, 400}}) {
    st.markers.reset();
    log.clear();
    Run(start, end);
    const Bytes counted = Target();
    const std::vector<std::string> counted_panel = panel();
    const std::size_t counted_steps = log.size();

    st.markers = std::make_shared<MarkerIndex>(st.sEditFile);
    ASSERT_TRUE(st.markers->ByteAfterMarker(start).found) << start;  // as the start picture finds it
    ASSERT_TRUE(st.markers->KnownByteAfterMarker(start)) << start;
    log.clear();
    Run(start, end);
    EXPECT_EQ(Target(), counted) << start << ".." << end;
    EXPECT_EQ(panel(), counted_panel) << start << ".." << end;
    if (start >= 20) {
      EXPECT_LT(log.size(), counted_steps) << "the markers were counted again";
    }
    ExpectTail();
  }
  // A file rewritten since the index found the start is counted again, never skipped into.
  r.Packet(1)[1] = 0x00, r.Packet(1)[2] = 0x24;
  Write(r, 120);
  st.markers = std::make_shared<MarkerIndex>(st.sEditFile);
  st.markers->ByteAfterMarker(60);
  Write(Recording(RecordingOptions{.seconds = 300, .packets_per_second = 31}));
  Run(60, 70);
  Recording now(RecordingOptions{.seconds = 300, .packets_per_second = 31});
  EXPECT_EQ(Target(), Range(now, 60, 70));
}

// --- The source is never the target ------------------------------------------------------------

TEST_F(Cut, SameTextOrBackslashDoubledPathIsRefusedBeforeAnythingIsTouched) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  target = source;
  Run(0, 5);
  ExpectFailure("編集元ファイルには上書き出来ません。");
  EXPECT_EQ(log, (std::vector<std::string>{"message 編集元ファイルには上書き出来ません。"}));

#ifndef _WIN32  // a backslash there is a separator, never part of a name
  // A doubled backslash in the source path counts as one.
  fs::path doubled = dir / "a\\\\b.nts", single = dir / "a\\b.nts";
  r.WriteTo(doubled);
  testkit::WriteAll(single, Bytes{1, 2, 3});
  st.sEditFile = doubled.string();
  w.bCut.Enabled = false;
  CutRange(w, st, single.string(), 0, 5);
  EXPECT_EQ(testkit::ReadAll(single), (Bytes{1, 2, 3}));
  ExpectFailure("編集元ファイルには上書き出来ません。");
#endif
}

TEST_F(Cut, SameFileUnderAnotherPathIsRefusedAndTheSourceStaysWhole) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  fs::create_hard_link(source, dir / "hard.nts");
  fs::create_directory(dir / "sub");
  std::vector<fs::path> others{dir / "hard.nts", dir / "." / "source.nts", dir / "sub" / ".." / "source.nts"};
#ifndef _WIN32  // symbolic links need privileges there
  fs::create_symlink(source, dir / "soft.nts");
  others.push_back(dir / "soft.nts");
#endif
  for (const fs::path& other : others) {
    log.clear();
    CutRange(w, st, other.string(), 0, 5);
    ExpectFailure("編集元ファイルには上書き出来ません。");
    EXPECT_EQ(log.size(), 1u) << other << ": nothing may be opened";
    EXPECT_TRUE(fs::exists(dir / "hard.nts"));
  }
}

// --- Failures ------------------------------------------------------------------------------

TEST_F(Cut, SourceGoneSinceTheAnalysis) {
  Write(Recording(RecordingOptions{.seconds = 20}));
  testkit::WriteAll(target, Bytes{9, 9});
  st.sEditFile = (dir / "gone.nts").string();
  Run(0, 5);
  ExpectFailure("編集元ファイルが開けません。");
  EXPECT_EQ(Target(), (Bytes{9, 9})) << "the target is not touched before the source is open";
}

TEST_F(Cut, SourceSlotHeldByAnotherRunIsLeftToIt) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  st.file1.Open(source.string());  // an analysis this cut was started inside
  Run(0, 5);
  EXPECT_EQ(w.lCMessage.Caption, "編集元ファイルが開けません。");
  EXPECT_TRUE(w.bCut.Enabled);
  EXPECT_TRUE(st.file1.IsOpen());
  st.file1.Close();
}

TEST_F(Cut, TargetThatCannotBeCreatedOrIsNoFileIsLeftAlone) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  target = dir / "missing" / "target.nts";
  Run(0, 5);
  ExpectFailure("保存先ファイルが開けません。");

  target = dir / "folder";  // a directory is not a file to delete
  fs::create_directory(target);
  Run(0, 5);
  ExpectFailure("保存先ファイルが開けません。");
  EXPECT_TRUE(fs::is_directory(target)) << "an empty directory must not be removed either";

#ifndef _WIN32
  target = dir / "pipe";  // nor a FIFO (or a device) that happens to stand at the path
  ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
  Run(0, 5);
  ExpectFailure("保存先ファイルが開けません。");
  EXPECT_TRUE(fs::is_fifo(target));
#endif

#ifndef _WIN32
  target = dir / "link.nts";  // a link is replaced, what it points to is left alone
  testkit::WriteAll(dir / "other.nts", Bytes{5});
  fs::create_symlink(dir / "other.nts", target);
  Run(2, 4);
  EXPECT_FALSE(fs::is_symlink(target));
  EXPECT_EQ(Target(), Range(r, 2, 4));
  EXPECT_EQ(testkit::ReadAll(dir / "other.nts"), Bytes{5});
#endif
}

// Deleting needs only the folder's write permission; a file made read-only stays as it is, even
// for root (the tests may run as root, which a read-only file refuses all the same).
TEST_F(Cut, ReadOnlyTargetIsRefusedAndLeftUntouched) {
  Write(Recording(RecordingOptions{.seconds = 20}));
  testkit::WriteAll(target, Bytes{7, 7, 7});
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Run(0, 5);
  ExpectFailure("保存先ファイルが開けません。");
  EXPECT_EQ(Target(), (Bytes{7, 7, 7}));
  fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);  // Windows deletes no read-only file
}

TEST_F(Cut, FileAppearingAtTheTargetAfterTheDeletionIsNeverWrittenInto) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  testkit::WriteAll(target, Bytes{9, 9});
  // Between our deletion and our creation, a link to the source appears at the target's name.
  st.file2.calls.create = [this](const std::string& path) {
    fs::create_hard_link(source, path);
    return CreateNewFile(path);
  };
  Run(0, 5);
  ExpectFailure("保存先ファイルが開けません。");
  EXPECT_EQ(Target(), original);
}

TEST_F(Cut, FailedCloseOfTheTargetIsAWriteFailure) {
  Write(Recording(RecordingOptions{.seconds = 20}));
  st.file2.calls.close = [](os::File& file) {  // a file system that reports a deferred write error here
    CloseFile(file);
    throw std::system_error(EIO, std::generic_category(), "close");
  };
  Run(0, 5);
  ExpectFailure("ファイルの読み書きに失敗しました。");
}

TEST_F(Cut, FailingWindowDuringTheCopyKeepsWhatWasWritten) {
  Recording r(RecordingOptions{.seconds = 40});
  Write(r);
  onEvents = [this] {
    if (w.pCProgress.FillPercent > 66 && w.pCProgress.FillPercent < 100) throw std::runtime_error("window gone");
  };
  Run(5, 35);
  EXPECT_EQ(Target(), Range(r, 5, 10));
  ExpectFailure("ファイルの読み書きに失敗しました。");
}

#ifndef _WIN32  // file size limits are a POSIX resource limit
// Runs a cut in a child whose files may not grow past `limit` bytes; returns the final message.
std::string CutUnderSizeLimit(const std::string& source, const std::string& target, int32_t start, int32_t end,
                              rlim_t limit) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe");
  pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    ::close(fds[0]);
    ::signal(SIGXFSZ, SIG_DFL);  // the cut itself must keep the limit from killing the process
    rlimit rl{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &rl);
    WindowModel w;
    AppState st;
    st.sEditFile = source;
    CutRange(w, st, target, start, end);
    std::string out = (w.pCProgress.Visible ? w.lCProgress.Caption : w.lCMessage.Caption) +
                      (w.bCut.Enabled ? "|enabled" : "|disabled");
    ssize_t written = ::write(fds[1], out.data(), out.size());
    ::_exit(written == static_cast<ssize_t>(out.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string got;
  char buf[256];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return got;
}

TEST_F(Cut, WriteFailurePartWayIsReportedNeverAsSuccess) {
  // Small enough to sit in the write buffer until the end: the failure shows at the last flush.
  Recording small(RecordingOptions{.seconds = 20});
  Write(small);
  EXPECT_EQ(CutUnderSizeLimit(source.string(), target.string(), 0, 15, 1000),
            "ファイルの読み書きに失敗しました。|enabled");
  Bytes want = small.Slice(0, small.MarkerIndex(15) + 1);
  want.resize(1000);
  EXPECT_EQ(Target(), want);

  // Larger than the buffer: the failure shows in the middle of the copy.
  Recording large(RecordingOptions{.seconds = 3000, .packets_per_second = 4});
  Write(large);
  EXPECT_EQ(CutUnderSizeLimit(source.string(), target.string(), 100, 2900, 1000000),
            "ファイルの読み書きに失敗しました。|enabled");
  want = Range(large, 100, 2900);
  want.resize(1000000);
  EXPECT_EQ(Target(), want);
  EXPECT_EQ(testkit::ReadAll(source), original);
}

#endif

// --- Stop requests and the end of the source --------------------------------------------------

// A stop comes only from the window's closing, which leaves no cut-short file behind.
TEST_F(Cut, StopDuringTheSeekLeavesNoTargetAndCompletes) {
  Recording r(RecordingOptions{.seconds = 40});
  Write(r);
  onEvents = [this] {
    if (w.pCProgress.FillPercent > 33 && w.pCProgress.FillPercent < 66) st.iExitFlag = 1;
  };
  Run(25, 35);
  EXPECT_FALSE(fs::exists(target));
  ExpectCompleted();
  EXPECT_EQ(log.size(), 6u);  // 0, 17, 33, the 10th marker, 66, 100
}

TEST_F(Cut, StopDuringTheCopyRemovesWhatWasWrittenAndCompletes) {
  Recording r(RecordingOptions{.seconds = 40});
  Write(r);
  onEvents = [this] {
    if (w.pCProgress.FillPercent > 66 && w.pCProgress.FillPercent < 100) st.iExitFlag = 1;
  };
  Run(5, 35);
  EXPECT_FALSE(fs::exists(target));
  ExpectCompleted();
}

TEST_F(Cut, StartBeyondTheLastMarkerWarnsAndRemovesTheEmptyTargetItCreated) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r, 50);
  Run(30, 40);
  EXPECT_FALSE(fs::exists(target));
  ExpectFailure("開始位置が録画の末尾を越えています。");
  EXPECT_EQ(log.back(), "message 開始位置が録画の末尾を越えています。");

  // An empty source, and a start one past the last marker.
  Recording::Empty().WriteTo(source);
  original = testkit::ReadAll(source);
  Run(1, 2);
  EXPECT_FALSE(fs::exists(target));
  ExpectFailure("開始位置が録画の末尾を越えています。");
  Write(r);
  Run(21, 22);
  EXPECT_FALSE(fs::exists(target));
  ExpectFailure("開始位置が録画の末尾を越えています。");
  Run(20, 22);  // the 20th marker is the last: the copy finds the end instead
  EXPECT_EQ(Target(), Concat(r.Slice(r.MarkerIndex(20) + 1, r.PacketCount()), Zeros(10 * kPacketSize)));
  ExpectSourceEnded();

#ifndef _WIN32  // Windows renames no file that is open, as the target is
  // A file put in the target's place while the run seeks is not the run's to remove.
  Recording big(RecordingOptions{.seconds = 40});
  Write(big);
  onEvents = [this] {
    if (w.pCProgress.FillPercent > 33 && w.pCProgress.FillPercent < 66 && fs::exists(target)) {
      fs::rename(target, dir / "moved.nts");  // keeps its file number: no new file can take it
      std::ofstream(target).close();
    }
  };
  Run(41, 50);
  EXPECT_TRUE(fs::exists(target));
  EXPECT_TRUE(fs::exists(dir / "moved.nts"));
  ExpectFailure("開始位置が録画の末尾を越えています。");
#endif
}

// Where the recording's markers have all been counted, a START past the last one is refused
// before the target is touched: the file that was there stays as it was.
TEST_F(Cut, StartPastTheCountedMarkersKeepsTheTargetThatWasThere) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  st.markers = std::make_shared<MarkerIndex>(source.string());
  ASSERT_FALSE(st.markers->ByteAfterMarker(21).found);
  ASSERT_TRUE(st.markers->Complete());
  const Bytes kept(3 * kPacketSize, 0x47);
  testkit::WriteAll(target, kept);
  Run(30, 40);
  EXPECT_EQ(Target(), kept);
  ExpectFailure("開始位置が録画の末尾を越えています。");
}

// --- The Save command's second conversion of the boxes -----------------------------------------

TEST_F(Cut, SaveConvertsTheBoxesAgain) {
  Recording r(RecordingOptions{.seconds = 20});
  Write(r);
  w.tStart[2]->SetText("3");
  w.tEnd[1]->SetText("0");
  w.tEnd[2]->SetText("8");
  CutWithBoxes(w, st, target.string());
  EXPECT_EQ(Target(), Range(r, 3, 8));
  ExpectCompleted();

  fs::remove(target);
  for (const char* text : {"ab", "", "99999999"}) {
    w.tEnd[0]->SetText(text);  // unconvertible, or an overflowing total
    w.bCut.Enabled = true;
    CutWithBoxes(w, st, target.string());
    EXPECT_EQ(w.lCMessage.Caption, "指定が正しくありません。") << text;
    EXPECT_TRUE(w.iCWarn.Visible);
    EXPECT_FALSE(fs::exists(target)) << "no cut may start";
  }
}

}  // namespace
}  // namespace trimora
