// The cut lists of trimora-cli cut: the list's text, the recording's clock, the chapters file.
#include "cli/cut_lists.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stop_token>

#include "platform/os/os.h"
#include "ranges/list_forms.h"
#include "window/run_texts.h"

namespace trimora::cli {

namespace {

constexpr const char* kReadingClock = "映像の時刻を調べています...";
constexpr const char* kNoVideoClock = "映像の時刻が見つかりません。";
constexpr const char* kChaptersNotWritten = "チャプターファイルを書き込めません。";

}  // namespace

std::string ReadListText(const std::string& list) {
  std::ostringstream text;
  if (list == "-") {
    text << std::cin.rdbuf();
    return text.str();
  }
  // A folder opens as a stream and reads as nothing, which would pass for a list without ranges.
  std::error_code folder;
  std::ifstream in(os::PathFromUtf8(list), std::ios::binary);
  if (!in || std::filesystem::is_directory(os::PathFromUtf8(list), folder))
    throw UsageError("the range list '" + list + "' cannot be read");
  text << in.rdbuf();
  if (in.bad()) throw UsageError("the range list '" + list + "' cannot be read");
  return text.str();
}

std::optional<clock::RecordingClock> ReadClock(Session& s, const std::string& path) {
  std::stop_source stop;
  s.progress.Draw(0, kReadingClock);
  clock::ClockRead read = clock::RecordingClock::Read(FullPath(path), stop.get_token(), [&](int percent) {
    s.progress.Draw(percent, "-");
    if (s.stop.Received()) stop.request_stop();
  });
  s.progress.Clear();
  if (read.outcome == clock::ClockOutcome::kRead) return std::move(read.clock);
  if (read.outcome == clock::ClockOutcome::kNoVideo) std::cout << kNoVideoClock << std::endl;
  if (read.outcome == clock::ClockOutcome::kCannotRead) std::cout << cut_texts::kSeekFailed << std::endl;
  return std::nullopt;
}

bool SaveChapters(const std::string& path, const std::vector<KeptRange>& ranges, const clock::RecordingClock& clock) {
  const std::string text = WriteChapters(ranges, clock);
  try {
    os::WriteWholeFile(FullPath(path), text.data(), text.size());
  } catch (const std::exception&) {
    std::cout << kChaptersNotWritten << std::endl;
    return false;
  }
  std::cout << "チャプター：" << ranges.size() << std::endl;
  return true;
}

}  // namespace trimora::cli
