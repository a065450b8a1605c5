// The check after a save: a clean job of three ranges, whose joins move header fields, is found
// as it was written; one payload byte changed afterwards is found, at its place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cut.h"
#include "engine/record_file.h"
#include "tests/cli_runner.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"
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
  EXPECT_NE(cli.out.find(verify::VerifyLine({verify::WrittenCheck::kMatches, -1, 7})), std::string::npos) << cli.out;

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

  Bytes written = ReadAll(dir / "job.ts");
  const std::size_t at = written.size() / 2 / kPacketSize * kPacketSize + 150;
  written[at] ^= 0x01;
  WriteAll(dir / "job.ts", written);
  const verify::WrittenCheckResult changed = verify::CheckWritten(rec, job, *cut.plan, 7, stop);
  EXPECT_EQ(changed.outcome, verify::WrittenCheck::kDiffers);
  EXPECT_EQ(changed.at, int64_t(at));
}

}  // namespace
}  // namespace trimora::testkit
