// The session, terminal progress, shared parsing and the printed analysis of trimora-cli.
#include "cli/cli_common.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "core/time_values.h"
#include "engine/analyze.h"
#include "platform/os/os.h"
#include "window/model.h"
#include "window/run_texts.h"

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

TimeArg ParseTimeArg(const std::string& text, const char* what) {
  const std::size_t first = text.find(':');
  const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos || text.find(':', second + 1) != std::string::npos)
    throw UsageError(std::string(what) + " '" + text + "' is not H:MM:SS");
  const std::string hours = text.substr(0, first), minutes = text.substr(first + 1, second - first - 1),
                    secs = text.substr(second + 1);
  if (!TextToInt32(hours) || !TextToInt32(minutes) || !TextToInt32(secs.substr(0, secs.find('.'))))
    return {0, 0, TimeArg::Problem::kNotANumber};
  const std::optional<CutTime> time = TextsToCutTime(hours, minutes, secs);
  // The fields are numbers: what fails now is the total, or a fraction that is not one.
  if (!time) return {0, 0, secs.find('.') != std::string::npos ? TimeArg::Problem::kNotANumber : TimeArg::Problem::kTooLarge};
  return {time->second, time->millis, TimeArg::Problem::kNone};
}

void RunStoppable(Session& s, const std::function<void(const std::stop_token&)>& work) {
  std::stop_source stop;
  std::jthread worker([&] { work(stop.get_token()); });
  std::atomic_bool done = false;
  std::jthread watch([&](std::stop_token watching) {
    while (!watching.stop_requested() && !done) {
      if (s.stop.Received()) stop.request_stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  worker.join();
  done = true;
}

void TerminalProgress::Draw(int percent, const std::string& caption) {
  if (!enabled_) return;
  if (caption != kCaptionUnchanged) caption_ = caption;
  percent = std::clamp(percent, 0, 100);
  std::string line(percent < 10 ? 3 : percent < 100 ? 2 : 1, ' ');
  line.front() = '[';
  line += std::to_string(percent) + "%] " + caption_;
  if (line != shown_) {
    // "\r" returns to the line's start, ESC [K erases what a longer earlier line left behind.
    std::fprintf(out_, "\r%s\x1b[K", line.c_str());
    std::fflush(out_);
    shown_ = std::move(line);
  }
  if (Drawn) Drawn();
}

void TerminalProgress::Clear() {
  if (!enabled_ || shown_.empty()) return;
  std::fputs("\r\x1b[K", out_);
  std::fflush(out_);
  shown_.clear();
}

std::string FullPath(const std::string& path) {
  return path.empty() ? path : os::FullPath(path);
}

Session::Session() : progress(stderr, os::StandardErrorIsTerminal()) {
  // For the tests only: the run waits (ten seconds at most) where its progress line shows this
  // text until a stop signal has come, so that a signal sent on seeing the line lands there however
  // late the sender runs.
  static const std::optional<std::string> hold_at = os::Environment("TRIMORA_TEST_HOLD_AT_PROGRESS");
  if (hold_at)
    progress.Drawn = [this] {
      for (int waited = 0; progress.Shown().find(*hold_at) != std::string::npos && !stop.Received() && waited < 1000;
           ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
}

namespace {

// The analysis panel's bar on the terminal; a message in its place clears the line.
class TerminalAnalysisReport : public AnalysisReport {
 public:
  explicit TerminalAnalysisReport(TerminalProgress& progress) : progress_(progress) {}

  void StageBegun(AnalysisStage stage) override {
    if (const std::optional<BarStep> bar = AnalysisStageBar(stage)) progress_.Draw(bar->percent, bar->caption);
  }
  void Percent(int32_t percent) override { progress_.Draw(MeasuringBar(percent), MeasuringCaption(percent)); }
  void Ended(const AnalysisResult& result) override {
    if (result.Succeeded()) progress_.Draw(analysis_texts::kInitialisingBar, analysis_texts::kInitialising);
    progress_.Clear();
  }

 private:
  TerminalProgress& progress_;
};

}  // namespace

AnalysisResult AnalyzeAndPrint(Session& s, const std::string& path, bool measure, std::ostream& out) {
  TerminalAnalysisReport report(s.progress);
  AnalysisResult result = AnalyzeRecording(FullPath(path), [measure] { return measure; }, s.file1, s.stop_flag, report);
  s.progress.Clear();
  // Each value after its caption in the window, then the message the analysis ended with.
  using namespace analysis_texts;
  const AnalysisValues values = AnalysisValuesOf(result);
  out << kDataTypeCaption << values.data_format << "\n";
  out << kFileSizeCaption << values.file_size << "\n";
  out << kTimeACaption << values.time_a << "\n";
  out << kTimeBCaption << values.time_b << "\n";
  const std::string message = result.Succeeded() ? AnalysisNotice(result) : AnalysisFailureText(result);
  if (!message.empty()) out << message << "\n";
  out.flush();
  return result;
}

}  // namespace trimora::cli
