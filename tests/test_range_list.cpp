// The list of ranges to keep: its rules and text form, shared by the command line and the window,
// and the window's list driven headless through the model.
#include "ranges/range_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/ts_packet.h"
#include "core/time_values.h"
#include "platform/os/os.h"
#include "tests/recording_builder.h"
#include "window/events/events.h"

namespace trimora {
namespace {

using testkit::Bytes;
using testkit::Recording;
using testkit::RecordingOptions;

TEST(RangeListRules, ReadsItsTextFormAndRefusesALineItCannotRead) {
  const ParsedRangeList read = ReadRangeList("# kept\r\n0:01:00 0:02:00\r\n\n\t0:2:30   0:03:00 # credits\n0:75:00 1:20:00");
  EXPECT_EQ(read.problem, "");
  EXPECT_EQ(read.ranges, (std::vector<KeptRange>{{60, 120}, {150, 180}, {4500, 4800}}));
  EXPECT_EQ(ReadRangeList(WriteRangeList(read.ranges)).ranges, read.ranges);
  EXPECT_EQ(WriteRangeList(read.ranges), "0:01:00 0:02:00\n0:02:30 0:03:00\n1:15:00 1:20:00\n");

  // Thousandths of a second after a marker, one to three decimals, written back as three.
  const ParsedRangeList fine = ReadRangeList("0:12:34.567 0:13:00.5\n0:13:00.5 0:14:00\n");
  EXPECT_EQ(fine.ranges, (std::vector<KeptRange>{{{754, 567}, {780, 500}}, {{780, 500}, 840}}));
  EXPECT_EQ(WriteRangeList(fine.ranges), "0:12:34.567 0:13:00.500\n0:13:00.500 0:14:00\n");
  EXPECT_EQ(ListProblem({{10, {20, 500}}, {{20, 400}, 30}}, 600), "範囲2が範囲1と重なっています。");
  EXPECT_EQ(ListProblem({{10, {600, 1}}}, 600), "範囲1：終了は0:10:00以下で指定して下さい。");

  for (const char* bad : {"0:01:00 0:02:00\n0:03:00\n", "0:01:00 0:02:00\n0:03:00 0:04:00 0:05:00\n",
                          "0:01:00 0:02:00\n0:03 0:04:00\n", "0:01:00 0:02:00\n0:0x:00 0:04:00\n",
                          "0:01:00 0:02:00\n0:03:00.1234 0:04:00\n", "0:01:00 0:02:00\n0:03:00. 0:04:00\n"}) {
    const ParsedRangeList r = ReadRangeList(bad);
    EXPECT_EQ(r.problem, "2行目が「H:MM:SS H:MM:SS」ではありません。") << bad;
    EXPECT_TRUE(r.ranges.empty()) << bad;
  }
}

// A box adds a negative part; a list must not turn "-0:00:01" into one second.
TEST(RangeListRules, SignedTimesAreRefused) {
  for (const char* bad : {"-0:00:01 0:00:05\n", "0:-1:64 0:02:00\n", "0:00:01 +0:00:05\n"})
    EXPECT_EQ(ReadRangeList(bad).problem, "1行目が「H:MM:SS H:MM:SS」ではありません。") << bad;
}

TEST(RangeListRules, ByteOrderMarkAndOldMacLineEndsAreRead) {
  const ParsedRangeList read = ReadRangeList("\xEF\xBB\xBF" "0:00:01 0:00:02\r0:00:03 0:00:04\r");
  EXPECT_EQ(read.problem, "");
  EXPECT_EQ(read.ranges, (std::vector<KeptRange>{{1, 2}, {3, 4}}));
}

TEST(RangeListRules, KeepsTheListSortedAndRefusesOverlaps) {
  std::vector<KeptRange> list;
  EXPECT_EQ(AddRange(list, {100, 200}, 600).problem, "");
  EXPECT_EQ(AddRange(list, {300, 400}, 600).added, 1u);
  const AddResult between = AddRange(list, {200, 300}, 600);  // touches both neighbours
  EXPECT_EQ(between.problem, "");
  EXPECT_EQ(between.added, 1u);
  EXPECT_EQ(AddRange(list, {0, 50}, 600).added, 0u);
  EXPECT_EQ(list, (std::vector<KeptRange>{{0, 50}, {100, 200}, {200, 300}, {300, 400}}));
  EXPECT_EQ(AddRange(list, {40, 60}, 600).problem, "この範囲は範囲1と重なっています。");
  EXPECT_EQ(AddRange(list, {60, 101}, 600).problem, "この範囲は範囲2と重なっています。");
  EXPECT_EQ(AddRange(list, {500, 700}, 600).problem, "終了は0:10:00以下で指定して下さい。");
  EXPECT_EQ(list.size(), 4u) << "nothing refused was added";
  EXPECT_EQ(TotalMillis(list), 350000);

  EXPECT_EQ(ListProblem(list, 600), "");
  EXPECT_EQ(ListProblem(list, 399), "範囲4：終了は0:06:39以下で指定して下さい。");
  EXPECT_EQ(ListProblem({{10, 20}, {15, 30}}, 600), "範囲2が範囲1と重なっています。");
  EXPECT_EQ(ListProblem({{10, 20}, {5, 8}}, 600), "範囲2は範囲1より前から始まっています。");
  EXPECT_EQ(ListProblem({{10, 20}, {-1, 8}}, 600), "範囲2：開始は0:00:00以上で指定して下さい。");
  EXPECT_NE(ListProblem({}, 600), "");
}

// --- The window's list ---------------------------------------------------------------------

class Dialogs : public FileDialogs {
 public:
  std::string ShowFileDialog(const std::string& filter, const std::string&, const std::string& name, bool save) override {
    asked.push_back({filter, name, save});
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  struct Asked {
    std::string filter, name;
    bool save;
  };
  std::deque<std::string> answers;
  std::vector<Asked> asked;
};

class NoWeb : public WebOpener {
 public:
  void Open(const std::string&) override {}
};

class WindowRangeList : public ::testing::Test {
 protected:
  WindowRangeList() : recording(RecordingOptions{.seconds = 60}) {
    recording.WriteTo(dir.path() / os::PathFromUtf8("番組.nts"));
    Recording(RecordingOptions{.seconds = 30}).WriteTo(dir / "other.nts");
    events.Load();
    w.cDataDetail.Value = 1;  // measured: the length is the markers' count
    w.cDataDetail.Click();
    Open("番組.nts");
  }
  void Open(const std::string& name) {
    dialogs.answers.push_back(os::Utf8FromPath(dir.path() / os::PathFromUtf8(name)));
    w.bShowDialog.Click();
  }
  void Add(int32_t start, int32_t end) {
    SecToBoxes(start, w.tStart);
    SecToBoxes(end, w.tEnd);
    w.bAddRange.Click();
  }
  static void SecToBoxes(int32_t s, TextBox* const row[3]) {
    row[0]->SetText(std::to_string(s / 3600));
    row[1]->SetText(std::to_string(s / 60 % 60));
    row[2]->SetText(std::to_string(s % 60));
  }
  std::string Size(int start, int end) const {
    const std::size_t first = start == 0 ? 0 : recording.MarkerIndex(start) + 1;
    return FormatGrouped(static_cast<double>((recording.MarkerIndex(end) + 1 - first) * kPacketSize) / 1024) + " KB";
  }

  testkit::TempDir dir;
  Recording recording;
  WindowModel w;
  AppState st;
  Dialogs dialogs;
  NoWeb web;
  Platform platform{dialogs, web, [](const std::string&, std::string&) { return false; }};
  WindowEvents events{w, st, platform};
};

TEST_F(WindowRangeList, BuildsASortedListWithExactSizesAndTotals) {
  ASSERT_EQ(st.iTotalSec, 60);
  Add(40, 50);
  Add(0, 10);
  Add(10, 20);  // touches the first
  EXPECT_EQ(w.lRanges.Items, (std::vector<std::string>{"1　0:00:00～0:00:10　0:00:10　" + Size(0, 10),
                                                      "2　0:00:10～0:00:20　0:00:10　" + Size(10, 20),
                                                      "3　0:00:40～0:00:50　0:00:10　" + Size(40, 50)}));
  EXPECT_EQ(w.lRanges.ListIndex, 1) << "the row just added is chosen";
  ASSERT_EQ(w.pTimeline.Kept.size(), 3u) << "the list's ranges are drawn on the timeline";
  EXPECT_EQ(w.pTimeline.Kept[0].X1, w.lnZERO.X1);
  EXPECT_EQ(w.pTimeline.Kept[2].X2, w.lnZERO.X1 + (w.lnEOF.X1 - w.lnZERO.X1) * 50 / 60);
  EXPECT_EQ(w.lRangesTotal.Caption, "合計：0:00:30　" +
                                        SizeInKb(static_cast<int64_t>((recording.MarkerIndex(20) + 1 +
                                                                        recording.MarkerIndex(50) - recording.MarkerIndex(40)) *
                                                                       kPacketSize)));

  Add(45, 55);
  EXPECT_EQ(w.lRangesMessage.Caption, "この範囲は範囲3と重なっています。");
  EXPECT_EQ(w.lRanges.Items.size(), 3u);

  // A chosen row goes into the boxes, and the pictures follow it.
  w.lRanges.ListIndex = 2;
  w.lRanges.Click();
  EXPECT_EQ(w.tStart[2]->Text(), "40");
  EXPECT_EQ(w.tEnd[2]->Text(), "50");
  EXPECT_EQ(w.Preview.Start, 40);
  EXPECT_EQ(w.Preview.End, 50);
  EXPECT_TRUE(w.bCut.Enabled);

  w.bRemoveRange.Click();
  EXPECT_EQ(w.lRanges.Items.size(), 2u);
  EXPECT_EQ(events.Ranges(), (std::vector<KeptRange>{{0, 10}, {10, 20}}));

  Open("other.nts");
  EXPECT_TRUE(w.lRanges.Items.empty()) << "a list never holds ranges of another recording";
  EXPECT_TRUE(events.Ranges().empty());
  EXPECT_TRUE(w.pTimeline.Kept.empty());
}

TEST_F(WindowRangeList, SavesTheListAsOneJobAndReadsAndWritesItsTextForm) {
  Add(5, 10);
  Add(30, 45);
  dialogs.answers.push_back((dir / "list.txt").string());
  w.bExportRanges.Click();
  EXPECT_EQ(dialogs.asked.back().name, "番組_2ranges.txt");
  const Bytes text = testkit::ReadAll(dir / "list.txt");
  EXPECT_EQ(std::string(text.begin(), text.end()), "0:00:05 0:00:10\n0:00:30 0:00:45\n");

  // A list that does not fit the recording is refused and the list stays as it was.
  testkit::WriteAll(dir / "long.txt", Bytes{'0', ':', '0', '0', ':', '0', '1', ' ', '1', ':', '0', '0', ':', '0', '0'});
  dialogs.answers.push_back((dir / "long.txt").string());
  w.bImportRanges.Click();
  EXPECT_EQ(w.lRangesMessage.Caption, "範囲1：終了は0:01:00以下で指定して下さい。");
  EXPECT_EQ(events.Ranges().size(), 2u);

  w.bRemoveRange.Click();
  dialogs.answers.push_back((dir / "list.txt").string());
  w.bImportRanges.Click();
  EXPECT_EQ(events.Ranges(), (std::vector<KeptRange>{{5, 10}, {30, 45}}));

  dialogs.answers.push_back((dir / "job.nts").string());
  w.bSaveRanges.Click();
  EXPECT_EQ(dialogs.asked.back().name, "番組_2ranges.nts");
  EXPECT_TRUE(dialogs.asked.back().save);
  EXPECT_EQ(w.lCProgress.Caption, "書き込みが完了しました。");
  EXPECT_TRUE(w.bSaveRanges.Enabled);
  Bytes want = recording.Slice(recording.MarkerIndex(5) + 1, recording.MarkerIndex(10) + 1);
  const Bytes second = recording.Slice(recording.MarkerIndex(30) + 1, recording.MarkerIndex(45) + 1);
  want.insert(want.end(), second.begin(), second.end());
  EXPECT_EQ(testkit::ReadAll(dir / "job.nts"), want);
}

TEST_F(WindowRangeList, ChosenRowChangedInTheBoxesIsReplacedNotRefusedAsItsOwnOverlap) {
  Add(0, 10);
  Add(30, 40);
  w.lRanges.ListIndex = 1;
  w.lRanges.Click();
  Add(25, 45);
  EXPECT_EQ(w.lRangesMessage.Caption, "");
  EXPECT_EQ(events.Ranges(), (std::vector<KeptRange>{{0, 10}, {25, 45}}));
  Add(5, 45);  // the chosen row again, now over the first as well: refused, naming it
  EXPECT_EQ(w.lRangesMessage.Caption, "この範囲は範囲1と重なっています。");
  EXPECT_EQ(events.Ranges(), (std::vector<KeptRange>{{0, 10}, {25, 45}}));
  w.lRanges.ListIndex = 0;
  w.lRanges.Click();
  EXPECT_EQ(w.lRangesMessage.Caption, "") << "a reason goes with the choice it was for";
}

TEST_F(WindowRangeList, AfterRemovingARowTheBoxesShowNoRangeTheListLost) {
  Add(0, 10);
  Add(30, 40);
  w.bRemoveRange.Click();  // the row just added, 30..40
  EXPECT_EQ(w.tStart[2]->Text(), "0");
  EXPECT_EQ(w.tEnd[2]->Text(), "10");
  w.bRemoveRange.Click();
  EXPECT_EQ(w.tEnd[1]->Text(), "1") << "the whole recording, as after its analysis";
  EXPECT_EQ(w.tEnd[2]->Text(), "0");
}

TEST(WindowRangeListWithoutRecording, OffersNoButtonThatCouldNotWork) {
  WindowModel w;
  AppState st;
  Dialogs dialogs;
  NoWeb web;
  Platform platform{dialogs, web, [](const std::string&, std::string&) { return false; }};
  WindowEvents events{w, st, platform};
  for (const Button* b : {&w.bAddRange, &w.bRemoveRange, &w.bImportRanges, &w.bExportRanges, &w.bSaveRanges})
    EXPECT_FALSE(b->Enabled) << b->Name;
}

TEST_F(WindowRangeList, ReadingAListAsksBeforeReplacingTheOneShown) {
  Add(5, 10);
  testkit::WriteAll(dir / "list.txt", Bytes{'0', ':', '0', '0', ':', '2', '0', ' ', '0', ':', '0', '0', ':', '3', '0'});
  std::vector<std::string> asked;
  bool answer = false;
  platform.confirm = [&](const std::string& question) {
    asked.push_back(question);
    return answer;
  };
  w.bImportRanges.Click();
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_EQ(events.Ranges(), (std::vector<KeptRange>{{5, 10}})) << "No keeps the list";
  answer = true;
  dialogs.answers.push_back((dir / "list.txt").string());
  w.bImportRanges.Click();
  EXPECT_EQ(events.Ranges(), (std::vector<KeptRange>{{20, 30}}));
}

// With a window thread to post to, the sizes are worked out on a thread of their own and arrive
// as tasks for the window; a size asked for a list since emptied finds no row.
TEST_F(WindowRangeList, SizesArriveFromTheirOwnThreadForTheRowsStillListed) {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<std::function<void()>> posted;
  w.PostToWindow = [&](std::function<void()> task) {
    std::lock_guard lock(mutex);
    posted.push_back(std::move(task));
    arrived.notify_all();
  };
  auto run_posted = [&](std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(10), [&] { return !posted.empty(); }));
        task = std::move(posted.front());
        posted.pop_front();
      }
      task();
    }
  };
  Add(0, 10);
  EXPECT_EQ(w.lRanges.Items, std::vector<std::string>{"1　0:00:00～0:00:10　0:00:10　計算中"});
  EXPECT_EQ(w.lRangesTotal.Caption, "合計：0:00:10　--");
  run_posted(1);
  EXPECT_EQ(w.lRanges.Items, std::vector<std::string>{"1　0:00:00～0:00:10　0:00:10　" + Size(0, 10)});

  Add(20, 30);
  Open("other.nts");  // the list empties before the size of 20..30 is taken
  Add(20, 25);
  run_posted(2);
  EXPECT_EQ(w.lRanges.Items.size(), 1u);
  const Recording other(RecordingOptions{.seconds = 30});
  EXPECT_EQ(w.lRanges.Items.front(),
            "1　0:00:20～0:00:25　0:00:05　" +
                SizeInKb(static_cast<int64_t>((other.MarkerIndex(25) - other.MarkerIndex(20)) * kPacketSize)))
      << "the new recording's size, not the old row's";
}

}  // namespace
}  // namespace trimora
