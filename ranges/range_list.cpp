// The list of ranges: its rules and its text form.
#include "ranges/range_list.h"

#include <algorithm>
#include <sstream>

#include "cleancut/clean_cut.h"
#include "cleancut/timed_edges.h"
#include "core/time_values.h"
#include "engine/marker_index.h"
#include "timerange/range_check.h"

namespace trimora {

std::string RangeName(std::size_t index) { return "範囲" + std::to_string(index + 1); }

namespace {

// The reason two neighbours cannot both be kept, or "".
std::string OverlapProblem(const std::vector<KeptRange>& ranges, std::size_t i) {
  if (i == 0) return "";
  const KeptRange& before = ranges[i - 1];
  const KeptRange& r = ranges[i];
  if (r.start < before.start) return RangeName(i) + "は" + RangeName(i - 1) + "より前から始まっています。";
  if (r.start < before.end) return RangeName(i) + "が" + RangeName(i - 1) + "と重なっています。";
  return "";
}

}  // namespace

std::string ListProblem(const std::vector<KeptRange>& ranges, int32_t total) {
  if (ranges.empty()) return "範囲がありません。";
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    if (std::string p = RangeProblem(ranges[i].start, ranges[i].end, total); !p.empty())
      return RangeName(i) + "：" + p;
    if (std::string p = OverlapProblem(ranges, i); !p.empty()) return p;
  }
  return "";
}

namespace {

// Where `range` goes among the rows of `ranges` other than `skip` (none: every row), or why it
// cannot: the neighbours are named as the list names them now.
AddResult PlaceAmong(const std::vector<KeptRange>& ranges, KeptRange range, int32_t total, std::size_t skip) {
  if (std::string p = RangeProblem(range.start, range.end, total); !p.empty()) return {p, 0};
  std::size_t at = 0, before = ranges.size(), after = ranges.size();
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    if (i == skip) continue;
    if (ranges[i].start <= range.start) {
      before = i;
      ++at;
    } else if (after == ranges.size()) {
      after = i;
    }
  }
  // The neighbours it would touch: an END may meet the next START, no more.
  if (before < ranges.size() && ranges[before].end > range.start)
    return {"この範囲は" + RangeName(before) + "と重なっています。", 0};
  if (after < ranges.size() && range.end > ranges[after].start)
    return {"この範囲は" + RangeName(after) + "と重なっています。", 0};
  return {"", at};
}

}  // namespace

AddResult AddRange(std::vector<KeptRange>& ranges, KeptRange range, int32_t total) {
  const AddResult place = PlaceAmong(ranges, range, total, ranges.size());
  if (place.problem.empty()) ranges.insert(ranges.begin() + static_cast<std::ptrdiff_t>(place.added), range);
  return place;
}

AddResult ReplaceRange(std::vector<KeptRange>& ranges, std::size_t row, KeptRange range, int32_t total) {
  const AddResult place = PlaceAmong(ranges, range, total, row);
  if (!place.problem.empty()) return place;
  ranges.erase(ranges.begin() + static_cast<std::ptrdiff_t>(row));
  ranges.insert(ranges.begin() + static_cast<std::ptrdiff_t>(place.added), range);
  return place;
}

bool Overlap(const KeptRange& a, const KeptRange& b) { return a.start < b.end && b.start < a.end; }

int64_t LengthMillis(KeptRange range) { return MillisBetween(range.start, range.end); }

int64_t TotalMillis(const std::vector<KeptRange>& ranges) {
  int64_t sum = 0;
  for (const KeptRange& r : ranges) sum += LengthMillis(r);
  return sum;
}

std::vector<CutPart> CutPartsOf(const std::vector<KeptRange>& ranges) {
  std::vector<CutPart> parts;
  for (const KeptRange& r : ranges) parts.push_back({r.start, r.end});
  return parts;
}

std::optional<int64_t> ExactSize(MarkerIndex& index, KeptRange range, bool known_only, const std::stop_token& stop,
                                 bool clean, bool in_job) {
  const int32_t start = range.start.second, end = range.end.second;
  if (start < 0 || range.end < range.start) return std::nullopt;
  if (known_only && end > index.KnownMarkers()) return std::nullopt;
  const MarkerIndex::Lookup from = index.ByteAfterMarker(start, stop);
  const MarkerIndex::Lookup to = index.ByteAfterMarker(end, stop);
  if (!from.found || !to.found) return std::nullopt;
  const bool fine = !range.start.Whole() || !range.end.Whole();
  if (!fine && !clean) return to.byte - from.byte;
  try {
    const os::File source = os::File::OpenForReading(index.Path());
    if (clean && (fine || in_job)) {
      const cleancut::TimedCut plan = cleancut::PlanTimedCut(source, from.byte, range.start.millis, to.byte, range.end.millis, stop);
      if (plan.outcome != cleancut::CleanCutOutcome::kPlanned) return std::nullopt;
      return plan.size;
    }
    if (clean) {
      const cleancut::CleanCut plan = cleancut::PlanCleanCut(source, from.byte, to.byte, stop);
      if (plan.outcome != cleancut::CleanCutOutcome::kPlanned) return std::nullopt;
      return plan.plan.size;
    }
    const int64_t first = range.start.Whole() ? from.byte : cleancut::ExactCutPoint(source, from.byte, range.start.millis, stop);
    const int64_t last = range.end.Whole() ? to.byte : cleancut::ExactCutPoint(source, to.byte, range.end.millis, stop);
    if (first < 0 || last < first) return std::nullopt;
    return last - first;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string SizeInKb(int64_t bytes) { return FormatGrouped(static_cast<double>(bytes) / 1024.0) + " KB"; }

std::string WriteRangeList(const std::vector<KeptRange>& ranges) {
  std::string out;
  for (const KeptRange& r : ranges) out += CutTimeText(r.start) + " " + CutTimeText(r.end) + "\n";
  return out;
}

std::optional<CutTime> ReadTime(const std::string& text) {
  // A box takes "-1" and adds it; in a list a sign is a typing slip or another program's
  // negative time, and "-0:00:01" must not become one second past the start.
  if (text.find_first_of("+-") != std::string::npos) return std::nullopt;
  const std::size_t first = text.find(':');
  const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos || text.find(':', second + 1) != std::string::npos) return std::nullopt;
  return TextsToCutTime(text.substr(0, first), text.substr(first + 1, second - first - 1), text.substr(second + 1));
}

std::vector<std::string> ListLines(std::string_view text) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // Windows' editors write one
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    // "\r\n" from Windows, "\r" from old Mac editors, "\n" elsewhere: each ends one line.
    text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
  }
  return lines;
}

ParsedRangeList ReadRangeList(const std::string& text) {
  ParsedRangeList out;
  const std::vector<std::string> lines = ListLines(text);
  for (std::size_t number = 1; number <= lines.size(); ++number) {
    std::string line = lines[number - 1];
    if (const std::size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    std::string start, end, extra;
    if (!(fields >> start)) continue;  // blank or only a comment
    std::optional<CutTime> s, e;
    if (fields >> end && !(fields >> extra)) {
      s = ReadTime(start);
      e = ReadTime(end);
    }
    if (!s || !e) {
      out.ranges.clear();
      out.problem = std::to_string(number) + "行目が「H:MM:SS H:MM:SS」ではありません。";
      return out;
    }
    out.ranges.push_back({*s, *e});
  }
  return out;
}

}  // namespace trimora
