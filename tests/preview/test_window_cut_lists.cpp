// The window's list read from and written to the lists of other tools, on a recording with real
// video whose clock they count by, and saved clean with the check after the save.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "clock/recording_clock.h"
#include "decodecheck/decoding.h"
#include "ranges/list_forms.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"
#include "verify/verify_texts.h"
#include "window/events/events.h"

namespace trimora {
namespace {

class Dialogs : public FileDialogs {
 public:
  std::string ShowFileDialog(const std::string&, const std::string&, const std::string&, bool) override {
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<std::string> answers;
};

class NoWeb : public WebOpener {
 public:
  void Open(const std::string&) override {}
};

std::string Text(const std::filesystem::path& path) {
  const testkit::Bytes bytes = testkit::ReadAll(path);
  return {bytes.begin(), bytes.end()};
}

TEST(WindowCutLists, AnEdlIsReadAndWrittenByTheRecordingsClock) {
  testkit::TempDir dir;
  testkit::WriteVideoRecording(dir / "rec.nts", {.seconds = 12});
  const clock::ClockRead read = clock::RecordingClock::Read((dir / "rec.nts").string());
  ASSERT_TRUE(read.clock);
  const std::vector<KeptRange> ranges = {{2, 5}, {8, 11}};
  const std::string edl = WriteEdl(ranges, *read.clock, RecordingEnd(*read.clock, 12));
  testkit::WriteAll(dir / "in.edl", testkit::Bytes(edl.begin(), edl.end()));

  WindowModel w;
  AppState st;
  Dialogs dialogs;
  NoWeb web;
  Platform platform{dialogs, web, [](const std::string&, std::string&) { return false; }};
  WindowEvents events(w, st, platform);
  events.Load();
  w.cDataDetail.Value = 1;  // measured: the length is the markers' count
  w.cDataDetail.Click();
  dialogs.answers = {(dir / "rec.nts").string(), (dir / "in.edl").string(), (dir / "out.edl").string()};
  w.bShowDialog.Click();
  ASSERT_EQ(st.iTotalSec, 12);

  w.bImportRanges.Click();
  EXPECT_EQ(w.lRangesMessage.Caption, "");
  EXPECT_EQ(events.Ranges(), ranges) << "what the EDL drops is what the list does not keep";
  w.bExportRanges.Click();
  EXPECT_EQ(Text(dir / "out.edl"), edl) << "a name ending in .edl is written as an EDL";

  // Saved clean with 保存後に確かめる ticked, the job is decoded at its join and ends.
  platform.check_decoding = decodecheck::CheckDecoding;
  w.cPreviewClean.Value = 1;
  w.cVerify.Value = 1;
  dialogs.answers = {(dir / "job.ts").string()};
  w.bSaveRanges.Click();
  const verify::SavedCheck passed{{verify::WrittenCheck::kMatches, -1, 6},
                                  verify::DecodeCheckResult{verify::DecodeCheck::kDecodes, -1, 3, {}}};
  EXPECT_EQ(w.lCMessage.Caption, verify::SavedCheckLine(passed));
}

}  // namespace
}  // namespace trimora
