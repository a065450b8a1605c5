// trimora-cli cut [--measure] FILE START END TARGET: Steps 2 and 3 of the window without it.
// The recording is analysed, the times are typed into the range boxes (so the range check
// judges them as it judges the user's typing), and Save runs with TARGET as the chosen file.
#include <filesystem>
#include <iostream>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "engine/cut.h"
#include "engine/cut_texts.h"
#include "platform/os/os.h"
#include "timerange/range_check.h"

namespace trimora::cli {

namespace {

struct TimeFields {
  std::string hours, minutes, seconds;
};

// "H:MM:SS" split into the texts of the three boxes, exactly as typed; the range check judges
// what they hold. Anything but three fields is not a time at all.
TimeFields SplitTime(const std::string& text, const char* what) {
  const std::size_t first = text.find(':');
  const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos || text.find(':', second + 1) != std::string::npos)
    throw UsageError(std::string(what) + " '" + text + "' is not H:MM:SS");
  return {text.substr(0, first), text.substr(first + 1, second - first - 1), text.substr(second + 1)};
}

void Type(TextBox* const boxes[3], const TimeFields& t) {
  boxes[0]->SetText(t.hours);
  boxes[1]->SetText(t.minutes);
  boxes[2]->SetText(t.seconds);
}

// Types the range into the boxes; their change events run the range check. When the boxes
// already held exactly that text nothing changes and no check runs, so it is run here: a refused
// range must always say why.
void TypeRange(Session& s, const TimeFields& start, const TimeFields& end) {
  const uint32_t checks_before = s.st.range_checks;
  Type(s.w.tStart, start);
  Type(s.w.tEnd, end);
  if (s.st.range_checks == checks_before) tSE_Change(s.w, s.st);
}

bool SavedAnything(const std::string& target) {
  std::error_code error;
  const auto size = std::filesystem::file_size(os::PathFromUtf8(target), error);
  return !error && size > 0;
}

}  // namespace

int RunCut(const Args& args) {
  const ParsedArgs parsed = ParseArgs(args, {"--measure"});
  if (parsed.operands.size() != 4) throw UsageError("FILE, START, END and TARGET are needed");
  const std::string& file = parsed.operands[0];
  if (file.empty()) throw UsageError("FILE is empty");
  if (parsed.operands[3].empty()) throw UsageError("TARGET is empty");
  const TimeFields start = SplitTime(parsed.operands[1], "START");
  const TimeFields end = SplitTime(parsed.operands[2], "END");
  // The save dialog hands the cut a full path, as the analysis gets one.
  const std::string target = os::FullPath(parsed.operands[3]);

  Session s;
  const bool analysed = AnalyzeAndPrint(s, file, parsed.flags.count("--measure") > 0, std::cout);
  // Once asked to stop, nothing new starts, as in a closing window.
  if (s.stop.Received()) return s.stop.ExitStatus();
  if (!analysed) return kExitFailed;
  TypeRange(s, start, end);
  s.progress.Clear();
  if (!s.w.bCut.Enabled) {
    std::cout << s.w.lCMessage.Caption << std::endl;
    return kExitFailed;
  }
  CutWithBoxes(s.w, s.st, target);
  s.progress.Clear();
  const std::string& shown = s.w.pCProgress.Visible ? s.w.lCProgress.Caption : s.w.lCMessage.Caption;
  std::cout << shown << std::endl;
  if (s.stop.Received()) return s.stop.ExitStatus();
  if (!s.w.pCProgress.Visible) return kExitFailed;
  if (shown == cut_texts::kCompleted) return kExitDone;
  // The source ended: in the copy, what it held is saved; before the start, nothing is.
  if (shown == cut_texts::kSourceEnded) return SavedAnything(target) ? kExitSourceEnded : kExitFailed;
  return kExitFailed;
}

}  // namespace trimora::cli
