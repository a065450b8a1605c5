// The cut lists of other tools: each form read as those tools write it, each kind of bad line
// refused with its line named, and our EDL read back as the list it was written from.
#include "ranges/list_forms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trimora {
namespace {

using clock::kPtsPerSecond;
constexpr int64_t kFrame = 3003;  // a frame at 30000/1001 a second

struct Bad {
  const char* text;
  const char* problem;
};

void ExpectRefused(const std::vector<Bad>& cases) {
  for (const Bad& bad : cases) {
    const CutList read = ReadCutList(bad.text);
    EXPECT_EQ(read.problem, bad.problem) << bad.text;
    EXPECT_TRUE(read.spans.empty() && read.ranges.empty()) << bad.text;
  }
}

TEST(TrimList, FramesFromTheFirstPictureTheEndFrameIncluded) {
  const CutList read = ReadCutList("# join_logo_scp\r\nTrim(0,299) ++ Trim( 600 , 899 )\r\n\r\ntrim(1200,0)\n");
  EXPECT_EQ(read.problem, "");
  EXPECT_EQ(read.form, ListForm::kTrim);
  EXPECT_EQ(read.spans, (std::vector<ClockSpan>{{0, 300 * kFrame}, {600 * kFrame, 900 * kFrame}, {1200 * kFrame, 0, true}}));
  EXPECT_EQ(ReadCutList("Trim(10,-5)").spans, (std::vector<ClockSpan>{{10 * kFrame, 15 * kFrame}}));
  ExpectRefused({
      {"Trim(0,10)\nTrim(20,30", "2行目が「Trim(開始,終了)」ではありません。"},
      {"Trim(0,10)\nTrim(x,30)", "2行目が「Trim(開始,終了)」ではありません。"},
      {"Trim(0,10)\nTrim(20,30) + Trim(40,50)", "2行目が「Trim(開始,終了)」ではありません。"},
      {"Trim(0,10)\nTrim(20,30) Trim(40,50)", "2行目が「Trim(開始,終了)」ではありません。"},
      {"Trim(0,10)\n0:00:01 0:00:02", "2行目が「Trim(開始,終了)」ではありません。"},
      {"Trim(0,10)\nTrim(30,20)", "2行目：終了位置が開始位置より前です。"},
      {"Trim(0,10)\nTrim(5,20)", "2行目の範囲が前の範囲と重なっています。"},
      {"Trim(20,30)\n\nTrim(0,10)", "3行目の範囲は前の範囲より前から始まっています。"},
  });
}

TEST(EdlList, WhatToDropInSecondsOrClockTimesOtherActionsIgnored) {
  const CutList read = ReadCutList("## comskip\n0.00\t150.25\t0\n300.5 310 1 ## mute\n0:10:00 0:11:30.5 3\n");
  EXPECT_EQ(read.problem, "");
  EXPECT_EQ(read.form, ListForm::kEdl);
  EXPECT_EQ(read.spans, (std::vector<ClockSpan>{{0, 15025 * kPtsPerSecond / 100}, {600 * kPtsPerSecond, 6905 * kPtsPerSecond / 10}}));
  ExpectRefused({
      {"0 10 0\n20 30", "2行目が「開始 終了 種類」ではありません。"},
      {"0 10 0\n20 x 0", "2行目が「開始 終了 種類」ではありません。"},
      {"0 10 0\n20 30 cut", "2行目が「開始 終了 種類」ではありません。"},
      {"0 10 0\n0:75:00 1:20:00 0", "2行目が「開始 終了 種類」ではありません。"},
      {"0 10 0\n-20 30 0", "2行目が「開始 終了 種類」ではありません。"},
      {"0 10 0\n30 20 0", "2行目：終了位置が開始位置より前です。"},
      {"0 10 0\n5 20 3", "2行目の範囲が前の範囲と重なっています。"},
  });
}

TEST(CsvList, WhatToKeepAnEmptyEndRunningToTheEnd) {
  const CutList read = ReadCutList("0,120.5,Intro\n200.25,300,\"Part, two\"\n400,,\n");
  EXPECT_EQ(read.problem, "");
  EXPECT_EQ(read.form, ListForm::kCsv);
  EXPECT_EQ(read.spans, (std::vector<ClockSpan>{{0, 1205 * kPtsPerSecond / 10},
                                                {20025 * kPtsPerSecond / 100, 300 * kPtsPerSecond},
                                                {400 * kPtsPerSecond, 0, true}}));
  ExpectRefused({
      {"0,10,\n20", "2行目が「開始,終了,名前」ではありません。"},
      {"0,10,\n,30,", "2行目が「開始,終了,名前」ではありません。"},
      {"0,10,\n2x,30,", "2行目が「開始,終了,名前」ではありません。"},
      {"0,10,\n30,20,", "2行目：終了位置が開始位置より前です。"},
      {"0,10,\n5,20,", "2行目の範囲が前の範囲と重なっています。"},
      {"0,,\n20,30,", "2行目の範囲が前の範囲と重なっています。"},
  });
}

TEST(ChapterList, IsNotACutList) {
  const CutList read = ReadCutList("CHAPTER01=00:00:00.000\nCHAPTER01NAME=Opening\n");
  EXPECT_EQ(read.problem, "1行目：チャプターの一覧は区切りの位置だけで、残す範囲を表しません。");
}

// A clock of 60 markers, each picture 1 ms and a little after the marker's second, and the last
// picture half a second after the last marker.
clock::RecordingClock SixtySeconds() {
  constexpr int64_t first = 10 * kPtsPerSecond;
  std::vector<int64_t> pts = {first};
  for (int n = 1; n <= 60; ++n) pts.push_back(first + n * kPtsPerSecond + 100);
  return clock::RecordingClock(pts, first + 60 * kPtsPerSecond + kPtsPerSecond / 2);
}

TEST(EdlList, OurEdlReadBackGivesTheRangesItWasWrittenFrom) {
  const clock::RecordingClock clock = SixtySeconds();
  const CutTime end = RecordingEnd(clock, 60);
  EXPECT_EQ(end, CutTime(60)) << "no further than the length";
  for (const std::vector<KeptRange>& ranges :
       {std::vector<KeptRange>{{5, 10}, {30, 45}}, std::vector<KeptRange>{{0, 10}, {{30, 250}, 60}},
        std::vector<KeptRange>{{{5, 999}, {10, 1}}}}) {
    const std::string edl = WriteEdl(ranges, clock, end);
    const CutList read = ReadCutList(edl);
    ASSERT_EQ(read.problem, "") << edl;
    EXPECT_EQ(KeptRangesOf(read, clock, end), ranges) << edl;
  }
  EXPECT_EQ(WriteEdl({{5, 10}}, clock, end), "0.000\t5.002\t0\n10.002\t60.002\t0\n");
}

TEST(ChapterList, EachRangeBeginsAfterTheLengthsBeforeIt) {
  EXPECT_EQ(WriteChapters({{5, 10}, {{30, 500}, 45}, {50, 51}}, SixtySeconds()),
            "CHAPTER01=00:00:00.000\nCHAPTER01NAME=範囲1\n"
            "CHAPTER02=00:00:05.000\nCHAPTER02NAME=範囲2\n"
            "CHAPTER03=00:00:19.500\nCHAPTER03NAME=範囲3\n");
}

}  // namespace
}  // namespace trimora
