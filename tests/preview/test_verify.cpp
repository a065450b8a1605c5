// The check after a save: a clean job of three ranges, whose joins move header fields, is found
// as it was written and decodes at its joins and ends; one payload byte changed afterwards is
// found, at its place; pictures spoilt after a join do not decode, and a gap in their times is
// found.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleancut/seamless_join.h"
#include "decodecheck/decoding.h"
#include "engine/cut.h"
#include "engine/record_file.h"
#include "tests/cli_runner.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"
#include "verify/decode_check.h"
#include "verify/verify_texts.h"
#include "verify/written_check.h"

namespace trimora::testkit {
namespace {

class Quiet : public CutReport {
 public:
  void StageBegun(CutStage) override {}
  void Percent(int32_t) override {}
  void Ended(const CutResult&) override {}
};

TEST(Verify, CleanJobMatchesItsPlanAndAChangedByteIsFound) {
  TempDir dir;
  const std::string rec = (dir / "rec.nts").string(), job = (dir / "job.ts").string();
  WriteVideoRecording(dir / "rec.nts", {.seconds = 12, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});

  const CliResult cli = RunCli(dir.path(), {"cut", "--measure", "--clean", "--verify", "rec.nts", "0:00:01", "0:00:03",
                                            "0:00:05", "0:00:07", "0:00:08", "0:00:11", "cli.ts"});
  EXPECT_EQ(cli.exit_code, 0) << cli.out << cli.err;
  const verify::SavedCheck passed{{verify::WrittenCheck::kMatches, -1, 7}, verify::DecodeCheckResult{verify::DecodeCheck::kDecodes, -1, 4, {}}};
  EXPECT_NE(cli.out.find(verify::SavedCheckLine(passed)), std::string::npos) << cli.out;

  SourceFile file1;
  TargetFile file2{&file1};
  StopFlag stop{0};
  Quiet quiet;
  const std::vector<CutPart> parts{{{1, 0}, {3, 0}}, {{5, 0}, {7, 0}}, {{8, 0}, {11, 0}}};
  CutOptions clean;
  clean.mode = CutMode::kClean;
  const CutResult cut = CutRecording(rec, job, parts, file1, file2, stop, quiet, clean);
  ASSERT_EQ(cut.outcome, CutOutcome::Completed);
  ASSERT_TRUE(cut.plan);
  EXPECT_EQ(cut.plan->ticks.size(), 2u) << "two joins";
  EXPECT_EQ(verify::CheckWritten(rec, job, *cut.plan, 7, stop).outcome, verify::WrittenCheck::kMatches);
  EXPECT_EQ(verify::CheckWritten(rec, job, *cut.plan, 8, stop).outcome, verify::WrittenCheck::kMarkers);

  const std::vector<int64_t> joins = verify::JoinsOf(*cut.plan);
  ASSERT_EQ(joins.size(), 2u);
  const verify::DecodeCheckResult decoded = decodecheck::CheckDecoding(job, joins, stop);
  EXPECT_EQ(decoded.outcome, verify::DecodeCheck::kDecodes) << decoded.message << " at " << decoded.at;
  EXPECT_EQ(decoded.places, 4);

  Bytes written = ReadAll(dir / "job.ts");
  const Bytes saved = written;
  // The pictures' data of the second range's first GOP, garbled past their packet headers.
  for (std::size_t p = static_cast<std::size_t>(joins[0]), spoilt = 0; spoilt < 12; p += kPacketSize)
    if (ts_get_pid(&written[p]) == 0x100 && !(written[p + 1] & 0x40)) {
      for (std::size_t i = 8; i < kPacketSize; ++i) written[p + i] ^= 0x5A;
      ++spoilt;
    }
  WriteAll(dir / "job.ts", written);
  const verify::DecodeCheckResult spoilt = decodecheck::CheckDecoding(job, joins, stop);
  EXPECT_EQ(spoilt.outcome, verify::DecodeCheck::kError);
  EXPECT_GE(spoilt.at, joins[0]);
  EXPECT_LT(spoilt.at, joins[1]);
  EXPECT_EQ(spoilt.places, 1) << "the start decoded";

  // The pictures from the second join on shown half a second late: a gap the sound does not have.
  written = saved;
  cleancut::ClockShift late(45000);
  for (std::size_t p = static_cast<std::size_t>(joins[1]); p < written.size(); p += kPacketSize)
    if (ts_get_pid(&written[p]) == 0x100) late.Apply(&written[p]);
  WriteAll(dir / "job.ts", written);
  const verify::DecodeCheckResult gap = decodecheck::CheckDecoding(job, joins, stop);
  EXPECT_EQ(gap.outcome, verify::DecodeCheck::kClock) << gap.message;
  EXPECT_GE(gap.at, joins[1]);

  written = saved;
  const std::size_t at = written.size() / 2 / kPacketSize * kPacketSize + 150;
  written[at] ^= 0x01;
  WriteAll(dir / "job.ts", written);
  const verify::WrittenCheckResult changed = verify::CheckWritten(rec, job, *cut.plan, 7, stop);
  EXPECT_EQ(changed.outcome, verify::WrittenCheck::kDiffers);
  EXPECT_EQ(changed.at, int64_t(at));
}

}  // namespace
}  // namespace trimora::testkit
