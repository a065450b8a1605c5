// The INI reader stands in for the Windows profile call: the recorder's settings must read the
// same here as there, including the Shift-JIS the recorder writes.
#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::TempDir;

class IniFile : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) {
    const auto path = dir_ / "LocalUser.ini";
    testkit::WriteAll(path, testkit::Bytes(bytes.begin(), bytes.end()));
    return path.string();
  }
  TempDir dir_;
};

TEST_F(IniFile, NamesMatchWithoutLetterCaseAndBlanksAroundNamesAndValuesAreDropped) {
  const std::string file = Write("[ record ]\n  PATH\t=  D:\\TV  \n");
  EXPECT_EQ(GetIniString("Path", "Record", file), "D:\\TV");
  EXPECT_EQ(GetIniString("pAtH", "RECORD", file), "D:\\TV");
}

TEST_F(IniFile, OnePairOfMatchingQuotesIsRemoved) {
  const std::string file = Write(
      "[Record]\n"
      "Double=\"D:\\My TV\"\n"
      "Single=' spaced '\n"
      "Nested=\"'x'\"\n"
      "Unmatched=\"D:\\TV'\n"
      "Lone=\"\n"
      "Empty=\n");
  EXPECT_EQ(GetIniString("Double", "Record", file), "D:\\My TV");
  EXPECT_EQ(GetIniString("Single", "Record", file), " spaced ");
  EXPECT_EQ(GetIniString("Nested", "Record", file), "'x'");
  EXPECT_EQ(GetIniString("Unmatched", "Record", file), "\"D:\\TV'");
  EXPECT_EQ(GetIniString("Lone", "Record", file), "\"");
  EXPECT_EQ(GetIniString("Empty", "Record", file), "");  // present but empty is not "ERROR"
}

TEST_F(IniFile, FirstKeyOfTheFirstMatchingSectionWins) {
  const std::string file = Write(
      "Path=before any section\n"
      "[Other]\nPath=other\n"
      "[Record]\nPath=first\npath=second\n"
      "[RECORD]\nPath=later section\nExtra=only in the later section\n");
  EXPECT_EQ(GetIniString("Path", "Record", file), "first");
  EXPECT_EQ(GetIniString("Path", "Other", file), "other");
  // The profile call looks into the first section of a name only.
  EXPECT_EQ(GetIniString("Extra", "Record", file), "ERROR");
}

TEST_F(IniFile, CrlfAndLfLineEndsReadAlike) {
  const std::string crlf = Write("[Record]\r\nPath=D:\\TV\r\nNext=x\r\n");
  EXPECT_EQ(GetIniString("Path", "Record", crlf), "D:\\TV");
  EXPECT_EQ(GetIniString("Next", "Record", crlf), "x");
  const std::string last_line_unended = Write("[Record]\nPath=D:\\TV");
  EXPECT_EQ(GetIniString("Path", "Record", last_line_unended), "D:\\TV");
}

TEST_F(IniFile, MissingFileSectionOrKeyGivesError) {
  EXPECT_EQ(GetIniString("Path", "Record", (dir_ / "absent.ini").string()), "ERROR");
  EXPECT_EQ(GetIniString("Path", "Record", dir_.path().string()), "ERROR");  // a folder, not a file
  const std::string file = Write("[Recorder]\nPath=D:\\TV\n[Record]\nFolder=D:\\TV\nPath\n");
  EXPECT_EQ(GetIniString("Path", "Missing", file), "ERROR");
  EXPECT_EQ(GetIniString("Dir", "Record", file), "ERROR");
  // A key line without "=" has no value; being the first "Path" of the section, it decides.
  EXPECT_EQ(GetIniString("Path", "Record", file), "ERROR");
  EXPECT_EQ(GetIniString("Path", "Record", Write("")), "ERROR");
}

TEST_F(IniFile, CommentLinesAreIgnored) {
  const std::string file = Write(
      "; [Record]\n"
      "[Record]\n"
      ";Path=commented out\n"
      "  ; Path=indented comment\n"
      "Path=D:\\TV\n");
  EXPECT_EQ(GetIniString("Path", "Record", file), "D:\\TV");
  EXPECT_EQ(GetIniString(";Path", "Record", file), "ERROR");
}

TEST_F(IniFile, ValuesAreCutAt254CharactersNeverInsideACharacter) {
  const std::string ascii254(254, 'a');
  EXPECT_EQ(GetIniString("Path", "Record", Write("[Record]\nPath=" + ascii254 + "\n")), ascii254);
  EXPECT_EQ(GetIniString("Path", "Record", Write("[Record]\nPath=" + ascii254 + "bc\n")), ascii254);

  std::string japanese300;
  for (int i = 0; i < 300; ++i) japanese300 += "録";  // three bytes each in UTF-8
  const std::string got = GetIniString("Path", "Record", Write("[Record]\nPath=" + japanese300 + "\n"));
  EXPECT_EQ(got.size(), 254u * 3);
  EXPECT_EQ(got, japanese300.substr(0, 254 * 3));
}

// "録画" and "表示" hold a trail byte 0x5C ("\"), "ー" holds 0x5B ("["), "～" is CP932's own
// mapping (U+FF5E): a reader that looked at raw bytes, or decoded as plain Shift_JIS, would fail.
TEST_F(IniFile, ShiftJisFileWithAJapaneseFolderNameIsDecoded) {
  const std::string sjis_folder =
      "D:\\"
      "\x98\x5E\x89\xE6"   // 録画
      "\x95\x5C\x8E\xA6"   // 表示
      "\x83\x54\x81\x5B"   // サー
      "\x83\x6F\x81\x60";  // バ～
  const std::string file = Write("[Record]\r\nPath=" + sjis_folder + "\r\n[Other]\r\nName=\x83\x65\x83\x58\x83\x67\r\n");
  EXPECT_EQ(GetIniString("Path", "Record", file), "D:\\録画表示サーバ\xEF\xBD\x9E");
  EXPECT_EQ(GetIniString("Name", "Other", file), "テスト");
}

TEST_F(IniFile, Utf8FileIsReadAsItIsWithOrWithoutByteOrderMark) {
  EXPECT_EQ(GetIniString("Path", "Record", Write("[Record]\nPath=/home/ユーザー/録画\n")), "/home/ユーザー/録画");
  EXPECT_EQ(GetIniString("Path", "Record", Write("\xEF\xBB\xBF[Record]\nPath=/録画\n")), "/録画");
}

TEST(DecodeIniText, BytesThatAreNeitherUtf8NorCp932BecomeReplacementCharacters) {
  // 0xA0 is no CP932 character; 0x81 at the very end is a lead byte without its trail byte.
  EXPECT_EQ(DecodeIniText("a\xA0" "b\x98\x5E" "c\x81"), "a\xEF\xBF\xBD" "b録c\xEF\xBF\xBD");
  // An overlong UTF-8 form is not valid UTF-8, so the text is read as CP932.
  EXPECT_EQ(DecodeIniText("\xC0\xAF"), "\xEF\xBE\x80\xEF\xBD\xAF");
}

}  // namespace
}  // namespace trimora
