// The preview below the three steps: where it sits, that its pictures are those of the range the
// timeline shows, and that a newer range stops the picture of an older one instead of showing it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "cleancut/clean_cut.h"
#include "core/time_values.h"
#include "engine/marker_index.h"
#include "tests/recording_builder.h"
#include "tests/preview/video_recording.h"
#include "tests/view/desktop_harness.h"
#include "timerange/range_check.h"
#include "timerange/range_preview.h"
#include "window/qt/main_window.h"
#include "window/qt/widgets.h"

namespace trimora {
namespace {

PreviewWidget* PictureOf(const MainWindow& view, const char* name) {
  return dynamic_cast<PreviewWidget*>(view.WidgetOf(name));
}

// The second whose colour the middle of a shown picture has.
int SecondShown(const PreviewWidget* widget) {
  if (!widget->ShowsPicture()) return -1;
  const QImage& picture = widget->Picture();
  return testkit::SecondOfColour(picture.pixel(picture.width() / 2, picture.height() / 2) & 0xFFFFFF);
}

TEST(PreviewPanel, SitsBelowTheStepsAtHalfTheWindowsWidthEach) {
  WindowModel m;
  MainWindow view(m);
  const QRect panel = view.WidgetOf("fPreview")->geometry();
  EXPECT_LE(panel.bottom(), view.height() - 1);
  for (const Control* c : m.Controls()) {
    if (!c->Parent.empty() || c == &m.fPreview) continue;
    EXPECT_FALSE(view.WidgetOf(c->Name)->geometry().intersects(panel)) << c->Name;
  }
  const QRect start = PictureOf(view, "pPreviewStart")->geometry();
  const QRect end = PictureOf(view, "pPreviewEnd")->geometry();
  EXPECT_GE(start.width(), 270);
  EXPECT_EQ(end.size(), start.size());
  EXPECT_LT(start.right(), end.left());
  EXPECT_LE(end.right(), panel.width());
  // Each time stands above its picture.
  EXPECT_LE(view.WidgetOf("lPreviewStart")->geometry().bottom(), start.top());
  EXPECT_GE(view.WidgetOf("lPreviewEnd")->geometry().left(), start.right());
}

// A window made larger gives the room to the pictures; the three steps stay where they were.
TEST(PreviewPanel, GrowsWithTheWindowWhileTheStepsKeepTheirPlaces) {
  AppState st;
  st.iTotalSec = 60;
  WindowModel m;
  WireRangeEntry(m, st);
  std::atomic<int> widest{0};
  MainWindow view(m, nullptr, [&widest](MarkerIndex&, const preview::PictureRequest& request, const std::stop_token&) {
    widest = std::max(widest.load(), request.max_width);
    return preview::PictureResult{preview::PictureOutcome::kPicture, {8, 6, std::vector<uint32_t>(48, 0xFF000000)}, 0};
  });
  PreviewRecording(m, std::make_shared<MarkerIndex>("unread.nts"));
  m.tEnd[2]->SetText("9");
  view.show();
  const QRect step3 = view.WidgetOf("fOption")->geometry(), step1 = view.WidgetOf("fFile")->geometry();
  const QSize first = PictureOf(view, "pPreviewStart")->size();
  QTRY_VERIFY(widest > 0);
  EXPECT_GT(view.maximumSize().height(), view.height()) << "the window is no longer of one fixed size";

  view.resize(1280, 900);
  QTRY_COMPARE(view.size(), QSize(1280, 900));
  const QRect start = PictureOf(view, "pPreviewStart")->geometry();
  EXPECT_EQ(view.WidgetOf("fOption")->geometry(), step3);
  EXPECT_EQ(view.WidgetOf("fFile")->geometry(), step1);
  EXPECT_GT(start.width(), first.width() * 2);
  EXPECT_GT(start.height(), first.height() + 200);
  EXPECT_EQ(PictureOf(view, "pPreviewEnd")->size(), start.size());
  EXPECT_GE(view.WidgetOf("fRanges")->geometry().top(), view.WidgetOf("fPreview")->geometry().bottom());
  EXPECT_LE(view.WidgetOf("fRanges")->geometry().bottom(), view.height());
  QTRY_VERIFY(widest > first.width() * 2);  // the pictures are made again at the size they now have
}

// Stands in for the decoder: the start picture of second 0 takes until it is stopped.
struct SlowFirstPicture {
  std::atomic<bool> started{false};
  std::atomic<bool> stopped{false};

  preview::PictureResult operator()(MarkerIndex&, const preview::PictureRequest& request, const std::stop_token& stop) {
    if (request.second == 0 && request.point == preview::CutPoint::kStart) {
      started = true;
      for (int i = 0; i < 500 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      stopped = stop.stop_requested();
    }
    preview::PictureResult result{preview::PictureOutcome::kPicture, {8, 6, {}}, 0};
    result.picture.pixels.assign(8 * 6, 0xFF000000 | testkit::SecondColour(request.second));
    return result;
  }
};

TEST(PreviewPanel, ANewerRangeStopsTheOlderPictureAndShowsOnlyItsOwn) {
  AppState st;
  st.iTotalSec = 60;
  WindowModel m;
  WireRangeEntry(m, st);
  auto slow = std::make_shared<SlowFirstPicture>();
  MainWindow view(m, nullptr, [slow](MarkerIndex& index, const preview::PictureRequest& request,
                                     const std::stop_token& stop) { return (*slow)(index, request, stop); });
  PreviewRecording(m, std::make_shared<MarkerIndex>("unread.nts"));
  m.tEnd[2]->SetText("9");  // 0:00:00 - 0:00:09
  view.Render();
  QTRY_VERIFY(slow->started);
  const uint64_t older = m.pPreviewStart.Request;

  m.tStart[2]->SetText("7");
  view.Render();
  QTRY_COMPARE(SecondShown(PictureOf(view, "pPreviewStart")), 7);
  EXPECT_TRUE(slow->stopped);
  QTRY_COMPARE(SecondShown(PictureOf(view, "pPreviewEnd")), 9);
  EXPECT_EQ(static_cast<QLabel*>(view.WidgetOf("lPreviewStart"))->text(), "開始位置：0:00:07");
  // A result that still arrived for the older range would be dropped.
  EXPECT_FALSE(m.pPreviewStart.Take(older, false, "x"));
  EXPECT_EQ(SecondShown(PictureOf(view, "pPreviewStart")), 7);
}

// Stands in for the decoder: every end picture takes until it is stopped.
struct SlowEndPicture {
  std::atomic<bool> started{false};
  preview::PictureResult operator()(MarkerIndex&, const preview::PictureRequest& request, const std::stop_token& stop) {
    if (request.point == preview::CutPoint::kEnd) {
      started = true;
      for (int i = 0; i < 3000 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    preview::PictureResult result{preview::PictureOutcome::kPicture, {8, 6, {}}, 0};
    result.picture.pixels.assign(8 * 6, 0xFF000000 | testkit::SecondColour(request.second));
    return result;
  }
};

TEST(PreviewPanel, AStartPictureNeverWaitsBehindASlowEndPicture) {
  AppState st;
  st.iTotalSec = 60;
  WindowModel m;
  WireRangeEntry(m, st);
  auto slow = std::make_shared<SlowEndPicture>();
  MainWindow view(m, nullptr, [slow](MarkerIndex& index, const preview::PictureRequest& request,
                                     const std::stop_token& stop) { return (*slow)(index, request, stop); });
  PreviewRecording(m, std::make_shared<MarkerIndex>("unread.nts"));
  m.tEnd[2]->SetText("9");
  view.Render();
  QTRY_VERIFY(slow->started);
  m.tStart[2]->SetText("7");
  view.Render();
  QTRY_COMPARE(SecondShown(PictureOf(view, "pPreviewStart")), 7);
}

TEST(PreviewPanel, ShowsTheRangesPicturesAndSaysWhyARecordingHasNone) {
  testkit::TempDir folder;
  testkit::WriteVideoRecording(folder / "video.nts", {.seconds = 12});
  testkit::Recording(testkit::RecordingOptions{.seconds = 12}).WriteTo(folder / "synthetic.nts");
  testkit::Desktop d(folder.path());
  d.Click("cTimeB");  // count the markers: the recordings are too small for a length by size
  d.ClickListEntry("video.nts");
  auto* start = d.Widget<PreviewWidget>("pPreviewStart");
  auto* end = d.Widget<PreviewWidget>("pPreviewEnd");
  // Analysed again, the range boxes keep what they hold and no range check runs: both pictures
  // are asked for anew all the same.
  d.Click("bReAnalyze");
  QTRY_COMPARE(SecondShown(start), 0);
  QTRY_COMPARE(SecondShown(end), 11);
  d.Type("tStart", 2, "7");
  d.Type("tEnd", 2, "9");
  QTRY_COMPARE(SecondShown(start), 7);
  QTRY_VERIFY(SecondShown(end) >= 0);
  EXPECT_EQ(SecondShown(end), 8);  // the last picture before the 9th marker

  d.ClickListEntry("synthetic.nts");
  EXPECT_EQ(d.m.Preview.Markers, d.st.markers);  // the index of the recording analysed last
  QTRY_VERIFY(!start->Message().isEmpty() && start->Message() != "画像を作成しています…");
  EXPECT_FALSE(start->ShowsPicture());
  EXPECT_EQ(start->Message(), "映像がありません。");
}

TEST(PreviewPanel, AnEndPastTheLastMarkerIsLabelledTheRecordingsEnd) {
  testkit::TempDir folder;
  // Three markers in a size that reads as six seconds: the boxes get 0:00:06 from the estimate.
  testkit::Recording(testkit::RecordingOptions{.seconds = 3, .packets_per_second = 2500, .trailing_packets = 0})
      .WriteTo(folder / "short.nts");
  testkit::Desktop d(folder.path());
  d.ClickListEntry("short.nts");
  auto* label = d.Widget<QLabel>("lPreviewEnd");
  // Until the end picture's search has run out of markers, the time is all there is to say.
  QTRY_COMPARE(label->text(), QString("終了位置：録画の末尾"));
  d.Type("tEnd", 2, "2");
  QTRY_COMPARE(label->text(), QString("終了位置：0:00:02"));
  d.Type("tStart", 2, "0");
  d.Type("tEnd", 2, "5");  // the count is known now: no search needed to say so
  EXPECT_EQ(d.m.lPreviewEnd.Caption, "終了位置：録画の末尾");
}

// The size beside the pictures is the size Save then writes, exact or clean; the box makes the
// pictures, the size and Save those of the clean cut, and it sits in the panel's own row below
// the pictures.
TEST(PreviewPanel, TheExactSizeIsWhatSaveWritesAndTheBoxMakesItTheCleanCut) {
  testkit::TempDir folder;
  testkit::WriteVideoRecording(folder / "video.nts", {.seconds = 12, .gop = 6, .audio = true, .marker_shift = 2});
  testkit::Desktop d(folder.path());
  const QRect box = d.view.WidgetOf("cPreviewClean")->geometry();
  EXPECT_GE(box.top(), d.view.WidgetOf("pPreviewStart")->geometry().bottom());
  EXPECT_LE(box.bottom(), d.view.WidgetOf("fPreview")->height());
  EXPECT_GE(d.view.WidgetOf("lPreviewSize")->geometry().left(), box.right());

  d.Click("cTimeB");
  d.ClickListEntry("video.nts");
  d.Type("tStart", 2, "2");
  d.Type("tEnd", 2, "5");
  MarkerIndex index((folder / "video.nts").string());
  const int64_t from = index.ByteAfterMarker(2).byte, to = index.ByteAfterMarker(5).byte;
  const auto kb = [](int64_t bytes) { return QString::fromStdString(FormatGrouped(static_cast<double>(bytes) / 1024)); };
  QTRY_COMPARE(d.Text("lPreviewSize"), "切り出しサイズ：" + kb(to - from) + " KB");
  d.dialogs.answers = {(folder / "exact.ts").string()};
  d.Click("bCut");
  EXPECT_EQ(int64_t(std::filesystem::file_size(folder / "exact.ts")), to - from);

  d.Click("cPreviewClean");
  const cleancut::CleanCut clean = cleancut::PlanCleanCut((folder / "video.nts").string(), from, to);
  ASSERT_EQ(clean.outcome, cleancut::CleanCutOutcome::kPlanned);
  QTRY_VERIFY(d.Text("lPreviewSize").startsWith("切り出しサイズ：" + kb(clean.plan.size) + " KB（映像開始 +0."));
  QTRY_VERIFY(SecondShown(d.Widget<PreviewWidget>("pPreviewStart")) >= 2);
  d.dialogs.answers = {(folder / "clean.ts").string()};
  d.Click("bCut");
  EXPECT_EQ(d.Text("lCProgress"), "書き込みが完了しました。");
  EXPECT_EQ(int64_t(std::filesystem::file_size(folder / "clean.ts")), clean.plan.size);

  // Past the last marker (a length estimated from the size can put an end there) the panel says
  // so in place of a size.
  EXPECT_EQ(MeasureCutSize(index, 20, 30, false).text, "開始位置が録画の末尾を越えています。");
  EXPECT_EQ(MeasureCutSize(index, 2, 30, true).text, "終了位置が録画の末尾を越えています。");
}

}  // namespace
}  // namespace trimora
