// The window's controls in the state the window opens with, and the rules of its two status panels.
#include "window/model.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "window/run_texts.h"

namespace trimora {

void TextBox::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  if (Change) Change();
}

void TextBox::GotFocus() {
  if (OnGotFocus) OnGotFocus();
}

void TextBox::Step(TimeStep step) {
  if (OnStep) OnStep(step);
}

void PictureBox::Draw(int percent) {
  if (percent == 0)
    FillPercent = 0;
  else if (percent > FillPercent)
    FillPercent = percent;
}

bool PreviewBox::Take(uint64_t request, bool has_picture, const std::string& reason) {
  if (request == 0 || request != Request) return false;
  HasPicture = has_picture;
  Message = has_picture ? "" : reason;
  return true;
}

std::string FileListBox::FileName() const {
  if (ListIndex < 0 || ListIndex >= static_cast<int>(Items.size())) return {};
  return Items[static_cast<std::size_t>(ListIndex)];
}

namespace {
constexpr const char* kTipTimeA = "ファイルサイズをもとに計算した値。";
constexpr const char* kTipTimeB = "1秒間隔で出現する放送情報データの数を調べて計算した値。";
}  // namespace

WindowModel::WindowModel()
    : lvAddress("lvAddress", "", 60, 60, 3855, 195, "", Align::Right),
      lvDescription("lvDescription", "", 3960, 60, 4755, 195, "- Trimoraの使い方、最新版の配布等。"),
      fFile("fFile", "", 60, 360, 3855, 3795, "ステップ1：ファイル選択"),
      fAnalyze("fAnalyze", "", 3960, 360, 4755, 1815, "ステップ2：ファイル解析結果の確認"),
      fOption("fOption", "", 3960, 2280, 4755, 1875, "ステップ3：ファイルの切り出し"),
      oSel0("oSel", 0, "fFile", 120, 300, 2835, 195, "ダイアログで選択"),
      oSel1("oSel", 1, "fFile", 120, 1080, 2835, 195, "リストから選択"),
      tDialogFile("tDialogFile", -1, "fFile", 120, 540, 3075, 330),
      bShowDialog("bShowDialog", "fFile", 3180, 540, 555, 315, "参照"),
      OptionLine("OptionLine", "fFile", 60, 960, 3720, 960, ColourRole::Default),
      lFile("lFile", "fFile", 120, 1320, 3615, 2250),
      lvFileSize("lvFileSize", "fAnalyze", 120, 540, 1515, 195, analysis_texts::kFileSizeCaption, Align::Right),
      lFileSize("lFileSize", "fAnalyze", 1680, 540, 975, 195, "", Align::Right),
      lvTimeA("lvTimeA", "fAnalyze", 120, 840, 1515, 195, analysis_texts::kTimeACaption, Align::Right),
      lTimeA("lTimeA", "fAnalyze", 1680, 840, 975, 195, "", Align::Right),
      lvTimeB("lvTimeB", "fAnalyze", 120, 1080, 1515, 195, analysis_texts::kTimeBCaption, Align::Right),
      lTimeB("lTimeB", "fAnalyze", 1680, 1080, 975, 195, "", Align::Right),
      lvDataType("lvDataType", "fAnalyze", 120, 300, 1515, 195, analysis_texts::kDataTypeCaption, Align::Right),
      lDataType("lDataType", "fAnalyze", 1680, 300, 975, 195, "", Align::Right),
      lS2_1("lS2_1", "fAnalyze", 2760, 240, 2760, 1320, ColourRole::Default),
      cDataDetail("cDataDetail", "fAnalyze", 2880, 300, 1815, 195, "詳しく調べる"),
      cTimeB("cTimeB", "fAnalyze", 2880, 1080, 915, 195, "調べる"),
      bReAnalyze("bReAnalyze", "fAnalyze", 3840, 1020, 855, 315, "再解析"),
      lS2_2("lS2_2", "fAnalyze", 60, 1380, 4680, 1380, ColourRole::Default),
      pProgress("pProgress", "fAnalyze", 60, 1440, 4635, 255),
      lProgress("lProgress", "pProgress", 0, 0, 4575, 195, "aaa", Align::Center),
      lProgress_S("lProgress_S", "pProgress", 14, 20, 4575, 195, "aaa", Align::Center),
      lMessage("lMessage", "fAnalyze", 420, 1500, 4275, 195, ""),
      iWarn("iWarn", "fAnalyze", 120, 1440, 240, 240, IconKind::Warning),
      iInfo("iInfo", "fAnalyze", 120, 1440, 240, 240, IconKind::Information),
      lZERO("lZERO", "fOption", 135, 600, 525, 180, "0:00:00", Align::Center),
      lEOF("lEOF", "fOption", 4155, 600, 525, 180, "0:00:00", Align::Center),
      lStart("lStart", "fOption", 135, 420, 525, 180, "0:00:00", Align::Center),
      lEnd("lEnd", "fOption", 4155, 420, 525, 180, "0:00:00", Align::Center),
      lnZERO("lnZERO", "fOption", 360, 300, 360, 540, ColourRole::GrayText),
      lnEOF("lnEOF", "fOption", 4380, 300, 4380, 540, ColourRole::GrayText),
      lnALL("lnALL", "fOption", 4380, 420, 360, 420, ColourRole::GrayText),
      lnStart("lnStart", "fOption", 360, 240, 360, 420, ColourRole::ButtonText),
      lnEnd("lnEnd", "fOption", 4380, 240, 4380, 420, ColourRole::ButtonText),
      lnRange("lnRange", "fOption", 360, 420, 4380, 420, ColourRole::ButtonText),
      lS3_1("lS3_1", "fOption", 120, 840, 4680, 840, ColourRole::Default),
      lvStart("lvStart", "fOption", 120, 960, 915, 195, "開始位置：", Align::Right),
      tStart0("tStart", 0, "fOption", 1080, 900, 315, 270, "0"),
      tStart1("tStart", 1, "fOption", 1560, 900, 315, 270, "0"),
      tStart2("tStart", 2, "fOption", 2040, 900, 315, 270, "0"),
      lvStartH("lvStartH", "fOption", 1380, 960, 195, 195, "h", Align::Center),
      lvStartM("lvStartM", "fOption", 1860, 960, 195, 195, "m", Align::Center),
      lvStartS("lvStartS", "fOption", 2340, 960, 195, 195, "s", Align::Center),
      lvEnd("lvEnd", "fOption", 120, 1260, 915, 195, "終了位置：", Align::Right),
      tEnd0("tEnd", 0, "fOption", 1080, 1200, 315, 270, "0"),
      tEnd1("tEnd", 1, "fOption", 1560, 1200, 315, 270, "0"),
      tEnd2("tEnd", 2, "fOption", 2040, 1200, 315, 270, "0"),
      lvEndH("lvEndH", "fOption", 1380, 1260, 195, 195, "h", Align::Center),
      lvEndM("lvEndM", "fOption", 1860, 1260, 195, 195, "m", Align::Center),
      lvEndS("lvEndS", "fOption", 2340, 1260, 195, 195, "s", Align::Center),
      lvRange("lvRange", "fOption", 2580, 960, 975, 195, "範囲時間：", Align::Right),
      lRange("lRange", "fOption", 3600, 960, 975, 195, "", Align::Right),
      lvExSize("lvExSize", "fOption", 2580, 1260, 975, 195, "推定サイズ：", Align::Right),
      lExSize("lExSize", "fOption", 3600, 1260, 975, 195, "", Align::Right),
      pTimeline("pTimeline", "fOption", 240, 225, 4260, 375),
      bCut("bCut", "fOption", 3840, 1500, 855, 315, "保存"),
      pCProgress("pCProgress", "fOption", 60, 1560, 3735, 255),
      lCProgress("lCProgress", "pCProgress", 0, 0, 3675, 195, "aaa", Align::Center),
      lCProgress_S("lCProgress_S", "pCProgress", 14, 20, 3675, 195, "aaa", Align::Center),
      iCWarn("iCWarn", "fOption", 120, 1560, 240, 240, IconKind::Warning),
      lCMessage("lCMessage", "fOption", 420, 1620, 3375, 195, ""),
      fPreview("fPreview", "", 60, 4215, 8655, 3285, "プレビュー"),
      lPreviewStart("lPreviewStart", "fPreview", 120, 300, 4140, 195, "開始位置：", Align::Center),
      lPreviewEnd("lPreviewEnd", "fPreview", 4395, 300, 4140, 195, "終了位置：", Align::Center),
      pPreviewStart("pPreviewStart", "fPreview", 120, 540, 4140, 2325, false),
      pPreviewEnd("pPreviewEnd", "fPreview", 4395, 540, 4140, 2325, true),
      cPreviewClean("cPreviewClean", "fPreview", 120, 2955, 4140, 225, "先頭と末尾をきれいに切る（キー画像から）"),
      lPreviewSize("lPreviewSize", "fPreview", 4395, 2970, 4140, 195, ""),
      fRanges("fRanges", "", 60, 7560, 8655, 2400, "保存する範囲"),
      lRanges("lRanges", "fRanges", 120, 300, 5760, 1500),
      bAddRange("bAddRange", "fRanges", 6000, 300, 1215, 315, "追加"),
      bRemoveRange("bRemoveRange", "fRanges", 7320, 300, 1215, 315, "削除"),
      bImportRanges("bImportRanges", "fRanges", 6000, 720, 1215, 315, "読み込み"),
      bExportRanges("bExportRanges", "fRanges", 7320, 720, 1215, 315, "書き出し"),
      bSaveRanges("bSaveRanges", "fRanges", 6000, 1140, 2535, 315, "まとめて保存"),
      bFindBreaks("bFindBreaks", "fRanges", 6000, 1560, 2535, 315, kFindBreaksCaption),
      cVerify("cVerify", "fRanges", 6000, 1890, 2535, 210, "保存後に確かめる"),
      lRangesTotal("lRangesTotal", "fRanges", 120, 1860, 5760, 195, ""),
      lRangesMessage("lRangesMessage", "fRanges", 120, 2100, 8415, 195, "") {
  lvAddress.Colour = ColourRole::Highlight;
  lvAddress.Underline = true;

  oSel1.Value = true;
  tDialogFile.Enabled = false;
  tDialogFile.ReadOnly = true;
  bShowDialog.Enabled = false;

  lTimeA.ToolTip = lvTimeA.ToolTip = kTipTimeA;
  lTimeB.ToolTip = lvTimeB.ToolTip = kTipTimeB;
  cPreviewClean.ToolTip =
      "キー画像から始まり、映像と音声が途中で切れないように切り出します。録画のデータはそのまま使います。";
  cVerify.ToolTip = "保存したファイルを読み直し、録画のデータどおりに書けたか確かめます。";
  cDataDetail.ToolTip = "データ形式が正常か詳しく調べます。ファイル全体を読み取るため、時間が掛かります。";
  cTimeB.ToolTip = "推定Bも調べます（再選択が必要）。ファイル全体を読み取るため、時間が掛かります。";
  bReAnalyze.Visible = false;

  for (PictureBox* box : {&pProgress, &pCProgress}) box->Visible = false;
  for (Label* caption : {&lProgress, &lCProgress}) {
    caption->Transparent = true;
    caption->Colour = ColourRole::HighlightText;
  }
  for (Label* shadow : {&lProgress_S, &lCProgress_S}) shadow->Transparent = true;
  for (Image* icon : {&iWarn, &iInfo, &iCWarn}) icon->Visible = false;

  for (Label* mark : {&lZERO, &lEOF}) {
    mark->AutoSize = true;
    mark->Colour = ColourRole::GrayText;
  }
  for (Label* mark : {&lStart, &lEnd}) {
    mark->AutoSize = true;
    mark->Transparent = true;
  }
  for (TextBox* box : {&tStart0, &tStart1, &tStart2, &tEnd0, &tEnd1, &tEnd2}) {
    box->Alignment = Align::Right;
    box->MaxLength = 2;
    box->InputMethodOff = true;
  }
  bCut.Enabled = false;
  bFindBreaks.Visible = false;

  controls_ = {&lvAddress,   &lvDescription, &fFile,       &fAnalyze,   &fOption,     &oSel0,      &tDialogFile,
               &bShowDialog, &OptionLine,    &oSel1,       &lFile,      &lvFileSize,  &lFileSize,  &lvTimeA,
               &lTimeA,      &lvTimeB,       &lTimeB,      &lvDataType, &lDataType,   &lS2_1,      &cDataDetail,
               &cTimeB,      &bReAnalyze,    &lS2_2,       &lMessage,   &iWarn,       &iInfo,      &pProgress,
               &lProgress_S, &lProgress,     &lZERO,       &lEOF,       &lStart,      &lEnd,       &lnZERO,
               &lnEOF,       &lnALL,         &lnStart,     &lnEnd,      &lnRange,     &lS3_1,      &lvStart,
               &tStart0,     &tStart1,       &tStart2,     &lvStartH,   &lvStartM,    &lvStartS,   &lvEnd,
               &tEnd0,       &tEnd1,         &tEnd2,       &lvEndH,     &lvEndM,      &lvEndS,     &lvRange,
               &lRange,      &lvExSize,      &lExSize,     &pTimeline,   &bCut,       &lCMessage,   &iCWarn,     &pCProgress,
               &lCProgress_S, &lCProgress,   &fPreview,    &lPreviewStart, &lPreviewEnd, &pPreviewStart,
               &pPreviewEnd,  &cPreviewClean, &lPreviewSize, &fRanges,    &lRanges,     &bAddRange,
               &bRemoveRange, &bImportRanges, &bExportRanges, &bSaveRanges, &bFindBreaks, &cVerify, &lRangesTotal, &lRangesMessage};
}

// What the window gains in width widens the preview and the list; what it gains or loses in height
// goes to the pictures, and the list moves with their bottom edge.
void WindowModel::Resize(float width, float height) {
  ClientWidth = std::max(width, kClientWidth);
  ClientHeight = std::max(height, kMinClientHeight);
  const float wider = ClientWidth - kClientWidth, taller = ClientHeight - kClientHeight;
  constexpr float kMargin = 120, kGap = 135;
  fPreview.Width = 8655 + wider;
  fPreview.Height = 3285 + taller;
  // Whole pixels, so that both pictures come out the same size.
  const float picture_width = std::floor((fPreview.Width - 2 * kMargin - kGap) / 2 / 15) * 15;
  const float end_left = kMargin + picture_width + kGap;
  for (Control* c : std::initializer_list<Control*>{&lPreviewStart, &pPreviewStart, &cPreviewClean, &lPreviewEnd,
                                                    &pPreviewEnd, &lPreviewSize})
    c->Width = picture_width;
  for (Control* c : std::initializer_list<Control*>{&lPreviewEnd, &pPreviewEnd, &lPreviewSize}) c->Left = end_left;
  pPreviewStart.Height = pPreviewEnd.Height = 2325 + taller;
  cPreviewClean.Top = 2955 + taller;
  lPreviewSize.Top = 2970 + taller;
  fRanges.Top = 7560 + taller;
  fRanges.Width = 8655 + wider;
  lRanges.Width = lRangesTotal.Width = 5760 + wider;
  lRangesMessage.Width = 8415 + wider;
  for (Button* b : {&bAddRange, &bImportRanges, &bSaveRanges, &bFindBreaks}) b->Left = 6000 + wider;
  cVerify.Left = 6000 + wider;
  for (Button* b : {&bRemoveRange, &bExportRanges}) b->Left = 7320 + wider;
}

void WindowModel::lMessage_Show(const std::string& sMessage, int32_t iIconType) {
  pProgress.Visible = false;
  iInfo.Visible = iIconType == kInformationIcon;
  iWarn.Visible = iIconType == kWarningIcon;
  lMessage.Caption = sMessage;
  DoEvents();
}

void WindowModel::lCMessage_Show(const std::string& sMessage, int32_t iIconType) {
  pCProgress.Visible = false;
  iCWarn.Visible = iIconType == kCutWarningIcon;
  lCMessage.Caption = sMessage;
  DoEvents();
}

void WindowModel::RefreshBar(PictureBox& box, Label& caption, Label& shadow, int32_t iPercent,
                             const std::string& sMessage) {
  if (iPercent == kBarHidden) {
    box.Visible = false;
  } else if (iPercent != kBarUnchanged) {
    box.Visible = true;
    box.Draw(iPercent);
  }
  if (sMessage != kCaptionUnchanged) {
    caption.Caption = sMessage;
    shadow.Caption = sMessage;
  }
  DoEvents();
}

void WindowModel::Progress_Refresh(int32_t iPercent, const std::string& sMessage) {
  RefreshBar(pProgress, lProgress, lProgress_S, iPercent, sMessage);
}

void WindowModel::CProgress_Refresh(int32_t iPercent, const std::string& sMessage) {
  RefreshBar(pCProgress, lCProgress, lCProgress_S, iPercent, sMessage);
}

}  // namespace trimora
