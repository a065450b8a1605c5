// Range entry and timeline: the Save button is offered only for a range that passed every check,
// the timeline shows exactly that range, and a check interrupted by a newer one never leaves the
// button and the display disagreeing with the boxes.
#include "timerange/range_check.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/time_values.h"
#include "timerange/time_boxes.h"

namespace trimora {
namespace {

class RangeEntry : public ::testing::Test {
 protected:
  RangeEntry() {
    st.iTotalSec = 3600;
    WireRangeEntry(w, st);
  }

  // Types a time into three boxes, one box after the other, as the user or the analysis does.
  static void Enter(TextBox* const boxes[3], const std::string& h, const std::string& m, const std::string& s) {
    boxes[0]->SetText(h);
    boxes[1]->SetText(m);
    boxes[2]->SetText(s);
  }
  void Range(const std::string& h0, const std::string& m0, const std::string& s0, const std::string& h1,
             const std::string& m1, const std::string& s1) {
    Enter(w.tStart, h0, m0, s0);
    Enter(w.tEnd, h1, m1, s1);
  }

  WindowModel w;
  AppState st;
};

TEST_F(RangeEntry, WorkedExamplePlacesMarkersLabelsAndBarExactly) {
  Range("0", "15", "0", "0", "45", "0");
  EXPECT_EQ(w.lnStart.X1, 1365.0f);
  EXPECT_EQ(w.lnStart.X2, 1365.0f);
  EXPECT_EQ(w.lStart.Left, 1365.0f - 525.0f / 2);
  EXPECT_EQ(w.lnEnd.X1, 3375.0f);
  EXPECT_EQ(w.lnEnd.X2, 3375.0f);
  EXPECT_EQ(w.lEnd.Left, 3375.0f - 525.0f / 2);
  EXPECT_EQ(w.lnRange.X1, 1365.0f);
  EXPECT_EQ(w.lnRange.X2, 3375.0f);
  EXPECT_EQ(w.lStart.Caption, "0:15:00");
  EXPECT_EQ(w.lEnd.Caption, "0:45:00");
  EXPECT_EQ(w.lRange.Caption, "0:30:00");
  EXPECT_EQ(w.lExSize.Caption, "410,723 KB");
  EXPECT_EQ(w.lCMessage.Caption, "");
  EXPECT_FALSE(w.iCWarn.Visible);
  EXPECT_TRUE(w.bCut.Enabled);
  // Nothing else on the timeline moves.
  EXPECT_EQ(w.lnZERO.X1, 360.0f);
  EXPECT_EQ(w.lnEOF.X1, 4380.0f);
  EXPECT_EQ(w.lnStart.Y1, 240.0f);
  EXPECT_EQ(w.lStart.Top, 420.0f);
}

TEST_F(RangeEntry, WholeRecordingSpansTheTimeline) {
  st.iTotalSec = 3725;
  Range("0", "0", "0", "1", "2", "5");
  EXPECT_TRUE(w.bCut.Enabled);
  EXPECT_EQ(w.lnStart.X1, w.lnZERO.X1);
  EXPECT_EQ(w.lnEnd.X1, w.lnEOF.X1);
  EXPECT_EQ(w.lnRange.X1, 360.0f);
  EXPECT_EQ(w.lnRange.X2, 4380.0f);
  EXPECT_EQ(w.lRange.Caption, "1:02:05");
}

TEST_F(RangeEntry, PositionsAreRoundedToSinglePrecisionOnlyWhenStored) {
  st.iTotalSec = 7;
  Range("0", "0", "1", "0", "0", "3");
  // 4020 * (1/7) + 360 and 4020 * (3/7) + 360 computed in double, then stored as float.
  EXPECT_EQ(w.lnStart.X1, static_cast<float>(4020.0 * (1.0 / 7.0) + 360.0));
  EXPECT_EQ(w.lnEnd.X1, static_cast<float>(4020.0 * (3.0 / 7.0) + 360.0));
  EXPECT_EQ(w.lStart.Left, static_cast<float>(static_cast<double>(w.lnStart.X1) - 262.5));
}

TEST_F(RangeEntry, EstimatedSizeRoundsHalvesAwayFromZero) {
  st.iTotalSec = 4000;
  struct Case {
    std::string seconds;
    const char* shown;
  } cases[] = {{"1", "228 KB"}, {"60", "13,691 KB"}, {"3600", "821,445 KB"}, {"3072", "700,967 KB"}};
  for (const Case& c : cases) {
    Range("0", "0", "0", "0", "0", c.seconds);
    EXPECT_EQ(w.lExSize.Caption, c.shown) << c.seconds << " s";
  }
}

TEST_F(RangeEntry, ChecksStopAtTheFirstFailureWithItsMessage) {
  Range("0", "0", "-1", "9", "0", "0");  // start negative and end beyond the length
  EXPECT_EQ(w.lCMessage.Caption, "開始は0:00:00以上で指定して下さい。");
  EXPECT_TRUE(w.iCWarn.Visible);
  EXPECT_FALSE(w.bCut.Enabled);

  Range("0", "10", "0", "0", "10", "0");
  EXPECT_EQ(w.lCMessage.Caption, "終了位置が開始位置より前です。");
  Range("0", "10", "0", "0", "5", "0");
  EXPECT_EQ(w.lCMessage.Caption, "終了位置が開始位置より前です。");
  EXPECT_FALSE(w.bCut.Enabled);

  st.iTotalSec = 3725;
  Range("0", "0", "0", "1", "2", "6");
  EXPECT_EQ(w.lCMessage.Caption, "終了は1:02:05以下で指定して下さい。");
  EXPECT_FALSE(w.bCut.Enabled);
  w.tEnd[2]->SetText("5");
  EXPECT_EQ(w.lCMessage.Caption, "");
  EXPECT_FALSE(w.iCWarn.Visible);
  EXPECT_TRUE(w.bCut.Enabled);
}

TEST_F(RangeEntry, FailedCheckDisablesSaveButKeepsTheLastDrawnRange) {
  Range("0", "15", "0", "0", "45", "0");
  ASSERT_TRUE(w.bCut.Enabled);
  w.tEnd[0]->SetText("2");  // 2:45:00 > 1:00:00
  EXPECT_FALSE(w.bCut.Enabled);
  EXPECT_EQ(w.lCMessage.Caption, "終了は1:00:00以下で指定して下さい。");
  EXPECT_EQ(w.lEnd.Caption, "0:45:00");
  EXPECT_EQ(w.lnEnd.X1, 3375.0f);
  EXPECT_EQ(w.lRange.Caption, "0:30:00");
  EXPECT_EQ(w.lExSize.Caption, "410,723 KB");
}

TEST_F(RangeEntry, NoRangePassesWhenTheRecordingHasNoLength) {
  st.iTotalSec = 0;
  Range("0", "0", "0", "0", "0", "1");
  EXPECT_EQ(w.lCMessage.Caption, "終了は0:00:00以下で指定して下さい。");
  Range("0", "0", "0", "0", "0", "0");
  EXPECT_EQ(w.lCMessage.Caption, "終了位置が開始位置より前です。");
  EXPECT_FALSE(w.bCut.Enabled);
}

TEST_F(RangeEntry, BoxesAreAddedUpNotValidatedOneByOne) {
  st.iTotalSec = 9000;
  Range("0", "75", "0", "2", "-5", "0");  // 4500 .. 6900
  EXPECT_TRUE(w.bCut.Enabled);
  EXPECT_EQ(w.lStart.Caption, "1:15:00");
  EXPECT_EQ(w.lEnd.Caption, "1:55:00");
  EXPECT_EQ(w.tStart[1]->Text(), "75");  // the box keeps what was typed
  Range(" 0", "+1", "0 ", "0", "2", "0");
  EXPECT_TRUE(w.bCut.Enabled);
  EXPECT_EQ(w.lRange.Caption, "0:01:00");
}

TEST_F(RangeEntry, UnconvertibleTextLeavesSaveAndDisplayAlone) {
  Range("0", "15", "0", "0", "45", "0");
  ASSERT_TRUE(w.bCut.Enabled);
  for (const char* text : {"", "ab", "-", "1.5", "2147483648", "0x1"}) {
    w.tEnd[1]->SetText("45");
    w.tEnd[1]->SetText(text);
    EXPECT_EQ(w.lCMessage.Caption, "指定が正しくありません。") << '"' << text << '"';
    EXPECT_TRUE(w.iCWarn.Visible);
    EXPECT_TRUE(w.bCut.Enabled) << "a valid range stays offered: Save converts again";
    EXPECT_EQ(w.lEnd.Caption, "0:45:00");
    EXPECT_EQ(w.lnEnd.X1, 3375.0f);
  }

  Range("0", "0", "0", "2", "0", "0");  // fails the length check
  ASSERT_FALSE(w.bCut.Enabled);
  w.tStart[0]->SetText("x");
  EXPECT_EQ(w.lCMessage.Caption, "指定が正しくありません。");
  EXPECT_FALSE(w.bCut.Enabled);
}

TEST_F(RangeEntry, TotalsBeyond32BitsAreAnEntryErrorNotAWrap) {
  w.tStart[0]->SetText("596524");  // hours * 3600 overflows
  EXPECT_EQ(w.lCMessage.Caption, "指定が正しくありません。");
  w.tStart[0]->SetText("0");
  Range("0", "0", "0", "596523", "14", "8");  // the last addition overflows
  EXPECT_EQ(w.lCMessage.Caption, "指定が正しくありません。");
  EXPECT_FALSE(w.bCut.Enabled);
}

TEST_F(RangeEntry, AnalysisFillingTheBoxesEndsWithTheWholeRecordingOffered) {
  Range("0", "0", "0", "0", "0", "0");
  std::vector<std::string> messages;
  w.ProcessEvents = [&] { messages.push_back(w.lCMessage.Caption); };
  SecToTextBoxes(0, *w.tStart[0], *w.tStart[1], *w.tStart[2]);  // unchanged: no check
  EXPECT_TRUE(messages.empty());
  SecToTextBoxes(3600, *w.tEnd[0], *w.tEnd[1], *w.tEnd[2]);
  EXPECT_EQ(messages, (std::vector<std::string>{""}));  // only "1" in the hours box changed
  EXPECT_TRUE(w.bCut.Enabled);
  EXPECT_EQ(w.lnEnd.X1, 4380.0f);
}

TEST_F(RangeEntry, FocusSelectsTheFirstTwoCharacters) {
  for (TextBox* const* boxes : {w.tStart, w.tEnd}) {
    for (int i = 0; i < 3; ++i) {
      TextBox& box = *boxes[i];
      box.SelStart = 1;
      box.SelLength = 0;
      box.GotFocus();
      EXPECT_EQ(box.SelStart, 0) << box.Name << i;
      EXPECT_EQ(box.SelLength, 2) << box.Name << i;
    }
  }
  // The focus does not run a check.
  EXPECT_EQ(w.lCMessage.Caption, "");
}

TEST_F(RangeEntry, StepsStopAtZeroAndAtTheRecordingsLength) {
  Range("0", "0", "30", "0", "59", "30");
  w.tStart[2]->Step(TimeStep::MinuteDown);  // 0:00:30 - 1 minute
  EXPECT_EQ(w.tStart[2]->Text(), "0");
  w.tStart[1]->Step(TimeStep::SecondDown);
  EXPECT_EQ(w.tStart[2]->Text(), "0");
  w.tEnd[0]->Step(TimeStep::MinuteUp);  // 0:59:30 + 1 minute, past 1:00:00
  EXPECT_EQ(w.tEnd[0]->Text(), "1");
  EXPECT_EQ(w.tEnd[1]->Text(), "0");
  EXPECT_EQ(w.tEnd[2]->Text(), "0");
  w.tEnd[2]->Step(TimeStep::SecondUp);
  EXPECT_EQ(w.tEnd[2]->Text(), "0");
  // The boxes' writes ran the check as typing does.
  EXPECT_TRUE(w.bCut.Enabled);
  EXPECT_EQ(w.lStart.Caption, "0:00:00");
  EXPECT_EQ(w.lEnd.Caption, "1:00:00");

  // A step carries into the next box; an end typed past the recording steps back inside it.
  Enter(w.tStart, "0", "0", "59");
  w.tStart[2]->Step(TimeStep::SecondUp);
  EXPECT_EQ(w.tStart[1]->Text(), "1");
  EXPECT_EQ(w.tStart[2]->Text(), "0");
  Enter(w.tEnd, "9", "0", "0");
  w.tEnd[1]->Step(TimeStep::SecondDown);
  EXPECT_EQ(w.tEnd[0]->Text(), "1");
  EXPECT_EQ(w.tEnd[1]->Text(), "0");
  EXPECT_TRUE(w.bCut.Enabled);

  // A row that is not a time is not guessed at.
  Enter(w.tStart, "0", "ab", "0");
  w.tStart[0]->Step(TimeStep::SecondUp);
  EXPECT_EQ(w.tStart[1]->Text(), "ab");
}

// A box typed while a check clears its message runs a check of its own. Whichever finishes last,
// Save and the display must follow the boxes as they finally stand.
TEST_F(RangeEntry, ReentryNewerFailingCheckIsNotOverriddenByTheOuterOne) {
  Range("0", "15", "0", "0", "45", "0");
  bool typed = false;
  w.ProcessEvents = [&] {
    if (typed) return;
    typed = true;
    w.tEnd[0]->SetText("3");  // 3:45:00 is beyond the recording
  };
  w.tEnd[1]->SetText("40");  // passes, and while clearing its message the user types
  EXPECT_TRUE(typed);
  EXPECT_EQ(w.lCMessage.Caption, "終了は1:00:00以下で指定して下さい。");
  EXPECT_FALSE(w.bCut.Enabled) << "Save offered for 3:40:00 on a recording of 1:00:00";
}

TEST_F(RangeEntry, ReentryNewerPassingCheckLeavesItsRangeOnDisplay) {
  Range("0", "15", "0", "0", "45", "0");
  int nested = 0;
  w.ProcessEvents = [&] {
    if (nested++ == 0) w.tStart[1]->SetText("30");
  };
  w.tEnd[1]->SetText("50");
  EXPECT_TRUE(w.bCut.Enabled);
  EXPECT_EQ(w.lStart.Caption, "0:30:00");
  EXPECT_EQ(w.lEnd.Caption, "0:50:00");
  EXPECT_EQ(w.lRange.Caption, "0:20:00");
  EXPECT_EQ(w.lCMessage.Caption, "");
}

TEST_F(RangeEntry, ReentryUnconvertibleTypingKeepsSaveOffWhenTheOuterCheckIsCutShort) {
  Range("0", "15", "0", "0", "45", "0");
  bool typed = false;
  w.ProcessEvents = [&] {
    if (typed) return;
    typed = true;
    w.tEnd[1]->SetText("");
  };
  w.tEnd[1]->SetText("40");
  EXPECT_EQ(w.lCMessage.Caption, "指定が正しくありません。");
  EXPECT_FALSE(w.bCut.Enabled);
}

TEST_F(RangeEntry, FailureOfTheWindowDuringACheckShowsTheEntryMessage) {
  Range("0", "15", "0", "0", "45", "0");
  w.ProcessEvents = [&] {
    if (!w.lCMessage.Caption.empty()) return;  // the entry message itself goes through
    throw std::runtime_error("window gone");
  };
  EXPECT_NO_THROW(w.tEnd[1]->SetText("50"));
  EXPECT_EQ(w.lCMessage.Caption, "指定が正しくありません。");
  EXPECT_FALSE(w.bCut.Enabled);

  w.ProcessEvents = [] { throw std::runtime_error("window gone"); };
  EXPECT_NO_THROW(w.tEnd[1]->SetText("55")) << "a failing message must not escape into the typing";
}

}  // namespace
}  // namespace trimora
