// trimora-cli cut [--measure] FILE START END TARGET: Steps 2 and 3 of the window without it.
// The recording is analysed, the times are typed into the range boxes (so the range check
// judges them as it judges the user's typing), and Save runs with TARGET as the chosen file.
#include <filesystem>
#include <iostream>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "engine/cut.h"
#include "engine/cut_texts.h"

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

}  // namespace

int RunCut(const Args& args) {
  const ParsedArgs parsed = ParseArgs(args, {"--measure"});
  if (parsed.operands.size() != 4) throw UsageError("FILE, START, END and TARGET are needed");
  const std::string& file = parsed.operands[0];
  const TimeFields start = SplitTime(parsed.operands[1], "START");
  const TimeFields end = SplitTime(parsed.operands[2], "END");
  // The save dialog hands the cut a full path, as the analysis gets one.
  const std::string target = std::filesystem::absolute(parsed.operands[3]).string();

  Session s;
  if (!AnalyzeAndPrint(s, file, parsed.flags.count("--measure") > 0, std::cout)) return 1;
  Type(s.w.tStart, start);
  Type(s.w.tEnd, end);
  s.progress.Clear();
  if (!s.w.bCut.Enabled) {
    std::cout << s.w.lCMessage.Caption << std::endl;
    return 1;
  }
  CutWithBoxes(s.w, s.st, target);
  s.progress.Clear();
  const std::string& shown = s.w.pCProgress.Visible ? s.w.lCProgress.Caption : s.w.lCMessage.Caption;
  std::cout << shown << std::endl;
  return s.w.pCProgress.Visible && (shown == cut_texts::kCompleted || shown == cut_texts::kSourceEnded) ? 0 : 1;
}

}  // namespace trimora::cli
