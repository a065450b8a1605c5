// Time values and label formats: the shapes the window shows, and overflow that must never wrap.
#include "core/time_values.h"

#include <gtest/gtest.h>

#include <vector>

#include "timerange/time_boxes.h"
#include "window/model.h"

namespace trimora {
namespace {

TEST(SecToTime, ShowsHoursWithoutLimitAndTwoDigitMinutesAndSeconds) {
  EXPECT_EQ(SecToTime(0), "0:00:00");
  EXPECT_EQ(SecToTime(59), "0:00:59");
  EXPECT_EQ(SecToTime(3599), "0:59:59");
  EXPECT_EQ(SecToTime(3600), "1:00:00");
  EXPECT_EQ(SecToTime(3661), "1:01:01");
  EXPECT_EQ(SecToTime(86399), "23:59:59");
  EXPECT_EQ(SecToTime(90000), "25:00:00");
  EXPECT_EQ(SecToTime(2147483647), "596523:14:07");
}

TEST(SecToTime, NegativePartsCarryTheirOwnSign) {
  EXPECT_EQ(SecToTime(-1), "0:00:-01");
  EXPECT_EQ(SecToTime(-61), "0:-01:-01");
  EXPECT_EQ(SecToTime(-3661), "-1:-01:-01");
  EXPECT_EQ(SecToTime(INT32_MIN), "-596523:-14:-08");
}

TEST(SecToTextBoxes, WritesPlainNumbersInOrderRaisingEachChange) {
  WindowModel w;
  std::vector<std::string> seen;
  for (TextBox* box : w.tEnd)
    box->Change = [&, box] { seen.push_back(std::to_string(box->Index) + "=" + box->Text()); };
  SecToTextBoxes(90000, *w.tEnd[0], *w.tEnd[1], *w.tEnd[2]);
  EXPECT_EQ(seen, (std::vector<std::string>{"0=25"}));  // minutes and seconds were already "0"
  SecToTextBoxes(59, *w.tEnd[0], *w.tEnd[1], *w.tEnd[2]);
  EXPECT_EQ(seen, (std::vector<std::string>{"0=25", "0=0", "2=59"}));
  SecToTextBoxes(3661, *w.tEnd[0], *w.tEnd[1], *w.tEnd[2]);
  EXPECT_EQ(w.tEnd[0]->Text() + w.tEnd[1]->Text() + w.tEnd[2]->Text(), "111");
}

TEST(TimeToSec, AddsPartsWithoutNormalising) {
  EXPECT_EQ(TimeToSec(0, 75, 0), 4500);
  EXPECT_EQ(TimeToSec(1, -5, 0), 3300);
  EXPECT_EQ(TimeToSec(0, 0, -1), -1);
  EXPECT_EQ(TimeToSec(596523, 14, 7), INT32_MAX);
  EXPECT_EQ(TimeToSec(-596523, -14, -8), INT32_MIN);
  EXPECT_EQ(TimeToSec(99, 99, 99), 362439);
}

TEST(TimeToSec, OverflowInAnyStepIsAnErrorNotAWrap) {
  EXPECT_THROW(TimeToSec(596523, 14, 8), TimeOverflow);     // last addition
  EXPECT_THROW(TimeToSec(596524, 0, 0), TimeOverflow);      // first multiplication
  EXPECT_THROW(TimeToSec(0, 35791395, 0), TimeOverflow);    // second multiplication
  EXPECT_THROW(TimeToSec(596523, 60, 0), TimeOverflow);     // hours plus minutes
  EXPECT_THROW(TimeToSec(-596523, -14, -9), TimeOverflow);  // below the range
}

TEST(TextToInt32, AcceptsSignedDecimalsWithBlanksOnly) {
  EXPECT_EQ(TextToInt32("12"), 12);
  EXPECT_EQ(TextToInt32(" -5 "), -5);
  EXPECT_EQ(TextToInt32("+7"), 7);
  EXPECT_EQ(TextToInt32("2147483647"), INT32_MAX);
  EXPECT_EQ(TextToInt32("-2147483648"), INT32_MIN);
  for (const char* bad : {"", " ", "-", "ab", "1a", "1 2", "2147483648", "-2147483649", "99999999999999999999"})
    EXPECT_EQ(TextToInt32(bad), std::nullopt) << '"' << bad << '"';
}

TEST(NumberFormats, RoundingRulesDifferForEstimatesAndKilobytes) {
  EXPECT_EQ(RoundHalfEven(49.5), 50);
  EXPECT_EQ(RoundHalfEven(48.5), 48);
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(FormatGrouped(700966.5), "700,967");  // halves away from zero
  EXPECT_EQ(FormatGrouped(410722.558), "410,723");
  EXPECT_EQ(FormatGrouped(1024), "1,024");
  EXPECT_EQ(FormatGrouped(228.179), "228");
  EXPECT_EQ(FormatGrouped(0), "0");
  EXPECT_EQ(FormatGrouped(2097151.99), "2,097,152");
}

}  // namespace
}  // namespace trimora
