// The cut lists of other tools: recognising the form, reading each, and writing EDL and chapters.
#include "ranges/list_forms.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string_view>

#include "timerange/range_texts.h"

namespace trimora {

namespace {

using clock::kPtsPerSecond;

// join_logo_scp counts frames of NTSC-rate video: 30000/1001 a second, 3003 ticks each.
constexpr int64_t kTicksPerFrame = kPtsPerSecond * 1001 / 30000;

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (line = Trimmed(line); !line.empty(); line = Trimmed(line)) {
    const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
    fields.push_back(line.substr(0, end));
    line.remove_prefix(end);
  }
  return fields;
}

std::optional<int64_t> Digits(std::string_view s) {
  if (s.empty() || s.size() > 12) return std::nullopt;
  int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Seconds as the EDL and CSV forms write them, "12.345" or "0:00:12.345" (minutes and seconds
// below 60 after the first field), as ticks rounded to the nearest.
std::optional<int64_t> SecondsToTicks(std::string_view text) {
  std::string_view whole = text, fraction;
  if (const std::size_t dot = text.find('.'); dot != std::string_view::npos) {
    whole = text.substr(0, dot);
    fraction = text.substr(dot + 1);
    if (fraction.size() > 9 || !Digits(fraction)) return std::nullopt;
  }
  int64_t seconds = 0;
  int parts = 0;
  for (std::string_view rest = whole;; ++parts) {
    const std::size_t colon = rest.find(':');
    const std::optional<int64_t> part = Digits(rest.substr(0, colon));
    if (!part || parts > 2 || (parts > 0 && *part >= 60)) return std::nullopt;
    seconds = seconds * 60 + *part;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  int64_t scale = 1, numerator = 0;
  for (char c : fraction) numerator = numerator * 10 + (c - '0'), scale *= 10;
  return seconds * kPtsPerSecond + (numerator * kPtsPerSecond + scale / 2) / scale;
}

std::string LineName(std::size_t number) { return std::to_string(number) + "行目"; }

// One span of a line, for the order check.
struct LineSpan {
  ClockSpan span;
  std::size_t line;
};

std::string OrderProblem(const std::vector<LineSpan>& spans) {
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const ClockSpan& s = spans[i].span;
    if (!s.to_end && s.to <= s.from) return LineName(spans[i].line) + "：" + range_texts::kEndBeforeStart;
    if (i == 0) continue;
    const ClockSpan& before = spans[i - 1].span;
    if (s.from < before.from) return LineName(spans[i].line) + "の範囲は前の範囲より前から始まっています。";
    if (before.to_end || s.from < before.to) return LineName(spans[i].line) + "の範囲が前の範囲と重なっています。";
  }
  return "";
}

// "Trim(a,b) ++ Trim(c,d)": frames a to b, b included. As in AviSynth, b = 0 runs to the end and
// a negative b counts frames.
bool ReadTrimLine(std::string_view line, std::size_t number, std::vector<LineSpan>& spans) {
  for (line = Trimmed(line);; line = Trimmed(line)) {
    if (line.size() < 5 || !std::equal(line.begin(), line.begin() + 5, "trim(", [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == b;
        }))
      return false;
    const std::size_t close = line.find(')');
    if (close == std::string_view::npos) return false;
    const std::string_view inside = line.substr(5, close - 5);
    const std::size_t comma = inside.find(',');
    if (comma == std::string_view::npos) return false;
    const std::string_view last = Trimmed(inside.substr(comma + 1));
    const std::optional<int64_t> a = Digits(Trimmed(inside.substr(0, comma)));
    const bool count = !last.empty() && last.front() == '-';
    const std::optional<int64_t> b = Digits(count ? last.substr(1) : last);
    if (!a || !b) return false;
    ClockSpan span{*a * kTicksPerFrame, 0, !count && *b == 0};
    if (!span.to_end) span.to = (count ? *a + *b : *b + 1) * kTicksPerFrame;
    spans.push_back({span, number});
    line = Trimmed(line.substr(close + 1));
    if (line.empty()) return true;
    if (!line.starts_with("++")) return false;
    line.remove_prefix(2);
  }
}

// "start end action"; only a cut (0) or a commercial break (3) is dropped.
bool ReadEdlLine(std::string_view line, std::size_t number, std::vector<LineSpan>& drops) {
  const std::vector<std::string_view> f = Fields(line.substr(0, line.find("##")));
  if (f.empty()) return true;
  if (f.size() != 3) return false;
  const std::optional<int64_t> from = SecondsToTicks(f[0]), to = SecondsToTicks(f[1]), action = Digits(f[2]);
  if (!from || !to || !action) return false;
  if (*action == 0 || *action == 3) drops.push_back({{*from, *to}, number});
  return true;
}

// "start,end,label" of what to keep; an empty end is the recording's end. The label, which may
// hold commas of its own, is not read.
bool ReadCsvLine(std::string_view line, std::size_t number, std::vector<LineSpan>& spans) {
  const std::size_t first = line.find(',');
  if (first == std::string_view::npos) return false;
  const std::size_t second = line.find(',', first + 1);
  const std::string_view end = Trimmed(line.substr(first + 1, second == std::string_view::npos ? second : second - first - 1));
  const std::optional<int64_t> from = SecondsToTicks(Trimmed(line.substr(0, first)));
  const std::optional<int64_t> to = end.empty() ? std::optional<int64_t>(0) : SecondsToTicks(end);
  if (!from || !to) return false;
  spans.push_back({{*from, *to, end.empty()}, number});
  return true;
}

bool IsComment(std::string_view line) {
  line = Trimmed(line);
  return line.empty() || line.front() == '#';
}

bool IsChapter(std::string_view line) {
  line = Trimmed(line);
  return line.starts_with("CHAPTER") && line.size() > 7 && std::isdigit(static_cast<unsigned char>(line[7]));
}

ListForm FormOf(std::string_view line) {
  std::string lower(line);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (lower.find("trim(") != std::string::npos) return ListForm::kTrim;
  if (line.find(',') != std::string_view::npos) return ListForm::kCsv;
  if (Fields(line.substr(0, line.find("##"))).size() == 3) return ListForm::kEdl;
  return ListForm::kOwn;
}

struct FormText {
  bool (*read)(std::string_view, std::size_t, std::vector<LineSpan>&);
  const char* shape;  // what a line of the form looks like, for the refusal
};

FormText TextOf(ListForm form) {
  switch (form) {
    case ListForm::kTrim:
      return {ReadTrimLine, "Trim(開始,終了)"};
    case ListForm::kEdl:
      return {ReadEdlLine, "開始 終了 種類"};
    case ListForm::kCsv:
    case ListForm::kOwn:
      break;
  }
  return {ReadCsvLine, "開始,終了,名前"};
}

// Seconds from the first picture as the EDL writes them: thousandths, rounded up, so that the
// time read back falls on the same thousandth after the same marker.
std::string TicksAsSeconds(int64_t ticks) {
  const int64_t millis = (std::max<int64_t>(ticks, 0) * 1000 + kPtsPerSecond - 1) / kPtsPerSecond;
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(millis / 1000),
                static_cast<long long>(millis % 1000));
  return text;
}

std::string ChapterTime(int64_t ticks) {
  const int64_t millis = (std::max<int64_t>(ticks, 0) * 1000 + kPtsPerSecond / 2) / kPtsPerSecond;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(millis / 3'600'000),
                static_cast<long long>(millis / 60'000 % 60), static_cast<long long>(millis / 1000 % 60),
                static_cast<long long>(millis % 1000));
  return text;
}

}  // namespace

CutList ReadCutList(const std::string& text) {
  const std::vector<std::string> lines = ListLines(text);
  const auto first = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return !IsComment(l); });
  CutList list;
  if (first == lines.end()) return list;  // nothing to keep: ListProblem says so
  const std::size_t first_number = static_cast<std::size_t>(first - lines.begin()) + 1;
  if (IsChapter(*first)) {
    list.problem = LineName(first_number) + "：チャプターの一覧は区切りの位置だけで、残す範囲を表しません。";
    return list;
  }
  list.form = FormOf(*first);
  if (list.form == ListForm::kOwn) {
    const ParsedRangeList own = ReadRangeList(text);
    list.ranges = own.ranges;
    list.problem = own.problem;
    return list;
  }
  const FormText form = TextOf(list.form);
  std::vector<LineSpan> spans;
  for (std::size_t number = first_number; number <= lines.size(); ++number) {
    if (IsComment(lines[number - 1])) continue;
    if (!form.read(lines[number - 1], number, spans)) {
      list.problem = LineName(number) + "が「" + form.shape + "」ではありません。";
      return list;
    }
  }
  if (std::string problem = OrderProblem(spans); !problem.empty()) {
    list.problem = problem;
    return list;
  }
  for (const LineSpan& s : spans) list.spans.push_back(s.span);
  return list;
}

CutTime RecordingEnd(const clock::RecordingClock& clock, int32_t total) {
  return std::min(CutTime(clock.Markers()), CutTime(total));
}

std::vector<KeptRange> KeptRangesOf(const CutList& list, const clock::RecordingClock& clock, CutTime end) {
  const int64_t first = clock.FirstPts();
  const int64_t end_ticks = clock.ToPts(end) - first;
  std::vector<ClockSpan> kept = list.spans;
  if (list.form == ListForm::kEdl) {
    kept.clear();
    int64_t at = 0;
    for (const ClockSpan& drop : list.spans) {
      if (drop.from > at && at < end_ticks) kept.push_back({at, std::min(drop.from, end_ticks)});
      at = std::max(at, drop.to);
    }
    if (at < end_ticks) kept.push_back({at, 0, true});
  }
  std::vector<KeptRange> ranges;
  for (const ClockSpan& s : kept) {
    const bool to_end = s.to_end || (s.to > end_ticks && s.to <= end_ticks + kPtsPerSecond && s.from < end_ticks);
    ranges.push_back({clock.ToCutTime(first + s.from), to_end ? end : clock.ToCutTime(first + s.to)});
  }
  return ranges;
}

std::string WriteEdl(const std::vector<KeptRange>& ranges, const clock::RecordingClock& clock, CutTime end,
                     EdlAction action) {
  const int64_t first = clock.FirstPts();
  std::string tail(1, '\t');
  tail += std::to_string(static_cast<int>(action)) + "\n";
  std::string out;
  auto drop = [&](CutTime from, CutTime to) {
    if (from < to) out += TicksAsSeconds(clock.ToPts(from) - first) + "\t" + TicksAsSeconds(clock.ToPts(to) - first) + tail;
  };
  CutTime at = 0;
  for (const KeptRange& r : ranges) {
    drop(at, std::min(r.start, end));
    at = std::max(at, r.end);
  }
  drop(at, end);
  return out;
}

std::string WriteChapters(const std::vector<KeptRange>& ranges, const clock::RecordingClock& clock) {
  std::string out;
  int64_t at = 0;
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    std::string number = std::to_string(i + 1);
    if (i + 1 < 10) number.insert(number.begin(), '0');
    out += std::string("CHAPTER") + number + "=" + ChapterTime(at) + "\n";
    out += std::string("CHAPTER") + number + "NAME=" + RangeName(i) + "\n";
    at += clock.ToPts(ranges[i].end) - clock.ToPts(ranges[i].start);
  }
  return out;
}

}  // namespace trimora
