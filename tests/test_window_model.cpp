// The two status panels: when the bar shows, how its fill grows, which icons a message brings,
// and that the window processes its events once per operation, after the update.
#include "window/model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trimora {
namespace {

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    w.ProcessEvents = [this] {
      ++events;
      at_events.push_back(Describe());
    };
  }
  // The analysis panel as the user sees it.
  std::string Describe() const {
    return std::string(w.pProgress.Visible ? "bar " : "no-bar ") + std::to_string(w.pProgress.FillPercent) + " " +
           w.lProgress.Caption + "|" + w.lMessage.Caption + (w.iInfo.Visible ? " info" : "") +
           (w.iWarn.Visible ? " warn" : "");
  }
  void ExpectCaptions(const std::string& caption) {
    EXPECT_EQ(w.lProgress.Caption, caption);
    EXPECT_EQ(w.lProgress_S.Caption, caption);
  }

  WindowModel w;
  int events = 0;
  std::vector<std::string> at_events;
};

// ---------------------------------------------------------------------------------------------
// Progress: 0 shows an empty bar, larger values paint over smaller ones, -1 leaves, -2 hides.

TEST_F(PanelTest, ZeroOnAHiddenBarShowsAnEmptyBarWithTheCaption) {
  w.pProgress.FillPercent = 70;  // left from an earlier run
  ASSERT_FALSE(w.pProgress.Visible);
  w.Progress_Refresh(0, "A");
  EXPECT_TRUE(w.pProgress.Visible);
  EXPECT_EQ(w.pProgress.FillPercent, 0);
  ExpectCaptions("A");
}

TEST_F(PanelTest, LargerPercentagePaintsOverSmallerAndOnlyZeroClears) {
  w.Progress_Refresh(20, "A");
  w.Progress_Refresh(50, "-");
  EXPECT_EQ(w.pProgress.FillPercent, 50);
  ExpectCaptions("A");
  w.Progress_Refresh(30, "B");  // drawn beneath what is already filled
  EXPECT_EQ(w.pProgress.FillPercent, 50);
  ExpectCaptions("B");
  w.Progress_Refresh(0, "C");
  EXPECT_EQ(w.pProgress.FillPercent, 0);
  w.Progress_Refresh(150, "-");  // not validated; the view clips it
  EXPECT_EQ(w.pProgress.FillPercent, 150);
}

TEST_F(PanelTest, MinusOneLeavesTheBarAndMinusTwoHidesItKeepingCaptions) {
  w.Progress_Refresh(-1, "B");  // the bar stays hidden
  EXPECT_FALSE(w.pProgress.Visible);
  ExpectCaptions("B");
  w.Progress_Refresh(40, "A");
  w.Progress_Refresh(-1, "B");
  EXPECT_TRUE(w.pProgress.Visible);
  EXPECT_EQ(w.pProgress.FillPercent, 40);
  ExpectCaptions("B");
  w.Progress_Refresh(-2, "-");
  EXPECT_FALSE(w.pProgress.Visible);
  EXPECT_EQ(w.pProgress.FillPercent, 40);
  ExpectCaptions("B");
  w.Progress_Refresh(-2, "C");  // hiding may still change the caption
  ExpectCaptions("C");
}

TEST_F(PanelTest, CutPanelFollowsTheSameRules) {
  w.CProgress_Refresh(33, "X");
  EXPECT_TRUE(w.pCProgress.Visible);
  EXPECT_EQ(w.pCProgress.FillPercent, 33);
  EXPECT_EQ(w.lCProgress.Caption, "X");
  EXPECT_EQ(w.lCProgress_S.Caption, "X");
  w.CProgress_Refresh(17, "-");
  EXPECT_EQ(w.pCProgress.FillPercent, 33);
  EXPECT_EQ(w.lCProgress.Caption, "X");
  w.CProgress_Refresh(-2, "-");
  EXPECT_FALSE(w.pCProgress.Visible);
  EXPECT_EQ(w.lCProgress_S.Caption, "X");
  // The analysis panel is untouched by the cut panel.
  EXPECT_FALSE(w.pProgress.Visible);
  EXPECT_EQ(w.lProgress.Caption, "aaa");
}

// ---------------------------------------------------------------------------------------------
// Messages: hide the bar, pick the icon, keep the bar's caption for its return.

TEST_F(PanelTest, AnalysisMessageIconsByType) {
  struct Case {
    int type;
    bool info, warn;
  };
  for (Case c : {Case{0, false, false}, Case{1, true, false}, Case{2, false, true}, Case{3, false, false},
                 Case{-1, false, false}}) {
    SCOPED_TRACE(c.type);
    w.Progress_Refresh(60, "P");
    w.lMessage_Show("M" + std::to_string(c.type), c.type);
    EXPECT_FALSE(w.pProgress.Visible);
    EXPECT_EQ(w.iInfo.Visible, c.info);
    EXPECT_EQ(w.iWarn.Visible, c.warn);
    EXPECT_EQ(w.lMessage.Caption, "M" + std::to_string(c.type));
    ExpectCaptions("P");
  }
}

TEST_F(PanelTest, CutMessageHasOnlyAWarningIconShownForTypeOne) {
  for (int type : {0, 1, 2, 3}) {
    SCOPED_TRACE(type);
    w.CProgress_Refresh(50, "P");
    w.lCMessage_Show("範囲", type);
    EXPECT_FALSE(w.pCProgress.Visible);
    EXPECT_EQ(w.iCWarn.Visible, type == 1);
    EXPECT_EQ(w.lCMessage.Caption, "範囲");
  }
  EXPECT_FALSE(w.iWarn.Visible);  // the analysis panel's icons are not the cut panel's
  EXPECT_FALSE(w.iInfo.Visible);
}

TEST_F(PanelTest, NoticeStaysUnderTheBarAndShowsAgainWhenTheBarHides) {
  w.lMessage_Show("注意", 1);
  w.Progress_Refresh(80, "P");
  EXPECT_TRUE(w.pProgress.Visible);
  EXPECT_EQ(w.lMessage.Caption, "注意");
  EXPECT_TRUE(w.iInfo.Visible);  // covered by the bar, not hidden
  w.Progress_Refresh(-2, "-");
  EXPECT_FALSE(w.pProgress.Visible);
  EXPECT_TRUE(w.iInfo.Visible);
}

// ---------------------------------------------------------------------------------------------
// The event hook: once per operation, after the controls are updated, and optional.

TEST_F(PanelTest, EventsRunOncePerOperationAfterTheUpdate) {
  w.Progress_Refresh(0, "A");
  w.Progress_Refresh(25, "-");
  w.Progress_Refresh(-1, "B");
  w.lMessage_Show("M", 2);
  w.Progress_Refresh(-2, "-");
  w.CProgress_Refresh(10, "C");
  w.lCMessage_Show("N", 1);
  EXPECT_EQ(events, 7);
  EXPECT_EQ(at_events, (std::vector<std::string>{"bar 0 A|", "bar 25 A|", "bar 25 B|", "no-bar 25 B|M warn",
                                                 "no-bar 25 B|M warn", "no-bar 25 B|M warn", "no-bar 25 B|M warn"}));
  EXPECT_TRUE(w.iCWarn.Visible);
}

TEST_F(PanelTest, FailureOfTheEventsReachesTheCallerAfterTheUpdate) {
  w.ProcessEvents = [] { throw std::runtime_error("window failed"); };
  EXPECT_THROW(w.Progress_Refresh(30, "A"), std::runtime_error);
  EXPECT_EQ(w.pProgress.FillPercent, 30);
  EXPECT_EQ(w.lProgress_S.Caption, "A");
  EXPECT_THROW(w.lMessage_Show("M", 2), std::runtime_error);
  EXPECT_EQ(w.lMessage.Caption, "M");
}

}  // namespace
}  // namespace trimora
