// The window's handlers, driven headless through the model as the Qt view drives them: start-up
// modes, choosing a recording, Save, the check boxes, the link and closing during long runs.
#include "window/events/events.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/os/os.h"
#include "platform/record_folder.h"
#include "tests/recording_builder.h"
#include "core/time_values.h"

namespace trimora {
namespace {

namespace fs = std::filesystem;
using testkit::Recording;
using testkit::RecordingOptions;
using testkit::TempDir;

const char* const kIniTail = "Local Settings/Application Data/Newsoft/HPVR/LocalUser.ini";
const char* const kMeasuring = "データの長さを調べています. ";
const char* const kCopying = "書き込んでいます... (3/3)";

// Answers each dialog from a script; an empty script is a cancel. Can act while "shown".
class ScriptedDialogs : public FileDialogs {
 public:
  struct Call {
    std::string filter, initial_dir, file_name;
    bool save;
  };
  std::string ShowFileDialog(const std::string& filter, const std::string& initialDir, const std::string& fileName,
                             bool save) override {
    calls.push_back({filter, initialDir, fileName, save});
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<std::string> answers;
  std::vector<Call> calls;
};

class RecordingOpener : public WebOpener {
 public:
  void Open(const std::string& address) override {
    opened.push_back(address);
    if (fail) throw std::runtime_error("no browser");
  }
  std::vector<std::string> opened;
  bool fail = false;
};

Recording Seconds(int seconds) {
  RecordingOptions options;
  options.seconds = seconds;
  return Recording(options);
}

void WriteText(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  testkit::WriteAll(path, testkit::Bytes(bytes.begin(), bytes.end()));
}

class WindowEventsTest : public ::testing::Test {
 protected:
  WindowEventsTest() { env_["HOME"] = home_.path().string(); }

  // The recorder's INI file naming folder (raw bytes, as the recorder would write them).
  void WriteIni(const std::string& folder_bytes) {
    WriteText(home_ / kIniTail, "[Settings]\r\nPath=elsewhere\r\n[Record]\r\nPath=" + folder_bytes + "\r\n");
  }
  fs::path MakeRecordFolder(const std::string& name = "tv") {
    fs::path folder = home_.path() / os::PathFromUtf8(name);
    fs::create_directories(folder);
    return folder;
  }
  int IndexOf(const std::string& name) const {
    for (std::size_t i = 0; i < w_.lFile.Items.size(); ++i)
      if (w_.lFile.Items[i] == name) return static_cast<int>(i);
    ADD_FAILURE() << name << " is not listed";
    return -1;
  }
  void ClickListEntry(const std::string& name) {
    w_.lFile.ListIndex = IndexOf(name);
    w_.lFile.Click();
  }
  void TickMeasure() {
    w_.cDataDetail.Value = 1;
    w_.cDataDetail.Click();
  }
  void ChooseInDialog(const std::string& path) {
    dialogs_.answers.push_back(path);
    w_.bShowDialog.Click();
  }
  void ExpectDialogMode() {
    EXPECT_TRUE(w_.oSel[0]->Value);
    EXPECT_FALSE(w_.oSel[1]->Value);
    EXPECT_FALSE(w_.oSel[1]->Enabled);
    EXPECT_TRUE(w_.tDialogFile.Enabled);
    EXPECT_TRUE(w_.bShowDialog.Enabled);
    EXPECT_FALSE(w_.lFile.Enabled);
    EXPECT_EQ(w_.lFile.Pattern, "404.dir");
    EXPECT_TRUE(w_.lFile.Items.empty());
  }
  void ExpectFilesClosed() {
    EXPECT_FALSE(st_.file1.IsOpen());
    EXPECT_FALSE(st_.file2.IsOpen());
  }

  TempDir home_;
  std::map<std::string, std::string> env_;
  WindowModel w_;
  AppState st_;
  ScriptedDialogs dialogs_;
  RecordingOpener web_;
  Platform platform_{dialogs_, web_, [this](const std::string& name, std::string& value) {
                       auto it = env_.find(name);
                       if (it == env_.end()) return false;
                       value = it->second;
                       return true;
                     }};
  WindowEvents events_{w_, st_, platform_};
};

// ---- Start-up ---------------------------------------------------------------------------------

TEST_F(WindowEventsTest, StartingStateHoldsUntilLoadAndEveryHandlerIsWired) {
  EXPECT_EQ(w_.Caption, "Trimora");
  EXPECT_TRUE(w_.oSel[1]->Value);
  EXPECT_FALSE(w_.oSel[0]->Value);
  EXPECT_FALSE(w_.tDialogFile.Enabled);
  EXPECT_FALSE(w_.bShowDialog.Enabled);
  EXPECT_FALSE(w_.bCut.Enabled);
  EXPECT_FALSE(w_.bReAnalyze.Visible);
  EXPECT_FALSE(w_.bReAnalyze.Click);  // the re-analyse button has no action
  EXPECT_FALSE(events_.Busy());
  for (Control* c : {static_cast<Control*>(w_.oSel[0]), static_cast<Control*>(w_.oSel[1]),
                     static_cast<Control*>(&w_.lFile), static_cast<Control*>(&w_.bShowDialog),
                     static_cast<Control*>(&w_.bCut), static_cast<Control*>(&w_.cDataDetail),
                     static_cast<Control*>(&w_.cTimeB), static_cast<Control*>(&w_.lvAddress)})
    EXPECT_TRUE(c->Click) << c->Name << " has no click handler";
  for (TextBox* box : {w_.tStart[0], w_.tStart[1], w_.tStart[2], w_.tEnd[0], w_.tEnd[1], w_.tEnd[2]})
    EXPECT_TRUE(box->Change) << box->Name << box->Index << " is not connected to the range check";
}

TEST_F(WindowEventsTest, StartUpWithAnExistingFolderListsItsRecordings) {
  fs::path folder = MakeRecordFolder();
  for (const char* name : {"b.nts", "A.NTS", "notes.txt"}) WriteText(folder / name, "x");
#ifndef _WIN32  // hidden there by attribute, not by name
  WriteText(folder / ".partial.nts", "x");
#endif
  fs::create_directory(folder / "old.nts");
  WriteIni(folder.string());

  events_.Load();

  EXPECT_EQ(w_.Caption.rfind("Trimora ", 0), 0u) << w_.Caption;  // the title carries an edition
  EXPECT_EQ(w_.lvAddress.Caption, "Trimoraの使い方");  // the page's title, not its file name
  EXPECT_EQ(st_.sRecordPath, folder.string() + kPathSeparator);
  EXPECT_EQ(w_.lFile.Path, st_.sRecordPath);
  EXPECT_EQ(w_.lFile.Pattern, "*.nts");
  EXPECT_EQ(w_.lFile.Items, (std::vector<std::string>{"A.NTS", "b.nts"}));
  EXPECT_TRUE(w_.oSel[1]->Value);
  EXPECT_TRUE(w_.oSel[1]->Enabled);
  EXPECT_TRUE(w_.lFile.Enabled);
  EXPECT_FALSE(w_.bShowDialog.Enabled);
  EXPECT_FALSE(w_.tDialogFile.Enabled);
}

TEST_F(WindowEventsTest, StartUpFallsBackToDialogModeWhenTheFolderIsMissing) {
  WriteIni((home_ / "gone").string());
  events_.Load();
  EXPECT_EQ(st_.sRecordPath, (home_ / "gone").string() + kPathSeparator);
  ExpectDialogMode();
}

TEST_F(WindowEventsTest, StartUpFallsBackToDialogModeWithoutAnIniFile) {
  events_.Load();
  EXPECT_EQ(st_.sRecordPath, "ERROR");
  ExpectDialogMode();
}

TEST_F(WindowEventsTest, StartUpFallsBackToDialogModeWithoutAnyProfileFolder) {
  WriteIni(MakeRecordFolder().string());
  env_.clear();
  events_.Load();
  EXPECT_EQ(st_.sRecordPath, "ERROR");
  ExpectDialogMode();
}

TEST_F(WindowEventsTest, StartUpPrefersUserProfileOverHome) {
  TempDir profile;
  fs::path folder = MakeRecordFolder();
  WriteText(profile / kIniTail, "[Record]\nPath=" + folder.string() + "\n");
  env_["USERPROFILE"] = profile.path().string();
  events_.Load();
  EXPECT_EQ(st_.sRecordPath, folder.string() + kPathSeparator);
  EXPECT_TRUE(w_.oSel[1]->Enabled);
}

TEST_F(WindowEventsTest, ShiftJisIniWithAJapaneseFolderNameListsAndAnalysesItsRecordings) {
  fs::path folder = MakeRecordFolder("録画表示");
  Seconds(3).WriteTo(folder / os::PathFromUtf8("ニュース.nts"));
  WriteIni(home_.path().string() + kPathSeparator + "\x98\x5E\x89\xE6\x95\x5C\x8E\xA6");  // 録画表示 in Shift-JIS

  events_.Load();
  EXPECT_EQ(st_.sRecordPath, os::Utf8FromPath(folder) + kPathSeparator);
  ASSERT_EQ(w_.lFile.Items, (std::vector<std::string>{"ニュース.nts"}));

  ClickListEntry("ニュース.nts");
  EXPECT_EQ(st_.sEditFile, os::Utf8FromPath(folder / os::PathFromUtf8("ニュース.nts")));
  EXPECT_EQ(w_.lDataType.Caption, "正常(TS)");

  // The folder dropped on the window opens its first recording, in dialog mode.
  st_.sEditFile.clear();
  w_.OpenPaths({os::Utf8FromPath(folder)});
  EXPECT_EQ(st_.sEditFile, os::Utf8FromPath(folder / os::PathFromUtf8("ニュース.nts")));
  EXPECT_TRUE(w_.oSel[0]->Value);
}

TEST_F(WindowEventsTest, OptionButtonsSwitchBetweenDialogAndListMode) {
  WriteIni(MakeRecordFolder().string());
  events_.Load();

  w_.oSel[0]->Click();
  EXPECT_TRUE(w_.oSel[0]->Value);
  EXPECT_FALSE(w_.oSel[1]->Value);
  EXPECT_TRUE(w_.tDialogFile.Enabled);
  EXPECT_TRUE(w_.bShowDialog.Enabled);
  EXPECT_FALSE(w_.lFile.Enabled);

  w_.oSel[1]->Click();
  EXPECT_FALSE(w_.oSel[0]->Value);
  EXPECT_TRUE(w_.oSel[1]->Value);
  EXPECT_FALSE(w_.tDialogFile.Enabled);
  EXPECT_FALSE(w_.bShowDialog.Enabled);
  EXPECT_TRUE(w_.lFile.Enabled);
}

// ---- Choosing a recording ---------------------------------------------------------------------

TEST_F(WindowEventsTest, ListClickAnalysesTheFolderEntry) {
  fs::path folder = MakeRecordFolder();
  Seconds(5).WriteTo(folder / "a.nts");
  Seconds(7).WriteTo(folder / "b.nts");
  WriteIni(folder.string());
  events_.Load();
  TickMeasure();

  ClickListEntry("b.nts");

  EXPECT_EQ(st_.sEditFile, (folder / "b.nts").string());
  EXPECT_EQ(st_.iTotalSec, 7);
  EXPECT_EQ(w_.lTimeB.Caption, "0:00:07");
  EXPECT_TRUE(w_.fOption.Enabled);
  EXPECT_FALSE(events_.Busy());
  ExpectFilesClosed();
}

TEST_F(WindowEventsTest, DialogChoiceIsShownAndAnalysed) {
  events_.Load();
  const fs::path file = home_ / "chosen.nts";
  Seconds(4).WriteTo(file);
  TickMeasure();

  ChooseInDialog(file.string());

  ASSERT_EQ(dialogs_.calls.size(), 1u);
  EXPECT_EQ(dialogs_.calls[0].filter, BuildDialogFilter(kRecordingsFilter));
  EXPECT_EQ(dialogs_.calls[0].initial_dir, "");
  EXPECT_FALSE(dialogs_.calls[0].save);
  EXPECT_EQ(w_.tDialogFile.Text(), file.string());
  EXPECT_EQ(st_.sEditFile, file.string());
  EXPECT_EQ(st_.iTotalSec, 4);
  EXPECT_TRUE(w_.fOption.Enabled);
  w_.bShowDialog.Click();
  EXPECT_EQ(dialogs_.calls[1].initial_dir, home_.path().string() + kPathSeparator) << "the folder last chosen";
}

TEST_F(WindowEventsTest, CancelledDialogsDoNothing) {
  events_.Load();
  w_.bShowDialog.Click();  // open dialog cancelled
  EXPECT_EQ(w_.tDialogFile.Text(), "");
  EXPECT_EQ(st_.sEditFile, "");
  EXPECT_EQ(w_.lDataType.Caption, "");
  EXPECT_FALSE(w_.pProgress.Visible);

  const fs::path file = home_ / "rec.nts";
  Seconds(4).WriteTo(file);
  TickMeasure();
  ChooseInDialog(file.string());
  ASSERT_TRUE(w_.bCut.Enabled);
  const std::string message = w_.lCMessage.Caption;

  w_.bCut.Click();  // save dialog cancelled
  ASSERT_EQ(dialogs_.calls.size(), 3u);
  EXPECT_TRUE(dialogs_.calls[2].save);
  EXPECT_EQ(dialogs_.calls[2].filter, BuildDialogFilter(kRecordingsFilter));
  // The save dialog starts beside the source with the source's name and the range proposed.
  EXPECT_EQ(dialogs_.calls[2].initial_dir, home_.path().string() + kPathSeparator);
  EXPECT_EQ(dialogs_.calls[2].file_name, "rec_0h00m00s-0h00m04s.nts");
  EXPECT_FALSE(w_.pCProgress.Visible);
  EXPECT_EQ(w_.lCMessage.Caption, message);
  EXPECT_TRUE(w_.bCut.Enabled);
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(home_.path())) files.push_back(entry.path().filename().string());
  EXPECT_EQ(files, std::vector<std::string>{"rec.nts"}) << "a cancelled save writes no file";
}

// ---- Save -------------------------------------------------------------------------------------

TEST_F(WindowEventsTest, SaveCutsTheRangeIntoTheChosenFile) {
  events_.Load();
  const Recording rec = Seconds(10);
  const fs::path source = home_ / "source.nts", target = home_ / "part.nts";
  rec.WriteTo(source);
  TickMeasure();
  ChooseInDialog(source.string());
  w_.tStart[2]->SetText("5");
  w_.tEnd[2]->SetText("7");
  ASSERT_TRUE(w_.bCut.Enabled) << w_.lCMessage.Caption;

  dialogs_.answers.push_back(target.string());
  w_.bCut.Click();

  EXPECT_TRUE(dialogs_.calls.back().save);
  EXPECT_EQ(testkit::ReadAll(target), rec.Slice(rec.MarkerIndex(5) + 1, rec.MarkerIndex(7) + 1));
  EXPECT_EQ(w_.lCProgress.Caption, "書き込みが完了しました。");
  EXPECT_TRUE(w_.bCut.Enabled);
  EXPECT_FALSE(events_.Busy());
  ExpectFilesClosed();
  fs::create_directories(home_ / "cuts");
  dialogs_.answers.push_back((home_ / "cuts" / "again.nts").string());
  w_.bCut.Click();
  w_.bCut.Click();  // cancelled
  EXPECT_EQ(dialogs_.calls.back().initial_dir, (home_ / "cuts").string() + kPathSeparator) << "the folder last saved to";
}

TEST_F(WindowEventsTest, SaveWithBoxesThatNoLongerConvertShowsTheEntryMessageAndCutsNothing) {
  events_.Load();
  const fs::path source = home_ / "source.nts", target = home_ / "part.nts";
  Seconds(10).WriteTo(source);
  TickMeasure();
  ChooseInDialog(source.string());
  w_.tEnd[1]->SetText("x");  // fails to convert, so Save stays enabled for the last valid range
  ASSERT_TRUE(w_.bCut.Enabled);

  dialogs_.answers.push_back(target.string());
  w_.bCut.Click();

  EXPECT_EQ(w_.lCMessage.Caption, "指定が正しくありません。");
  EXPECT_TRUE(w_.iCWarn.Visible);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(dialogs_.calls.size(), 1u) << "no target is asked for a range the boxes do not hold";
}

// ---- Check boxes and link ---------------------------------------------------------------------

TEST_F(WindowEventsTest, MeasureCheckBoxesMirrorEachOther) {
  w_.cDataDetail.Value = 1;
  w_.cDataDetail.Click();
  EXPECT_EQ(w_.cTimeB.Value, 1);
  w_.cDataDetail.Value = 0;
  w_.cDataDetail.Click();
  EXPECT_EQ(w_.cTimeB.Value, 0);
  w_.cTimeB.Value = 1;
  w_.cTimeB.Click();
  EXPECT_EQ(w_.cDataDetail.Value, 1);
  w_.cTimeB.Value = 0;
  w_.cTimeB.Click();
  EXPECT_EQ(w_.cDataDetail.Value, 0);
}

TEST_F(WindowEventsTest, LinkOpensTheUsagePageBesideTheProgramAndIgnoresFailures) {
  events_.Load();
  w_.lvAddress.Click();
  ASSERT_EQ(web_.opened.size(), 1u);
  EXPECT_EQ(web_.opened[0], ResolveWebPageAddress(kWebPageAddress));
  EXPECT_EQ(web_.opened[0].rfind("file:///", 0), 0u);
  EXPECT_NE(web_.opened[0].find("/usage.html"), std::string::npos);

  web_.fail = true;
  EXPECT_NO_THROW(w_.lvAddress.Click());
  EXPECT_EQ(web_.opened.size(), 2u);
}

// ---- Closing and re-entry during long runs ----------------------------------------------------

TEST_F(WindowEventsTest, CloseDuringAMeasuringAnalysisStopsTheLoopAndClosesTheSource) {
  events_.Load();
  const fs::path source = home_ / "long.nts";
  Seconds(100).WriteTo(source);
  TickMeasure();
  bool busy_seen = false;
  w_.ProcessEvents = [&] {
    if (st_.iExitFlag == 0 && w_.lProgress.Caption.rfind(kMeasuring, 0) == 0) {
      busy_seen = events_.Busy();
      events_.CloseRequest();  // at the tenth time marker
    }
  };

  ChooseInDialog(source.string());

  EXPECT_TRUE(busy_seen);
  EXPECT_EQ(st_.iExitFlag, 1);
  EXPECT_EQ(w_.lTimeB.Caption, "0:00:10");
  EXPECT_EQ(st_.iTotalSec, 10);
  EXPECT_FALSE(events_.Busy());
  ExpectFilesClosed();

  // A closing window starts nothing new.
  const std::string edited = st_.sEditFile;
  ChooseInDialog((home_ / "other.nts").string());
  EXPECT_EQ(dialogs_.calls.size(), 1u);
  w_.bCut.Click();
  EXPECT_EQ(dialogs_.calls.size(), 1u);
  EXPECT_EQ(st_.sEditFile, edited);
}

// Closing during a save asks first; a save stopped so leaves no cut-short file under its name.
TEST_F(WindowEventsTest, CloseDuringACutAsksThenStopsAndRemovesThePartialFile) {
  events_.Load();
  const Recording rec = Seconds(100);
  const fs::path source = home_ / "long.nts", target = home_ / "part.nts";
  rec.WriteTo(source);
  TickMeasure();
  ChooseInDialog(source.string());
  w_.tEnd[1]->SetText("0");
  w_.tEnd[2]->SetText("50");
  ASSERT_TRUE(w_.bCut.Enabled) << w_.lCMessage.Caption;
  std::vector<bool> answers = {false, true};
  std::size_t asked = 0;
  platform_.confirm = [&](const std::string& question) {
    EXPECT_EQ(question.rfind("保存中です。中止しますか？", 0), 0u) << question;
    return answers.at(asked++);
  };
  std::vector<bool> closed;
  w_.ProcessEvents = [&] {
    if (st_.iExitFlag == 0 && w_.lCProgress.Caption == kCopying && w_.pCProgress.FillPercent > 66 + 5 * static_cast<int>(closed.size()))
      closed.push_back(events_.CloseRequest());  // the second time, further into the copy
  };

  dialogs_.answers.push_back(target.string());
  w_.bCut.Click();

  EXPECT_EQ(closed, (std::vector<bool>{false, true})) << "a No keeps the window and the save going";
  EXPECT_EQ(st_.iExitFlag, 1);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(events_.Busy());
  ExpectFilesClosed();
}

// A nested analysis would open the source slot the running one still reads and close it under
// it; the running analysis must finish on its own recording instead.
TEST_F(WindowEventsTest, StepOneClicksDuringARunningAnalysisStartNoNestedAnalysis) {
  fs::path folder = MakeRecordFolder();
  Seconds(100).WriteTo(folder / "long.nts");
  Seconds(30).WriteTo(folder / "short.nts");
  WriteIni(folder.string());
  events_.Load();
  TickMeasure();
  int nested_clicks = 0;
  w_.ProcessEvents = [&] {
    if (nested_clicks == 0 && w_.lProgress.Caption.rfind(kMeasuring, 0) == 0) {
      ++nested_clicks;
      ClickListEntry("short.nts");
      w_.oSel[0]->Click();
      ChooseInDialog((folder / "short.nts").string());
      w_.bCut.Click();
    }
  };

  ClickListEntry("long.nts");

  EXPECT_EQ(nested_clicks, 1);
  EXPECT_EQ(dialogs_.calls.size(), 1u) << "the open dialog is shown, the save dialog is not";
  // The ignored choices must not pose as the analysed file.
  EXPECT_EQ(w_.tDialogFile.Text(), (folder / "long.nts").string());
  EXPECT_EQ(w_.lFile.FileName(), "long.nts");
  EXPECT_EQ(st_.sEditFile, (folder / "long.nts").string());
  EXPECT_EQ(st_.iTotalSec, 100);
  EXPECT_EQ(w_.lTimeB.Caption, "0:01:40");
  EXPECT_EQ(w_.lDataType.Caption, "正常(TS)");
  EXPECT_TRUE(w_.fOption.Enabled);
  ExpectFilesClosed();

  // The running count went back to zero: the next choice is analysed.
  w_.ProcessEvents = nullptr;
  ChooseInDialog((folder / "short.nts").string());
  EXPECT_EQ(st_.sEditFile, (folder / "short.nts").string());
  EXPECT_EQ(st_.iTotalSec, 30);
}

TEST_F(WindowEventsTest, BusyEndsWhenAnAnalysisFailsOrItsEventHookThrows) {
  events_.Load();
  ChooseInDialog((home_ / "missing.nts").string());
  EXPECT_EQ(w_.lMessage.Caption, "ファイルが見つかりません。");
  EXPECT_FALSE(events_.Busy());

  const fs::path file = home_ / "rec.nts";
  Seconds(3).WriteTo(file);
  w_.ProcessEvents = [] { throw std::runtime_error("window gone"); };
  try {
    ChooseInDialog(file.string());
  } catch (const std::runtime_error&) {
    // Whether the analysis reports the failure itself or lets it through, the count must drop.
  }
  EXPECT_FALSE(events_.Busy());
  ExpectFilesClosed();
}

TEST(ProposedCutName, SourceNameWithoutExtensionThenTheRange) {
  EXPECT_EQ(ProposedCutName("/録画/番組A.nts", 60, 120), "番組A_0h01m00s-0h02m00s.nts");
  EXPECT_EQ(ProposedCutName("news.ts.nts", 0, 36005), "news.ts_0h00m00s-10h00m05s.nts");
}

// A 244-byte name once gave a 262-byte proposal, which no file system takes.
TEST(ProposedCutName, LongNameIsShortenedAtACharacterToFitKeepingTheRange) {
  std::string stem = "a";
  while (stem.size() < 240) stem += "番";  // 1 + 3 * 80 = 241 bytes
  const std::string name = ProposedCutName("/録画/" + stem + ".nts", 60, 120);
  EXPECT_LE(name.size(), 255u);
  EXPECT_EQ(name.substr(name.size() - 22), "_0h01m00s-0h02m00s.nts");
  EXPECT_EQ(name.substr(0, name.size() - 22), stem.substr(0, 1 + 3 * 77)) << "cut at a character's edge";
  EXPECT_LE(ProposedJobName("/録画/" + stem + ".nts", 3).size(), 255u);
}

}  // namespace
}  // namespace trimora
