// Files on Windows: Japanese names whatever the system code page, the hidden and system
// attributes that the existence test refuses, and the overwrite guard against another spelling
// of the source's path (the \\?\ prefix, the 8.3 short name, other letter case).
#include "platform/os/windows_api.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/os/os.h"
#include "platform/record_folder.h"
#include "tests/recording_builder.h"
#include "window/runs/analyze_file.h"
#include "window/runs/cut_range.h"

namespace trimora {
namespace {

using testkit::Recording;
using testkit::RecordingOptions;
namespace fs = std::filesystem;

class WindowsFiles : public ::testing::Test {
 protected:
  // A path below the scratch folder, named in UTF-8.
  std::string Path(const std::string& utf8_name) const { return os::Utf8FromPath(dir.path() / os::PathFromUtf8(utf8_name)); }

  testkit::TempDir dir;
  WindowModel w;
  AppState st;
};

TEST_F(WindowsFiles, JapaneseNamesAreAnalysedCutAndListed) {
  fs::create_directory(os::PathFromUtf8(Path("録画 フォルダ")));
  const std::string source = Path("録画 フォルダ\\ニュース.nts"), target = Path("録画 フォルダ\\切り出し.nts");
  Recording r(RecordingOptions{.seconds = 20});
  r.WriteTo(os::PathFromUtf8(source));

  w.cTimeB.Value = 1;
  AnalyzeFile(w, st, source);
  EXPECT_TRUE(w.fOption.Enabled);
  EXPECT_EQ(st.iTotalSec, 20);
  EXPECT_EQ(st.sEditFile, source);

  CutRange(w, st, target, 5, 7);
  EXPECT_EQ(w.lCProgress.Caption, "書き込みが完了しました。");
  EXPECT_EQ(testkit::ReadAll(os::PathFromUtf8(target)), r.Slice(r.MarkerIndex(5) + 1, r.MarkerIndex(7) + 1));

  EXPECT_EQ(ListFolder(Path("録画 フォルダ"), "*.nts"), (std::vector<std::string>{"ニュース.nts", "切り出し.nts"}));
}

TEST_F(WindowsFiles, HiddenAndSystemFilesAreNotFoundNorListed) {
  for (const char* name : {"hidden.nts", "system.nts", "plain.nts"}) Recording().WriteTo(os::PathFromUtf8(Path(name)));
  ASSERT_TRUE(::SetFileAttributesW((dir.path() / "hidden.nts").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::SetFileAttributesW((dir.path() / "system.nts").c_str(), FILE_ATTRIBUTE_SYSTEM));

  for (const char* name : {"hidden.nts", "system.nts"}) {
    SCOPED_TRACE(name);
    AnalyzeFile(w, st, Path(name));
    EXPECT_EQ(w.lMessage.Caption, "ファイルが見つかりません。");
  }
  AnalyzeFile(w, st, Path("plain.nts"));
  EXPECT_EQ(w.lDataType.Caption, "正常(TS)");
  EXPECT_EQ(ListFolder(os::Utf8FromPath(dir.path()), "*.nts"), (std::vector<std::string>{"plain.nts"}));
}

TEST_F(WindowsFiles, AnotherSpellingOfTheSourceIsRefusedAndTheSourceStaysWhole) {
  const std::string source = Path("a recording with a long name.nts");
  Recording r(RecordingOptions{.seconds = 20});
  r.WriteTo(os::PathFromUtf8(source));
  const testkit::Bytes original = r.AllBytes();
  st.sEditFile = source;

  wchar_t short_name[MAX_PATH];
  const DWORD n = ::GetShortPathNameW(os::PathFromUtf8(source).c_str(), short_name, MAX_PATH);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, static_cast<DWORD>(MAX_PATH));
  std::string upper = source;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);

  for (const std::string& other : {"\\\\?\\" + source, "\\\\.\\" + source, os::Utf8FromPath(short_name), upper}) {
    SCOPED_TRACE(other);
    ASSERT_NE(other, source);
    CutRange(w, st, other, 0, 5);
    EXPECT_EQ(w.lCMessage.Caption, "編集元ファイルには上書き出来ません。");
    EXPECT_EQ(testkit::ReadAll(os::PathFromUtf8(source)), original);
  }
}

// Wine enforces no length limit, so the manifest that lifts it on Windows is checked as linked
// in; a path of 300 characters, spelt with "/" and "..", then goes through every file call.
TEST_F(WindowsFiles, PathsLongerThanMaxPathAreAnalysedAndCut) {
  HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(nullptr, found))),
                             ::SizeofResource(nullptr, found));
  EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true<"),
            std::string::npos);

  const std::string folder = Path(std::string(120, 'a') + "\\" + std::string(120, 'b'));
  fs::create_directories(os::PathFromUtf8(folder));
  const std::string source = folder + "\\" + std::string(40, 'c') + ".nts";
  const std::string target = folder + "/../" + std::string(120, 'b') + "/" + std::string(40, 'd') + ".nts";
  ASSERT_GT(source.size(), 300u);
  Recording r(RecordingOptions{.seconds = 20});
  r.WriteTo(os::PathFromUtf8(source));

  w.cTimeB.Value = 1;  // measured: every packet of the long path is read
  AnalyzeFile(w, st, source);
  EXPECT_EQ(st.iTotalSec, 20);
  CutRange(w, st, target, 5, 7);
  EXPECT_EQ(w.lCProgress.Caption, "書き込みが完了しました。");
  EXPECT_EQ(testkit::ReadAll(os::PathFromUtf8(folder + "\\" + std::string(40, 'd') + ".nts")),
            r.Slice(r.MarkerIndex(5) + 1, r.MarkerIndex(7) + 1));
  CutRange(w, st, target, 5, 7);  // an existing long target is replaced
  EXPECT_EQ(w.lCProgress.Caption, "書き込みが完了しました。");
}

}  // namespace
}  // namespace trimora
