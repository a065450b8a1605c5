// Record files: reading at and past the end, heads that move a whole record, the one source slot,
// records that straddle the read buffer, target writes that keep every byte in order (also when the
// source's records are copied inside the system), and the first failed write that stops all later
// ones.
#include "engine/record_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::Bytes;
using testkit::Recording;
using testkit::RecordingOptions;

Bytes ReadRecord(SourceFile& f) {
  const uint8_t* r = f.ReadRecordInPlace();
  return Bytes(r, r + kPacketSize);
}
Bytes ReadHead(SourceFile& f) {
  Bytes h(kHeadSize);
  f.ReadHead(h.data());
  return h;
}
Bytes Zeros(std::size_t n) { return Bytes(n, 0); }
Bytes Head(const Bytes& packet) { return Bytes(packet.begin(), packet.begin() + kHeadSize); }

class RecordFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    testkit::WriteAll(dir / name, bytes);
    return (dir / name).string();
  }
  testkit::TempDir dir;
};

// ---------------------------------------------------------------------------------------------
// Reading at and past the end is no error: the data ends in zero bytes.

TEST_F(RecordFileTest, RecordsPastTheEndReadAsZeros) {
  Recording rec(RecordingOptions{.seconds = 1, .packets_per_second = 1, .trailing_packets = 0});
  SourceFile f;
  f.Open(Write("two.nts", rec.AllBytes()));  // 376 bytes
  EXPECT_EQ(f.Size(), 376);
  EXPECT_EQ(ReadRecord(f), rec.Packet(0));
  EXPECT_EQ(ReadRecord(f), rec.Packet(1));
  EXPECT_EQ(ReadRecord(f), Zeros(kPacketSize));
  EXPECT_EQ(ReadHead(f), Zeros(kHeadSize));
  EXPECT_EQ(ReadRecord(f), Zeros(kPacketSize));
}

TEST_F(RecordFileTest, PartialLastRecordIsPaddedWithZeros) {
  Bytes bytes(200);
  for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k + 1);
  SourceFile f;
  f.Open(Write("partial.nts", bytes));
  EXPECT_EQ(ReadRecord(f), Bytes(bytes.begin(), bytes.begin() + 188));
  Bytes expected(bytes.begin() + 188, bytes.end());
  expected.resize(kPacketSize, 0);
  EXPECT_EQ(ReadRecord(f), expected);
  EXPECT_EQ(ReadRecord(f), Zeros(kPacketSize));
}

// ---------------------------------------------------------------------------------------------
// Heads and whole records move the same distance; rewinding starts over from record 1.

TEST_F(RecordFileTest, HeadReadMovesAWholeRecord) {
  Recording rec(RecordingOptions{.seconds = 1, .packets_per_second = 3, .trailing_packets = 0});
  SourceFile f;
  f.Open(Write("four.nts", rec.AllBytes()));
  EXPECT_EQ(ReadHead(f), Head(rec.Packet(0)));
  EXPECT_EQ(ReadRecord(f), rec.Packet(1));
  EXPECT_EQ(ReadHead(f), Head(rec.Packet(2)));
  EXPECT_EQ(ReadHead(f), Head(rec.Packet(3)));
  EXPECT_EQ(ReadHead(f), Zeros(kHeadSize));
}

TEST_F(RecordFileTest, InPlaceReadDeliversTheSameRecordsAsCopyingReads) {
  Recording rec(RecordingOptions{.seconds = 1, .packets_per_second = 1, .trailing_packets = 0});
  SourceFile f;
  f.Open(Write("two.nts", rec.AllBytes(20)));
  const uint8_t* p = f.ReadRecordInPlace();
  EXPECT_EQ(Bytes(p, p + kPacketSize), rec.Packet(0));
  EXPECT_EQ(ReadRecord(f), rec.Packet(1));
  p = f.ReadRecordInPlace();
  EXPECT_EQ(p[0], 0x47);  // the partial record, then zeros
  EXPECT_EQ(Bytes(p + 20, p + kPacketSize), Zeros(kPacketSize - 20));
  p = f.ReadRecordInPlace();
  EXPECT_EQ(Bytes(p, p + kPacketSize), Zeros(kPacketSize));
}

TEST_F(RecordFileTest, RewindDeliversRecordOneAgainEvenAfterTheEnd) {
  Recording rec(RecordingOptions{.seconds = 2});
  SourceFile f;
  f.Open(Write("rec.nts", rec.AllBytes()));
  ReadRecord(f);
  ReadRecord(f);
  f.Rewind();
  EXPECT_EQ(ReadRecord(f), rec.Packet(0));
  for (std::size_t k = 1; k < rec.PacketCount() + 3; ++k) ReadHead(f);
  f.Rewind();
  EXPECT_EQ(ReadHead(f), Head(rec.Packet(0)));
  EXPECT_EQ(ReadRecord(f), rec.Packet(1));
}

// Records that straddle the edge of the internal read buffer must come out whole and in order.
TEST_F(RecordFileTest, EveryRecordOfAFileLargerThanTheBufferReadsIntact) {
  Recording rec(RecordingOptions{.seconds = 3000, .packets_per_second = 4, .trailing_packets = 1});  // 2.8 MB
  const std::size_t tail = 100;
  SourceFile f;
  f.Open(Write("large.nts", rec.AllBytes(tail)));
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < rec.PacketCount(); ++i) {
      if (i % 3 == 1) {
        if (ReadHead(f) != Head(rec.Packet(i))) ++mismatches;
      } else if (ReadRecord(f) != rec.Packet(i)) {
        ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0u);
    Bytes last = ReadRecord(f);
    EXPECT_EQ(last[0], 0x47);  // the partial record: its bytes, then zeros
    EXPECT_EQ(last[tail - 1], tail - 1);
    EXPECT_EQ(Bytes(last.begin() + tail, last.end()), Zeros(kPacketSize - tail));
    EXPECT_EQ(ReadRecord(f), Zeros(kPacketSize));
    f.Rewind();
  }
}

// ---------------------------------------------------------------------------------------------
// The one source slot.

TEST_F(RecordFileTest, OpeningWhileOpenFailsAndKeepsTheOpenFile) {
  Recording a(RecordingOptions{.seconds = 1});
  SourceFile f;
  f.Open(Write("a.nts", a.AllBytes()));
  EXPECT_THROW(f.Open(Write("b.nts", Recording().AllBytes())), std::system_error);
  EXPECT_TRUE(f.IsOpen());
  EXPECT_EQ(ReadRecord(f), a.Packet(0));
}

TEST_F(RecordFileTest, ClosingTwiceDoesNothingAndReadsAfterCloseFail) {
  SourceFile f;
  f.Close();
  f.Open(Write("a.nts", Recording().AllBytes()));
  ReadRecord(f);
  f.Close();
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  // Even with records left in the buffer, a closed slot delivers nothing.
  EXPECT_THROW(ReadRecord(f), std::system_error);
  EXPECT_THROW(f.Size(), std::system_error);
  EXPECT_THROW(f.Rewind(), std::system_error);
  f.Open(Write("b.nts", Recording().AllBytes()));  // the slot is free again
  EXPECT_TRUE(f.IsOpen());
}

TEST_F(RecordFileTest, OnlyOrdinaryFilesOpenAndAFifoDoesNotBlock) {
  std::filesystem::create_directory(dir / "folder.nts");
#ifndef _WIN32  // Windows has no FIFOs in its file system; the path then names nothing
  ASSERT_EQ(::mkfifo((dir / "pipe.nts").c_str(), 0600), 0);
#endif
  SourceFile f;
  EXPECT_THROW(f.Open((dir / "missing.nts").string()), std::system_error);
  EXPECT_THROW(f.Open((dir / "folder.nts").string()), std::system_error);
  EXPECT_THROW(f.Open((dir / "pipe.nts").string()), std::system_error);
  EXPECT_FALSE(f.IsOpen());
}

// ---------------------------------------------------------------------------------------------
// Target writes.

TEST_F(RecordFileTest, TargetIsCreatedNewAndReceivesEveryRecordInOrder) {
  Recording rec(RecordingOptions{.seconds = 3000, .packets_per_second = 4});  // more than the write buffer
  const auto path = dir / "out.nts";
  testkit::WriteAll(path, Bytes(1000, 0xAA));  // an older file of that name is not ours to write
  TargetFile t;
  EXPECT_THROW(t.Open(path.string()), std::system_error);
  EXPECT_EQ(testkit::ReadAll(path), Bytes(1000, 0xAA));
  std::filesystem::remove(path);
  t.Open(path.string());
  EXPECT_TRUE(t.IsOpen());
  EXPECT_THROW(t.Open((dir / "other.nts").string()), std::system_error);
  for (std::size_t i = 0; i < rec.PacketCount(); ++i) t.WriteRecords(rec.Packet(i).data(), 1);
  t.Close();
  t.Close();
  EXPECT_FALSE(t.IsOpen());
  EXPECT_EQ(testkit::ReadAll(path), rec.AllBytes());
  EXPECT_FALSE(std::filesystem::exists(dir / "other.nts"));
}

TEST_F(RecordFileTest, TargetFlushWritesWhatIsBufferedSoFar) {
  Recording rec(RecordingOptions{.seconds = 2});
  TargetFile t;
  t.Open((dir / "out.nts").string());
  t.WriteRecords(rec.Packet(0).data(), 1);
  t.WriteRecords(rec.Packet(1).data(), 1);
  t.Flush();
  EXPECT_EQ(testkit::ReadAll(dir / "out.nts"), rec.Slice(0, 2));
  t.Flush();  // nothing more to write
  t.Close();
  EXPECT_EQ(testkit::ReadAll(dir / "out.nts"), rec.Slice(0, 2));
}

// The first write fails and every later one would succeed: a writer that went on after the
// failure would leave a file with a hole where the failed buffer belonged.
TEST_F(RecordFileTest, TargetWriteFailureStopsTheWritesAndIsThrownByTheNextWriteOrFlushButNeverByClose) {
  const Bytes records = Recording(RecordingOptions{.seconds = 3000, .packets_per_second = 4}).AllBytes();
  TargetFile t;
  EXPECT_THROW(t.Open((dir / "no-such-folder" / "out.nts").string()), std::system_error);
  bool failed = false;
  t.calls.write = [&failed](os::File& file, const void* data, std::size_t size) {
    if (std::exchange(failed, true)) return WriteFile(file, data, size);
    throw std::system_error(EIO, std::generic_category(), "write");
  };
  t.Open((dir / "out.nts").string());
  t.WriteRecords(records.data(), records.size() / kPacketSize);  // more than one buffer
  EXPECT_THROW(t.Flush(), std::system_error);
  EXPECT_THROW(t.WriteRecords(records.data(), 1), std::system_error);
  EXPECT_NO_THROW(t.Close());
  EXPECT_FALSE(t.IsOpen());
  EXPECT_TRUE(testkit::ReadAll(dir / "out.nts").empty());
}

// The cut's way: runs of the source's records as read, skipped records between them, records past
// the end (made up, so never in the read buffer), and bytes from elsewhere, in one target. The
// source closes before the target, as the cut's tail closes them; what was queued must still
// arrive as it was read, although the source has read on (and past the end) meanwhile.
TEST_F(RecordFileTest, TargetGivenTheSourcesRecordsReceivesThemInOrderAsRead) {
  Recording rec(RecordingOptions{.seconds = 3000, .packets_per_second = 20});  // 11 MB: the buffers come round again
  const std::string source_path = Write("rec.nts", rec.AllBytes(50));
  const Bytes other(kPacketSize, 0x33);
  SourceFile source;
  TargetFile t(&source);
  t.calls.write = [](os::File& file, const void* data, std::size_t size) {  // a slow disk: the reads run ahead
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    WriteFile(file, data, size);
  };
  t.Open((dir / "out.nts").string());
  source.Open(source_path);
  Bytes want;
  for (std::size_t turn = 0; !source.PastEnd(); ++turn) {
    const uint8_t* run = nullptr;
    const std::size_t got = source.ReadRecordsInPlace(run, 1 + turn % 700);
    const std::size_t skipped = turn % 5 == 0 ? got / 2 : 0;  // the seek's records are not written
    t.WriteRecords(run + skipped * kPacketSize, got - skipped);
    want.insert(want.end(), run + skipped * kPacketSize, run + got * kPacketSize);
    if (turn % 97 == 0) {
      t.WriteRecords(other.data(), 1);
      want.insert(want.end(), other.begin(), other.end());
    }
  }
  source.Close();
  t.Close();
  EXPECT_EQ(testkit::ReadAll(dir / "out.nts"), want);
}

// A failed write must still hand the source's buffers back: the source would wait for them for
// ever on its next reads.
TEST_F(RecordFileTest, TargetWriteFailureOfTheSourcesRecordsIsThrownAndFreesTheSource) {
  Recording rec(RecordingOptions{.seconds = 3000, .packets_per_second = 20});  // 11 MB: more than the source's buffers
  SourceFile source;
  TargetFile t(&source);
  t.calls.write = [](os::File&, const void*, std::size_t) {
    throw std::system_error(ENOSPC, std::generic_category(), "write");
  };
  t.Open((dir / "out.nts").string());
  source.Open(Write("rec.nts", rec.AllBytes()));
  while (!source.PastEnd()) {
    const uint8_t* run = nullptr;
    const std::size_t got = source.ReadRecordsInPlace(run, SIZE_MAX);
    try {
      t.WriteRecords(run, got);
    } catch (const std::system_error& e) {  // once the writer has failed
      EXPECT_EQ(e.code().value(), ENOSPC);
    }
  }
  EXPECT_THROW(t.Flush(), std::system_error);
  EXPECT_NO_THROW(t.Close());
  EXPECT_TRUE(testkit::ReadAll(dir / "out.nts").empty());
}

}  // namespace
}  // namespace trimora
