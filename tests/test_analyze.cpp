// The analysis of a recording: what each stage shows, what every failure leaves on the window,
// the measured length with damaged or partial records, and what the window sees while it runs.
#include "window/runs/analyze_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::Bytes;
using testkit::Recording;
using testkit::RecordingOptions;

constexpr const char* kNotFound = "ファイルが見つかりません。";
constexpr const char* kCannotRead = "ファイルを読み取れません。";
constexpr const char* kTooLarge = "ファイルサイズが2GBを超えています。";
constexpr const char* kSizeUnreadable = "ファイルサイズが読み取れません。";
constexpr const char* kUnknownFormat = "データ形式を認識できません。";
constexpr const char* kEstimateFailed = "記録時間（推定A）を計算出来ません。。";
constexpr const char* kMeasureFailed = "記録時間（推定B）データを読み取れません。";
constexpr const char* kLengthsDiffer = "編集時注意：推定した記録時間に差があります。";

constexpr const char* kStage1 = "ファイルを開いています... (1/5)";
constexpr const char* kStage2 = "ファイルを調べています... (2/5)";
constexpr const char* kStage3 = "データを調べています... (3/5)";
constexpr const char* kStage4 = "データの長さを調べています... (4/5)";
constexpr const char* kStage5 = "初期化しています... (4/5)";
constexpr const char* kMeasuring = "データの長さを調べています. ";

Recording Rec(const RecordingOptions& options) { return Recording(options); }

// What the window looked like each time it processed its events.
struct Seen {
  bool bar;
  int fill;
  std::string caption;
  std::string message;
};

class AnalyzeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    w.ProcessEvents = [this] {
      seen.push_back({w.pProgress.Visible, w.pProgress.FillPercent, w.lProgress.Caption, w.lMessage.Caption});
      if (on_events) on_events();
    };
  }

  std::string Write(const std::string& name, const Recording& rec, std::size_t extra_partial = 0) {
    rec.WriteTo(dir / name, extra_partial);
    return (dir / name).string();
  }
  std::string WriteBytes(const std::string& name, const Bytes& bytes) {
    testkit::WriteAll(dir / name, bytes);
    return (dir / name).string();
  }
  // A file of `size` bytes whose first record starts with the sync byte.
  std::string WriteSized(const std::string& name, int64_t size) {
    testkit::WriteSparse(dir / name, size, Bytes{0x47});
    return (dir / name).string();
  }

  void Analyze(const std::string& path, bool measure = false) {
    w.cTimeB.Value = measure ? 1 : 0;
    AnalyzeFile(w, st, path);
  }

  // The progress captions in the order they were first shown over a visible bar.
  std::vector<std::string> ProgressCaptions() const {
    std::vector<std::string> out;
    for (const Seen& s : seen)
      if (s.bar && (out.empty() || out.back() != s.caption)) out.push_back(s.caption);
    return out;
  }
  std::vector<int> MeasuringBars() const {
    std::vector<int> out;
    for (const Seen& s : seen)
      if (s.bar && s.caption.rfind(kMeasuring, 0) == 0) out.push_back(s.fill);
    return out;
  }
  std::vector<std::string> MeasuringCaptions() const {
    std::vector<std::string> out;
    for (const Seen& s : seen)
      if (s.bar && s.caption.rfind(kMeasuring, 0) == 0) out.push_back(s.caption);
    return out;
  }

  std::vector<std::string> Boxes(TextBox* const (&boxes)[3]) const {
    return {boxes[0]->Text(), boxes[1]->Text(), boxes[2]->Text()};
  }
  void ExpectFailure(const std::string& message) {
    EXPECT_EQ(w.lMessage.Caption, message);
    EXPECT_TRUE(w.iWarn.Visible);
    EXPECT_FALSE(w.iInfo.Visible);
    EXPECT_FALSE(w.pProgress.Visible);
    EXPECT_FALSE(w.fOption.Enabled);
    EXPECT_FALSE(st.file1.IsOpen());
  }
  void ExpectValueLabels(const std::string& type, const std::string& size, const std::string& a,
                         const std::string& b) {
    EXPECT_EQ(w.lDataType.Caption, type);
    EXPECT_EQ(w.lFileSize.Caption, size);
    EXPECT_EQ(w.lTimeA.Caption, a);
    EXPECT_EQ(w.lTimeB.Caption, b);
  }

  // A successful run of a recording of `seconds` seconds, as a previous run the next one must respect.
  std::string AnalyzePrevious(int seconds = 3725) {
    std::string path = Write("previous.nts", Rec({.seconds = seconds, .packets_per_second = 0}));
    Analyze(path, true);
    EXPECT_TRUE(w.fOption.Enabled);
    w.lEOF.Left = 1111;  // as the timeline left it
    w.lZERO.Left = 222;
    seen.clear();
    return path;
  }
  void ExpectPreviousRunKept(const std::string& previous) {
    EXPECT_EQ(st.sEditFile, previous);
    EXPECT_EQ(Boxes(w.tStart), (std::vector<std::string>{"0", "0", "0"}));
    EXPECT_EQ(Boxes(w.tEnd), (std::vector<std::string>{"1", "2", "5"}));
    EXPECT_EQ(w.lEOF.Caption, "1:02:05");
    EXPECT_EQ(w.lEOF.Left, 1111);
    EXPECT_EQ(w.lZERO.Left, 222);
  }

  WindowModel w;
  AppState st;
  testkit::TempDir dir;
  std::vector<Seen> seen;
  std::function<void()> on_events;
};

// ---------------------------------------------------------------------------------------------
// Only an ordinary file is analysed; anything else is "not found" before anything is opened.

TEST_F(AnalyzeFileTest, NotFoundLeavesLabelsEmptyAndShowsNoProgress) {
  w.lDataType.Caption = w.lFileSize.Caption = w.lTimeA.Caption = w.lTimeB.Caption = "old";
  w.fOption.Enabled = true;
  st.iTotalSec = 42;
  Analyze((dir / "missing.nts").string());
  ExpectFailure(kNotFound);
  ExpectValueLabels("", "", "", "");
  EXPECT_EQ(st.iTotalSec, 42);
  for (const Seen& s : seen) EXPECT_FALSE(s.bar);
}

TEST_F(AnalyzeFileTest, DirectoryFifoHiddenFileAndEmptyPathAreNotFound) {
  std::filesystem::create_directory(dir / "folder.nts");
#ifndef _WIN32  // Windows has no FIFOs in its file system; the path then names nothing
  ASSERT_EQ(::mkfifo((dir / "pipe.nts").c_str(), 0600), 0);
#endif
  std::vector<std::string> paths{(dir / "folder.nts").string(), (dir / "pipe.nts").string(), std::string(),
                                 (dir / "folder.nts").string() + "/"};
#ifndef _WIN32  // hidden there by attribute, not by name; symbolic links need privileges
  paths.push_back(Write(".hidden.nts", Recording()));
  std::filesystem::create_symlink(dir / "folder.nts", dir / "link-to-folder.nts");
  paths.push_back((dir / "link-to-folder.nts").string());
#endif
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    Analyze(path, true);  // a FIFO that got opened would block here forever
    ExpectFailure(kNotFound);
    EXPECT_EQ(w.lFileSize.Caption, "");
  }
}

#ifndef _WIN32  // symbolic links need privileges there
TEST_F(AnalyzeFileTest, SymbolicLinkToRecordingIsFollowed) {
  std::string target = Write("target.nts", Rec({.seconds = 12}));
  std::filesystem::create_symlink(target, dir / "link.nts");
  Analyze((dir / "link.nts").string(), true);
  EXPECT_TRUE(w.fOption.Enabled);
  EXPECT_EQ(w.lTimeB.Caption, "0:00:12");
  EXPECT_EQ(st.sEditFile, (dir / "link.nts").string());
}
#endif

// ---------------------------------------------------------------------------------------------
// A successful run: the five stages in order and Step 3 prepared for the whole recording.

TEST_F(AnalyzeFileTest, EstimateOnlyRunShowsStagesAndPreparesStepThree) {
  std::string path = WriteSized("one-hour.nts", 841'159'800);  // 3600 s at the byte rate
  Analyze(path);
  EXPECT_EQ(ProgressCaptions(), (std::vector<std::string>{kStage1, kStage2, kStage3, kStage4, kStage5}));
  std::vector<int> fills;
  for (const Seen& s : seen)
    if (s.bar) fills.push_back(s.fill);
  EXPECT_EQ(fills, (std::vector<int>{0, 20, 40, 60, 80}));
  ExpectValueLabels("正常(TS)", "821,445 KB", "1:00:00", "--");
  EXPECT_EQ(st.iTotalSec, 3600);
  EXPECT_EQ(Boxes(w.tStart), (std::vector<std::string>{"0", "0", "0"}));
  EXPECT_EQ(Boxes(w.tEnd), (std::vector<std::string>{"1", "0", "0"}));
  EXPECT_EQ(w.lEOF.Caption, "1:00:00");
  EXPECT_FALSE(w.pProgress.Visible);
  EXPECT_EQ(w.lProgress.Caption, kStage5);  // hiding the bar keeps its caption
  EXPECT_EQ(w.lMessage.Caption, "");
  EXPECT_FALSE(w.iInfo.Visible);
  EXPECT_FALSE(w.iWarn.Visible);
  EXPECT_EQ(st.sEditFile, path);
  EXPECT_TRUE(w.fOption.Enabled);
  EXPECT_FALSE(st.file1.IsOpen());
}

TEST_F(AnalyzeFileTest, BoxChangesSeeNewLengthButOldPathAndTimelineMarksFollowTheRangeCheck) {
  std::string previous = AnalyzePrevious();
  std::string path = Write("short.nts", Rec({.seconds = 75, .packets_per_second = 0}));
  std::vector<std::string> changes;
  for (TextBox* const* boxes : {w.tStart, w.tEnd})
    for (int k = 0; k < 3; ++k) {
      TextBox* box = boxes[k];
      box->Change = [&, box] {
        changes.push_back(box->Name + std::to_string(box->Index) + "=" + box->Text() + " total=" +
                          std::to_string(st.iTotalSec) + (st.sEditFile == previous ? " old" : " new") +
                          (w.fOption.Enabled ? " enabled" : " disabled"));
        w.lStart.Left = 300;  // where a range check would place the marks
        w.lEnd.Left = 3900;
      };
    }
  w.tStart[1]->SetText("7");  // a start the user had typed
  changes.clear();
  Analyze(path, true);
  EXPECT_EQ(changes, (std::vector<std::string>{"tStart1=0 total=75 old disabled", "tEnd0=0 total=75 old disabled",
                                               "tEnd1=1 total=75 old disabled", "tEnd2=15 total=75 old disabled"}));
  EXPECT_EQ(w.lEOF.Left, 3900);
  EXPECT_EQ(w.lZERO.Left, 300);
  EXPECT_EQ(w.lEOF.Caption, "0:01:15");
}

TEST_F(AnalyzeFileTest, EstimateAStepsFromZeroToOneSecondBetween116827And116828Bytes) {
  Analyze(WriteSized("a.nts", 116'827));
  EXPECT_EQ(w.lTimeA.Caption, "0:00:00");
  EXPECT_EQ(st.iTotalSec, 0);
  EXPECT_EQ(Boxes(w.tEnd), (std::vector<std::string>{"0", "0", "0"}));
  EXPECT_EQ(w.lFileSize.Caption, "114 KB");
  Analyze(WriteSized("b.nts", 116'828));
  EXPECT_EQ(w.lTimeA.Caption, "0:00:01");
  EXPECT_EQ(st.iTotalSec, 1);
  EXPECT_EQ(Boxes(w.tEnd), (std::vector<std::string>{"0", "0", "1"}));
  Analyze(WriteSized("c.nts", 1'048'576));
  EXPECT_EQ(w.lFileSize.Caption, "1,024 KB");
  Analyze(WriteSized("d.nts", 233'655'500));
  EXPECT_EQ(w.lTimeA.Caption, "0:16:40");
}

TEST_F(AnalyzeFileTest, LargestSizeBelowTwoGibibytesIsAnalysed) {
  Analyze(WriteSized("just-below.nts", 2'147'483'647));
  EXPECT_TRUE(w.fOption.Enabled);
  ExpectValueLabels("正常(TS)", "2,097,152 KB", "2:33:11", "--");
  EXPECT_EQ(st.iTotalSec, 9191);
}

// ---------------------------------------------------------------------------------------------
// Failures of the stages: the message, and what stays behind.

TEST_F(AnalyzeFileTest, TwoGibibytesOrMoreIsRefusedBeforeAnythingIsShown) {
  std::string previous = AnalyzePrevious();
  for (int64_t size : {int64_t{2'147'483'648}, int64_t{5'000'000'000}}) {
    Analyze(WriteSized("huge.nts", size), true);
    ExpectFailure(kTooLarge);
    ExpectValueLabels("", "", "", "");
    EXPECT_EQ(st.iTotalSec, 3725);
    EXPECT_EQ(w.lProgress.Caption, kStage2);
    ExpectPreviousRunKept(previous);
  }
}

TEST_F(AnalyzeFileTest, EmptyFileShowsZeroKilobytesAndUnknownFormat) {
  std::string previous = AnalyzePrevious();
  Analyze(WriteBytes("empty.nts", {}));
  ExpectFailure(kUnknownFormat);
  ExpectValueLabels("不明", "0 KB", "", "");
  EXPECT_EQ(st.iTotalSec, 3725);  // the estimate was never reached
  ExpectPreviousRunKept(previous);
}

TEST_F(AnalyzeFileTest, FirstByteOtherThanSyncIsUnknownFormat) {
  Recording rec = Rec({.seconds = 3});
  rec.Packet(0)[0] = 0x46;
  Analyze(Write("not-ts.nts", rec), true);
  ExpectFailure(kUnknownFormat);
  ExpectValueLabels("不明", "3 KB", "", "");
  EXPECT_EQ(w.lProgress.Caption, kStage3);
}

TEST_F(AnalyzeFileTest, SlotAlreadyHoldingASourceFailsTheOpenAndIsClosed) {
  std::string other = Write("other.nts", Recording());
  st.file1.Open(other);
  Analyze(Write("mine.nts", Recording()));
  ExpectFailure(kCannotRead);
  ExpectValueLabels("", "", "", "");
}

// Each stage arms its own message; a failure raised while the window processes its events is a
// failure of the stage that was showing.
TEST_F(AnalyzeFileTest, FailureDuringEventsCarriesTheMessageOfTheStageShowing) {
  struct Case {
    std::string caption;
    bool measure;
    const char* message;
  };
  const std::vector<Case> cases = {
      {kStage1, false, kCannotRead},       {kStage2, false, kSizeUnreadable},
      {kStage3, false, kUnknownFormat},    {kStage4, false, kUnknownFormat},
      {kStage5, false, kEstimateFailed},   {kStage5, true, kMeasureFailed},
      {std::string(kMeasuring) + "20%... (4/5)", true, kMeasureFailed},
  };
  std::string path = Write("fine.nts", Rec({.seconds = 100, .packets_per_second = 4, .trailing_packets = 0}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    on_events = [&] {
      if (w.pProgress.Visible && w.lProgress.Caption == c.caption) throw std::runtime_error("window failed");
    };
    Analyze(path, c.measure);
    ExpectFailure(c.message);
    EXPECT_EQ(w.lProgress.Caption, c.caption);
    EXPECT_NE(st.sEditFile, path);
  }
}

TEST_F(AnalyzeFileTest, FailureWhileReportingAFailureDoesNotEscape) {
  on_events = [&] {
    if (!w.lMessage.Caption.empty()) throw std::runtime_error("window failed again");
  };
  EXPECT_NO_THROW(Analyze((dir / "missing.nts").string()));
  EXPECT_EQ(w.lMessage.Caption, kNotFound);
  EXPECT_NO_THROW(Analyze(WriteBytes("empty.nts", {})));
  EXPECT_EQ(w.lMessage.Caption, kUnknownFormat);
  EXPECT_FALSE(st.file1.IsOpen());
}

TEST_F(AnalyzeFileTest, FailureWhilePreparingTheWindowIsReportedNotThrown) {
  on_events = [&] {
    if (w.lMessage.Caption.empty()) throw std::runtime_error("window failed");
  };
  EXPECT_NO_THROW(Analyze(Write("fine.nts", Recording())));
  EXPECT_EQ(w.lMessage.Caption, kCannotRead);
  EXPECT_FALSE(w.fOption.Enabled);
}

// ---------------------------------------------------------------------------------------------
// The measured length (estimate B).

TEST_F(AnalyzeFileTest, MeasuredCountDifferingFromEstimateGivesTheNotice) {
  std::string path = Write("rec.nts", Rec({.seconds = 1000, .packets_per_second = 4, .marker_flags = true}));
  Analyze(path, true);
  ExpectValueLabels("正常(TS)", "918 KB", "0:00:04", "0:16:40");
  EXPECT_EQ(st.iTotalSec, 1000);
  EXPECT_EQ(Boxes(w.tEnd), (std::vector<std::string>{"0", "16", "40"}));
  EXPECT_EQ(w.lEOF.Caption, "0:16:40");
  EXPECT_EQ(w.lMessage.Caption, kLengthsDiffer);
  EXPECT_TRUE(w.iInfo.Visible);
  EXPECT_FALSE(w.iWarn.Visible);
  EXPECT_FALSE(w.pProgress.Visible);
  EXPECT_TRUE(w.fOption.Enabled);
  EXPECT_EQ(st.sEditFile, path);
}

TEST_F(AnalyzeFileTest, MeasuredCountEqualToEstimateGivesNoNotice) {
  // 1243 packets per second: 2 s are 467,368 bytes, which the byte rate also reads as 2 s.
  Analyze(Write("rec.nts", Rec({.seconds = 2, .packets_per_second = 1242, .trailing_packets = 0})), true);
  ExpectValueLabels("正常(TS)", "456 KB", "0:00:02", "0:00:02");
  EXPECT_EQ(w.lMessage.Caption, "");
  EXPECT_FALSE(w.iInfo.Visible);
  EXPECT_TRUE(w.fOption.Enabled);
}

TEST_F(AnalyzeFileTest, WithoutMeasuringNoNoticeAndEstimateIsTheLength) {
  Analyze(Write("rec.nts", Rec({.seconds = 1000, .packets_per_second = 4})));
  ExpectValueLabels("正常(TS)", "918 KB", "0:00:04", "--");
  EXPECT_EQ(st.iTotalSec, 4);
  EXPECT_EQ(w.lMessage.Caption, "");
  EXPECT_TRUE(MeasuringCaptions().empty());
}

TEST_F(AnalyzeFileTest, RecordingWithoutMarkersMeasuresZeroAndSaysSo) {
  Analyze(Write("no-markers.nts", Rec({.seconds = 0, .trailing_packets = 1000})), true);
  ExpectValueLabels("正常(TS)", "184 KB", "0:00:01", "0:00:00");
  EXPECT_EQ(st.iTotalSec, 0);
  EXPECT_EQ(Boxes(w.tEnd), (std::vector<std::string>{"0", "0", "0"}));
  EXPECT_EQ(w.lMessage.Caption, "編集時注意：1秒間隔の放送情報データが見つかりません。時間を指定して切り出せません。");
  EXPECT_TRUE(w.iInfo.Visible);
  EXPECT_TRUE(w.fOption.Enabled);
}

TEST_F(AnalyzeFileTest, PartialLastRecordIsDamagedEvenWhenEveryWholeRecordIsSound) {
  std::string previous = AnalyzePrevious();
  for (std::size_t extra : {1, 100, 187}) {
    SCOPED_TRACE(extra);
    Analyze(Write("partial.nts", Rec({.seconds = 30}), extra), true);
    ExpectFailure(kUnknownFormat);
    ExpectValueLabels("破損", "28 KB", "0:00:00", "--");
    EXPECT_EQ(st.iTotalSec, 0);  // estimate A was set before measuring
    ExpectPreviousRunKept(previous);
  }
}

TEST_F(AnalyzeFileTest, DamagedSyncByteEndsMeasuringAtThatRecord) {
  Recording rec = Rec({.seconds = 50});
  rec.Packet(rec.MarkerIndex(20))[0] = 0x00;  // a marker with a damaged sync byte
  Analyze(Write("damaged.nts", rec), true);
  ExpectFailure(kUnknownFormat);
  ExpectValueLabels("破損", "46 KB", "0:00:00", "--");
  // The 20th marker is counted before its sync byte fails: that 20th count refreshed the panel.
  EXPECT_EQ(MeasuringCaptions().size(), 2u);
}

// ---------------------------------------------------------------------------------------------
// What the window sees while measuring: at most one refresh per per cent, the bar from 60 to 80.

TEST_F(AnalyzeFileTest, MeasuringShowsEachWholePercentageOnceWithBarBetween60And80) {
  // 100 markers, each the fifth packet: the n-th marker lies at (5n - 1) * 188 of 94,000 bytes,
  // so every tenth marker is at 9.8, 19.8, ... 99.8 per cent.
  Analyze(Write("rec.nts", Rec({.seconds = 100, .packets_per_second = 4, .trailing_packets = 0})), true);
  std::vector<std::string> captions;
  for (int p = 10; p <= 100; p += 10) captions.push_back(std::string(kMeasuring) + std::to_string(p) + "%... (4/5)");
  EXPECT_EQ(MeasuringCaptions(), captions);
  EXPECT_EQ(MeasuringBars(), (std::vector<int>{62, 64, 66, 68, 70, 72, 74, 76, 78, 80}));
  EXPECT_EQ(MeasuringCaptions()[3], "データの長さを調べています. 40%... (4/5)");
}

TEST_F(AnalyzeFileTest, MeasuringRefreshesOnlyWhenTheWholePercentageChanges) {
  // 3000 markers without other packets: every tenth marker moves one third of a per cent.
  Analyze(Write("dense.nts", Rec({.seconds = 3000, .packets_per_second = 0, .trailing_packets = 0})), true);
  std::vector<std::string> captions = MeasuringCaptions();
  ASSERT_EQ(captions.size(), 100u);  // 1 .. 100, never 0
  EXPECT_EQ(captions.front(), std::string(kMeasuring) + "1%... (4/5)");
  EXPECT_EQ(captions.back(), std::string(kMeasuring) + "100%... (4/5)");
  std::vector<int> bars = MeasuringBars();
  EXPECT_EQ(bars.front(), 60);  // 1 / 5 + 60 rounds down
  EXPECT_EQ(bars[2], 61);       // 3 / 5 + 60 rounds up
  EXPECT_EQ(bars.back(), 80);
}

TEST_F(AnalyzeFileTest, FewerThanTenMarkersOrAZeroPercentageNeverMoveTheBar) {
  Analyze(Write("nine.nts", Rec({.seconds = 9})), true);
  EXPECT_TRUE(MeasuringCaptions().empty());
  EXPECT_EQ(w.lTimeB.Caption, "0:00:09");
  seen.clear();
  // Ten markers at the very front of a long file: the tenth lies at 0.3 per cent, which rounds to 0.
  Analyze(Write("front.nts", Rec({.seconds = 10, .packets_per_second = 0, .trailing_packets = 3000})), true);
  EXPECT_TRUE(MeasuringCaptions().empty());
  EXPECT_EQ(w.lTimeB.Caption, "0:00:10");
}

TEST_F(AnalyzeFileTest, CloseRequestDuringMeasuringStopsAfterThatRecordAndFinishesTheRun) {
  std::string path = Write("rec.nts", Rec({.seconds = 100, .packets_per_second = 4, .trailing_packets = 0}));
  on_events = [&] {
    if (w.lProgress.Caption.rfind(kMeasuring, 0) == 0) st.iExitFlag = 1;
  };
  Analyze(path, true);
  EXPECT_EQ(MeasuringCaptions().size(), 1u);
  EXPECT_EQ(w.lTimeB.Caption, "0:00:10");
  EXPECT_EQ(st.iTotalSec, 10);
  EXPECT_EQ(w.lMessage.Caption, kLengthsDiffer);  // 10 differs from the estimate 0
  EXPECT_EQ(Boxes(w.tEnd), (std::vector<std::string>{"0", "0", "10"}));
  EXPECT_EQ(st.sEditFile, path);
  EXPECT_TRUE(w.fOption.Enabled);
  EXPECT_FALSE(st.file1.IsOpen());
}

// A recording chosen while another is being measured: the nested run finds the slot taken, and
// its clean-up leaves the outer run without its file.
TEST_F(AnalyzeFileTest, NestedRunDuringMeasuringFailsBothAndClosesTheSlot) {
  std::string outer = Write("outer.nts", Rec({.seconds = 100}));
  std::string inner = Write("inner.nts", Rec({.seconds = 5}));
  std::vector<std::string> inner_message;
  bool nested = false;
  on_events = [&] {
    if (nested || w.lProgress.Caption.rfind(kMeasuring, 0) != 0) return;
    nested = true;
    AnalyzeFile(w, st, inner);
    inner_message.push_back(w.lMessage.Caption);
  };
  Analyze(outer, true);
  EXPECT_EQ(inner_message, (std::vector<std::string>{kCannotRead}));
  ExpectFailure(kMeasureFailed);
  EXPECT_EQ(st.sEditFile, "");
}

TEST_F(AnalyzeFileTest, SecondRunAfterSuccessStartsFromAClearedWindow) {
  std::string previous = AnalyzePrevious();
  w.fOption.Enabled = true;
  std::vector<bool> step3_enabled;
  on_events = [&] { step3_enabled.push_back(w.fOption.Enabled); };
  Analyze(Write("next.nts", Rec({.seconds = 8})), false);
  ASSERT_FALSE(step3_enabled.empty());
  for (bool enabled : step3_enabled) EXPECT_FALSE(enabled);  // disabled for the whole run
  EXPECT_TRUE(w.fOption.Enabled);
  EXPECT_NE(st.sEditFile, previous);
}

}  // namespace
}  // namespace trimora
