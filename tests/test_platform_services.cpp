// The platform services behind the window: where the recorder's INI file is looked for, how the
// recording folder and its listing come out of it, the dialogs' filter and the usage page address.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "platform/file_dialog.h"
#include "platform/os/os.h"
#include "platform/record_folder.h"
#include "platform/web_page.h"
#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::TempDir;

EnvironmentReader Env(std::map<std::string, std::string> vars) {
  return [vars](const std::string& name, std::string& value) {
    auto it = vars.find(name);
    if (it == vars.end()) return false;
    value = it->second;
    return true;
  };
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  testkit::WriteAll(path, testkit::Bytes(text.begin(), text.end()));
}

// A path written with "/" in this system's own separator.
std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', kPathSeparator);
  return path;
}

const std::string kTail = Native("/Local Settings/Application Data/Newsoft/HPVR/LocalUser.ini");

TEST(RecorderIniPath, ProfileFolderComesFromUserProfileElseHomeElseNothing) {
  EXPECT_EQ(RecorderIniPath(Env({{"USERPROFILE", "/p"}, {"HOME", "/h"}})), std::string("/p") + kTail);
  EXPECT_EQ(RecorderIniPath(Env({{"HOME", "/h"}})), std::string("/h") + kTail);
  EXPECT_EQ(RecorderIniPath(Env({{"USERPROFILE", ""}, {"HOME", "/h"}})), std::string("/h") + kTail);
  EXPECT_EQ(RecorderIniPath(Env({})), kTail);
  EXPECT_EQ(RecorderIniPath(nullptr), kTail);
}

class RecordPathLookup : public ::testing::Test {
 protected:
  std::string LookUpWithPath(const std::string& line) {
    WriteText(home_.path().string() + kTail, "[Record]\n" + line + "\n");
    return LookUpRecordPath(Env({{"HOME", home_.path().string()}}));
  }
  TempDir home_;
};

TEST_F(RecordPathLookup, FolderGetsOneTrailingSeparator) {
  EXPECT_EQ(LookUpWithPath("Path=" + Native("/srv/tv")), Native("/srv/tv/"));
  EXPECT_EQ(LookUpWithPath("Path=" + Native("/srv/tv/")), Native("/srv/tv/"));
  EXPECT_EQ(LookUpWithPath("Path="), Native("/"));  // an empty value stays a folder, not "ERROR"
}

TEST_F(RecordPathLookup, NoValueGivesError) {
  EXPECT_EQ(LookUpWithPath("Folder=/srv/tv"), "ERROR");
  EXPECT_EQ(LookUpRecordPath(Env({{"HOME", (home_ / "nobody").string()}})), "ERROR");
}

TEST(MatchesPattern, WildcardsMatchIgnoringLetterCase) {
  EXPECT_TRUE(MatchesPattern("news.nts", "*.nts"));
  EXPECT_TRUE(MatchesPattern("NEWS.NTS", "*.nts"));
  EXPECT_TRUE(MatchesPattern(".nts", "*.nts"));
  EXPECT_TRUE(MatchesPattern("a.b.nts", "*.nts"));
  EXPECT_TRUE(MatchesPattern("録画.nts", "*.nts"));
  EXPECT_FALSE(MatchesPattern("news.ts", "*.nts"));
  EXPECT_FALSE(MatchesPattern("news.nts.bak", "*.nts"));
  EXPECT_FALSE(MatchesPattern("news.nts", "404.dir"));
  EXPECT_TRUE(MatchesPattern("404.DIR", "404.dir"));
  EXPECT_TRUE(MatchesPattern("ab", "a?"));
  EXPECT_FALSE(MatchesPattern("a", "a?"));
  EXPECT_TRUE(MatchesPattern("abcabd", "*ab?"));  // the star has to give back what it took
  EXPECT_FALSE(MatchesPattern(std::string(200, 'a'), std::string(50, '*') + "b"));
}

TEST(ListFolder, ListsRegularVisibleMatchingFilesSortedByName) {
  TempDir dir;
  for (const char* name : {"b.nts", "A.NTS", "c.ts", "録画.nts", "a2.nts"}) WriteText(dir.path() / os::PathFromUtf8(name), "x");
  std::filesystem::create_directory(dir / "folder.nts");
  std::vector<std::string> listed{"A.NTS", "a2.nts", "b.nts", "録画.nts"};
#ifndef _WIN32  // hidden there by attribute, not by name; symbolic links need privileges
  WriteText(dir / ".hidden.nts", "x");
  std::filesystem::create_symlink(dir / "b.nts", dir / "link.nts");
  std::filesystem::create_symlink(dir / "gone", dir / "broken.nts");
  listed.insert(listed.begin() + 3, "link.nts");
#endif

  auto names = ListFolder(dir.path().string() + kPathSeparator, "*.nts");
  ASSERT_TRUE(names.has_value());
  EXPECT_EQ(*names, listed);
}

TEST(ListFolder, FolderThatCannotBeListedGivesNothing) {
  TempDir dir;
  EXPECT_FALSE(ListFolder((dir / "missing").string(), "*.nts").has_value());
  WriteText(dir / "file.nts", "x");
  EXPECT_FALSE(ListFolder((dir / "file.nts").string() + "/", "*.nts").has_value());
}

TEST(BuildDialogFilter, BarsBecomeNulsAndTheListEndsWithTwo) {
  using namespace std::string_literals;
  EXPECT_EQ(BuildDialogFilter(kRecordingsFilter),
            "録画データ (*.nts)\0*.nts\0すべてのファイル (*.*)\0*.*\0\0"s);
  EXPECT_EQ(BuildDialogFilter("a|b|"), "a\0b\0\0"s);
}

TEST(WebPageAddress, PageNameBecomesAFileUrlBesideTheProgram) {
  EXPECT_EQ(FileUrlBeside("/opt/trimora/bin/trimora", "usage.html"), "file:///opt/trimora/bin/usage.html");
  EXPECT_EQ(FileUrlBeside("/home/ユーザー/my apps/trimora", "usage.html"),
            "file:///home/%E3%83%A6%E3%83%BC%E3%82%B6%E3%83%BC/my%20apps/usage.html");
  EXPECT_EQ(ResolveWebPageAddress("https://example.org/trimora"), "https://example.org/trimora");

  const std::string resolved = ResolveWebPageAddress(kWebPageAddress);
#ifdef _WIN32
  const std::string folder = std::filesystem::absolute(".").string();  // where ctest starts the tests
#else
  const std::string folder = std::filesystem::canonical("/proc/self/exe").parent_path().string();
#endif
  EXPECT_EQ(resolved, FileUrlBeside(folder + "/test", kWebPageAddress));
  EXPECT_EQ(resolved.rfind("file:///", 0), 0u);
}

TEST(WebPageAddress, InstalledProgramFindsThePageInItsDocumentationFolder) {
  TempDir prefix;
  WriteText(prefix / "share/doc/trimora/usage.html", "<html></html>");
  EXPECT_EQ(PagePath((prefix / "bin/trimora").string(), "usage.html"),
            (prefix / "share/doc/trimora/usage.html").lexically_normal().string());
  WriteText(prefix / "bin/usage.html", "<html></html>");  // a build tree keeps it beside the program
  EXPECT_EQ(PagePath((prefix / "bin/trimora").string(), "usage.html"),
            (prefix / "bin/usage.html").lexically_normal().string());
}

}  // namespace
}  // namespace trimora
