// The list of ranges to keep out of one recording, as the command line reads it and the window
// builds it: its order and overlap rules, its totals, and its text form, one "H:MM:SS H:MM:SS"
// range per line (a time may carry thousandths: "H:MM:SS.mmm"). Plain rules, no window and no files: the window's list and `trimora-cli cut`
// with several ranges both judge a list here.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/cut_time.h"
#include "engine/cut.h"

namespace trimora {

class MarkerIndex;

// A range of a recording: what a cut from `start` to `end` keeps.
struct KeptRange {
  CutTime start;
  CutTime end;
  friend bool operator==(const KeptRange&, const KeptRange&) = default;
};

// A range as the list names it in its reasons: "範囲2" for the second (number from 1).
std::string RangeName(std::size_t index);

// Why a list cannot be cut from a recording of `total` seconds, naming the range, or "" when it
// can: every range passes the range check of the boxes, and each starts at or after the END of
// the one before (an END may be the next START). An empty list cannot be cut either.
std::string ListProblem(const std::vector<KeptRange>& ranges, int32_t total);

// Adds `range` where it belongs in a sorted list, keeping it sorted. Refused, with the reason,
// when it fails the range check or overlaps a neighbour; `added` then holds the new row's index.
struct AddResult {
  std::string problem;  // "" when added
  std::size_t added = 0;
};
AddResult AddRange(std::vector<KeptRange>& ranges, KeptRange range, int32_t total);

// Puts `range` in the place of row `row`: the row is taken out and `range` added as AddRange adds
// it, so it may move to keep the list sorted. Refused, the list as it was, for AddRange's reasons.
AddResult ReplaceRange(std::vector<KeptRange>& ranges, std::size_t row, KeptRange range, int32_t total);

// Whether two ranges share a moment (ranges that only meet, an END on a START, do not).
bool Overlap(const KeptRange& a, const KeptRange& b);

// A range's length and the sum of the lengths, in thousandths of a second.
int64_t LengthMillis(KeptRange range);
int64_t TotalMillis(const std::vector<KeptRange>& ranges);

// The job a list makes for the cutter, one part per range.
std::vector<CutPart> CutPartsOf(const std::vector<KeptRange>& ranges);

// The exact size of what a cut of `range` writes, from the marker index: the byte after the
// END-th marker less the byte after the START-th, or between the pictures at times finer than a
// second. Nothing when the index cannot tell (the recording has fewer markers, cannot be read,
// or a stop came). The index reads on as far as it must, unless `known_only`: then only what it
// has already found is used. `clean`: the size of the range's clean cut (engine/cut.h), nothing
// when it cannot be made; `in_job`: as a range of a clean job of two or more ranges cuts it.
std::optional<int64_t> ExactSize(MarkerIndex& index, KeptRange range, bool known_only,
                                 const std::stop_token& stop = {}, bool clean = false, bool in_job = false);

// Bytes as the size labels show them: "#,##0 KB".
std::string SizeInKb(int64_t bytes);

// The list in its text form: one range per line, "H:MM:SS H:MM:SS" (".mmm" after a time with
// thousandths).
std::string WriteRangeList(const std::vector<KeptRange>& ranges);

// Reads the text form: a line holds a START and an END as H:MM:SS[.fff], separated by blanks; "#"
// starts a comment to the end of the line; blank lines are skipped. The fields are read as the
// boxes read them. A line that holds anything else makes the whole text unusable: `problem` names
// its line. The ranges are not judged here (ListProblem does that).
struct ParsedRangeList {
  std::vector<KeptRange> ranges;
  std::string problem;  // "" when every line was read
};
ParsedRangeList ReadRangeList(const std::string& text);

// The lines of a list's text: a UTF-8 byte order mark before the first is dropped, and "\r\n",
// "\r" and "\n" each end a line.
std::vector<std::string> ListLines(std::string_view text);

// One "H:MM:SS" (or "H:MM:SS.fff") as a range box row reads it, but without a sign; nothing when
// it is not three fields holding a time.
std::optional<CutTime> ReadTime(const std::string& text);

}  // namespace trimora
