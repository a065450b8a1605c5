// The headless session, terminal progress and shared parsing of trimora-cli.
#include "cli/cli_common.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "engine/analyze.h"
#include "platform/os/os.h"
#include "timerange/range_check.h"

namespace trimora::cli {

ParsedArgs ParseArgs(const std::vector<std::string>& args, std::initializer_list<const char*> known_flags) {
  ParsedArgs parsed;
  bool flags_done = false;
  for (const std::string& a : args) {
    if (!flags_done && a == "--") {
      flags_done = true;
    } else if (!flags_done && a.size() > 1 && a[0] == '-') {
      if (std::find(known_flags.begin(), known_flags.end(), a) == known_flags.end())
        throw UsageError("unknown option '" + a + "'");
      parsed.flags.insert(a);
    } else {
      parsed.operands.push_back(a);
    }
  }
  return parsed;
}

void TerminalProgress::Draw(const WindowModel& w) {
  if (!enabled_) return;
  const PictureBox* bar = w.pProgress.Visible ? &w.pProgress : w.pCProgress.Visible ? &w.pCProgress : nullptr;
  if (!bar) {
    Clear();
    return;
  }
  const Label& caption = bar == &w.pProgress ? w.lProgress : w.lCProgress;
  const int percent = std::clamp(bar->FillPercent, 0, 100);
  std::string line = "[" + std::string(percent < 10 ? "  " : percent < 100 ? " " : "") + std::to_string(percent) +
                     "%] " + caption.Caption;
  if (line == shown_) return;
  // "\r" returns to the line's start, ESC [K erases what a longer earlier line left behind.
  std::fprintf(out_, "\r%s\x1b[K", line.c_str());
  std::fflush(out_);
  shown_ = std::move(line);
}

void TerminalProgress::Clear() {
  if (!enabled_ || shown_.empty()) return;
  std::fputs("\r\x1b[K", out_);
  std::fflush(out_);
  shown_.clear();
}

Session::Session() : progress(stderr, os::StandardErrorIsTerminal()) {
  // For the tests only: the run waits (ten seconds at most) where its progress line shows this
  // text until a stop signal has come, so that a signal sent on seeing the line lands there however
  // late the sender runs.
  static const std::optional<std::string> hold_at = os::Environment("TRIMORA_TEST_HOLD_AT_PROGRESS");
  w.ProcessEvents = [this] {
    progress.Draw(w);
    for (int waited = 0; hold_at && progress.Shown().find(*hold_at) != std::string::npos && !stop.Received() && waited < 1000; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  };
  // As in the window: the boxes an analysis fills, or a command types, are checked against the
  // recording's length.
  WireRangeEntry(w, st);
}

bool AnalyzeAndPrint(Session& s, const std::string& path, bool measure, std::ostream& out) {
  // The window always hands the analysis a full path; the cut compares it with its target.
  const std::string full = path.empty() ? path : os::Utf8FromPath(std::filesystem::absolute(os::PathFromUtf8(path)));
  s.w.cTimeB.Value = measure ? 1 : 0;
  s.w.cDataDetail.Value = s.w.cTimeB.Value;
  AnalyzeFile(s.w, s.st, full);
  s.progress.Clear();
  // Each value after its caption in the window.
  const Label* const lines[][2] = {{&s.w.lvDataType, &s.w.lDataType},
                                   {&s.w.lvFileSize, &s.w.lFileSize},
                                   {&s.w.lvTimeA, &s.w.lTimeA},
                                   {&s.w.lvTimeB, &s.w.lTimeB}};
  for (const auto& line : lines) out << line[0]->Caption << line[1]->Caption << "\n";
  if (!s.w.lMessage.Caption.empty()) out << s.w.lMessage.Caption << "\n";
  out.flush();
  return s.w.fOption.Enabled;
}

}  // namespace trimora::cli
