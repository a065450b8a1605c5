#!/usr/bin/env bash
# Times Trimora's commands against the plain tools that read or copy the same bytes, on a
# generated recording of just over 1 GiB with a warm cache (the whole cut cold as well). Each section below compares one
# command with its tool; add a section for a new command at the end.
#
#   bench/run.sh BUILD_DIR      (make bench)
set -euo pipefail

BUILD=${1:?usage: bench/run.sh BUILD_DIR}
CLI=$BUILD/cli/trimora-cli
MAKE_RECORDING=$BUILD/bench/make_recording
BENCH_PREVIEW=$BUILD/bench/bench_preview
TRIVIAL=$BUILD/bench/trivial_program
BENCH_CLEAN_CUT=$BUILD/bench/bench_clean_cut
BENCH_SCAN=$BUILD/bench/bench_scan
BENCH_SEAMLESS_JOB=$BUILD/bench/bench_seamless_job
for tool in "$CLI" "$MAKE_RECORDING" "$BENCH_PREVIEW" "$BENCH_CLEAN_CUT" "$BENCH_SEAMLESS_JOB" "$BENCH_SCAN" "$TRIVIAL" /usr/bin/time; do
  [ -x "$tool" ] || { echo "bench: $tool is missing (build first; /usr/bin/time comes with the 'time' package)" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/trimora-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# ---------------------------------------------------------------------------------------------
# Helpers

RSS_LIMIT_KIB=$((64 * 1024))

# best_of CMD...: runs CMD $RUNS times with stdout to /dev/null. Sets BEST (seconds, the
# fastest run) and RSS (peak resident KiB, the largest of them). The fastest of several runs keeps
# the noise of a shared machine out of the ratio. PREPARE, when set, is a
# command run untimed before each run.
RUNS=5
best_of() {
  BEST="" RSS=0
  local run start end elapsed rss
  for ((run = 1; run <= RUNS; run++)); do
    if [ -n "${PREPARE:-}" ]; then eval "$PREPARE"; fi
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$WORK/rss" "$@" >/dev/null
    end=$(date +%s%N)
    elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    rss=$(tail -n 1 "$WORK/rss")
    if [ -z "$BEST" ] || awk -v e="$elapsed" -v b="$BEST" 'BEGIN { exit !(e < b) }'; then BEST=$elapsed; fi
    if [ "$rss" -gt "$RSS" ]; then RSS=$rss; fi
  done
}

# compare LABEL_TOOL LABEL_OURS TARGET_RATIO: prints the last two measurements (TOOL_* and
# OURS_*) and their ratio against the target.
compare() {
  awk -v lt="$1" -v lo="$2" -v target="$3" -v tt="$TOOL_BEST" -v tr="$TOOL_RSS" \
      -v ot="$OURS_BEST" -v orss="$OURS_RSS" -v limit="$RSS_LIMIT_KIB" 'BEGIN {
    printf "  %-44s %8.3f s   peak RSS %7.1f MiB\n", lt, tt, tr / 1024
    printf "  %-44s %8.3f s   peak RSS %7.1f MiB\n", lo, ot, orss / 1024
    ratio = tt > 0 ? ot / tt : 0
    printf "  ratio %.2f (target at most %.2f): %s;  peak RSS under %d MiB: %s\n", ratio, target,
           ratio <= target ? "met" : "NOT met", limit / 1024, orss < limit ? "yes" : "NO"
  }'
}

# ---------------------------------------------------------------------------------------------
# trimora-cli --help against a trivial C++ program: the start-up every command pays, FFmpeg's
# libraries not among it. Paired: the two run in turn, 200 times each, and the ratio is that of
# the medians, so that a busy moment of a shared machine falls on both.

echo
echo "trimora-cli --help vs a trivial C++ program (200 paired runs, medians)"
PAIRS=200
: >"$WORK/startup"
for ((pair = 1; pair <= PAIRS; pair++)); do
  a=$(date +%s%N); "$TRIVIAL" >/dev/null; b=$(date +%s%N); "$CLI" --help >/dev/null; c=$(date +%s%N)
  echo "$((b - a)) $((c - b))" >>"$WORK/startup"
done
/usr/bin/time -f %M -o "$WORK/rss" "$CLI" --help >/dev/null
sort -n -k1,1 "$WORK/startup" | awk -v n="$PAIRS" 'NR == int(n / 2) { print $1 }' >"$WORK/trivial_median"
sort -n -k2,2 "$WORK/startup" | awk -v n="$PAIRS" 'NR == int(n / 2) { print $2 }' >"$WORK/cli_median"
awk -v t="$(cat "$WORK/trivial_median")" -v o="$(cat "$WORK/cli_median")" -v rss="$(tail -n 1 "$WORK/rss")" 'BEGIN {
  printf "  %-44s %8.2f ms\n", "trivial C++ program", t / 1e6
  printf "  %-44s %8.2f ms   peak RSS %5.1f MiB\n", "trimora-cli --help", o / 1e6, rss / 1024
  printf "  ratio %.2f (target at most 1.50): %s\n", o / t, o / t <= 1.5 ? "met" : "NOT met"
}'

# ---------------------------------------------------------------------------------------------
# The recording: 4600 seconds at the broadcast byte rate, 1,074,815,xxx bytes.

RECORDING=$WORK/recording.nts
RECORDING_SECONDS=4600
echo "Generating a recording of $RECORDING_SECONDS seconds in $WORK ..."
"$MAKE_RECORDING" "$RECORDING" --seconds "$RECORDING_SECONDS"
RECORDING_BYTES=$(stat -c %s "$RECORDING")
if [ "$RECORDING_BYTES" -lt $((1024 * 1024 * 1024)) ]; then
  echo "bench: the recording is smaller than 1 GiB" >&2
  exit 1
fi
echo "  $RECORDING_BYTES bytes"
cat "$RECORDING" >/dev/null  # warm the cache: every timing below reads from memory

# ---------------------------------------------------------------------------------------------
# analyze --measure against cat: both read the whole file once.

echo
echo "analyze --measure vs cat (best of $RUNS, warm cache)"
expected_length="記録時間（推定B）：1:16:40"
if ! "$CLI" analyze --measure "$RECORDING" | grep -qx "$expected_length"; then
  echo "bench: analyze --measure did not report $expected_length" >&2
  exit 1
fi
best_of cat "$RECORDING"
TOOL_BEST=$BEST TOOL_RSS=$RSS
best_of "$CLI" analyze --measure "$RECORDING"
OURS_BEST=$BEST OURS_RSS=$RSS
compare "cat FILE > /dev/null" "trimora-cli analyze --measure FILE" 1.05

# ---------------------------------------------------------------------------------------------
# cut of the whole recording against cp: both write a copy of every byte. The recording ends with
# the marker of its last second, so the cut from 0:00:00 to its length is the whole file. The two
# run in turns (cp, cut, cp, cut, ...), so that what else the machine does falls on both alike;
# hot from the page cache, then cold, with the cache dropped before each run (root only).

RECORDING_END=$(printf '%d:%02d:%02d' $((RECORDING_SECONDS / 3600)) $((RECORDING_SECONDS / 60 % 60)) \
                $((RECORDING_SECONDS % 60)))
CUT_TARGET=$WORK/cut.nts COPY_TARGET=$WORK/copy.nts
if ! "$CLI" cut "$RECORDING" 0:00:00 "$RECORDING_END" "$CUT_TARGET" | tail -n 1 | grep -qx "書き込みが完了しました。"; then
  echo "bench: cut 0:00:00 $RECORDING_END did not complete" >&2
  exit 1
fi
if ! cmp -s "$RECORDING" "$CUT_TARGET"; then
  echo "bench: the cut of the whole recording differs from the recording" >&2
  exit 1
fi

# in_turns: runs `cp` and the whole cut $RUNS times each, in turns, each into a new file with the
# last run's copy gone and its dirty pages on disk (and, with COLD=1, the page cache dropped).
# Sets TOOL_BEST/TOOL_RSS and OURS_BEST/OURS_RSS.
in_turns() {
  local run tool_best="" ours_best="" tool_rss=0 ours_rss=0
  for ((run = 1; run <= RUNS; run++)); do
    PREPARE='rm -f "$CUT_TARGET" "$COPY_TARGET"; sync'
    if [ "${COLD:-0}" = 1 ]; then PREPARE="$PREPARE; echo 3 > /proc/sys/vm/drop_caches"; else PREPARE="$PREPARE; cat \"\$RECORDING\" >/dev/null"; fi
    RUNS=1 best_of cp "$RECORDING" "$COPY_TARGET"
    if [ -z "$tool_best" ] || awk -v e="$BEST" -v b="$tool_best" 'BEGIN { exit !(e < b) }'; then tool_best=$BEST; fi
    if [ "$RSS" -gt "$tool_rss" ]; then tool_rss=$RSS; fi
    RUNS=1 best_of "$CLI" cut "$RECORDING" 0:00:00 "$RECORDING_END" "$CUT_TARGET"
    if [ -z "$ours_best" ] || awk -v e="$BEST" -v b="$ours_best" 'BEGIN { exit !(e < b) }'; then ours_best=$BEST; fi
    if [ "$RSS" -gt "$ours_rss" ]; then ours_rss=$RSS; fi
  done
  PREPARE=
  TOOL_BEST=$tool_best TOOL_RSS=$tool_rss OURS_BEST=$ours_best OURS_RSS=$ours_rss
}

echo
echo "cut of the whole recording vs cp (best of $RUNS each, in turns, warm cache)"
COLD=0 in_turns
compare "cp FILE COPY" "trimora-cli cut FILE 0:00:00 $RECORDING_END CUT" 1.00

echo
if [ -w /proc/sys/vm/drop_caches ]; then
  echo "cut of the whole recording vs cp (best of $RUNS each, in turns, cold cache)"
  COLD=1 in_turns
  compare "cp FILE COPY" "trimora-cli cut FILE 0:00:00 $RECORDING_END CUT" 1.05
  cat "$RECORDING" >/dev/null
else
  echo "cut of the whole recording vs cp, cold cache: not measured (dropping the page cache needs root)"
fi
rm -f "$CUT_TARGET" "$COPY_TARGET"

# ---------------------------------------------------------------------------------------------
# cut --measure of a 10-minute range in the middle: the bytes it reads, summed over its read and
# pread64 calls under strace, against the file read once plus the range's own bytes (the range
# being what the cut wrote), with a tenth of the range to spare.

echo
if command -v strace >/dev/null; then
  MIDDLE_START=$((RECORDING_SECONDS / 2 - 300)) MIDDLE_END=$((RECORDING_SECONDS / 2 + 300))
  MIDDLE_START_TEXT=$(printf '%d:%02d:%02d' $((MIDDLE_START / 3600)) $((MIDDLE_START / 60 % 60)) $((MIDDLE_START % 60)))
  MIDDLE_END_TEXT=$(printf '%d:%02d:%02d' $((MIDDLE_END / 3600)) $((MIDDLE_END / 60 % 60)) $((MIDDLE_END % 60)))
  echo "cut --measure $MIDDLE_START_TEXT $MIDDLE_END_TEXT: bytes read (strace)"
  strace -f -qq -e trace=read,pread64 -o "$WORK/reads" \
    "$CLI" cut --measure "$RECORDING" "$MIDDLE_START_TEXT" "$MIDDLE_END_TEXT" "$CUT_TARGET" >/dev/null
  awk -v file="$RECORDING_BYTES" -v range="$(stat -c %s "$CUT_TARGET")" '
    / = [0-9]+$/ { read += $NF }
    END {
      limit = file + 1.1 * range
      printf "  file %d bytes, range %d bytes; read %d bytes = file + %.2f x range\n", file, range, read, (read - file) / range
      printf "  at most file + 1.10 x range (%d): %s\n", limit, read <= limit ? "met" : "NOT met"
    }' "$WORK/reads"
  rm -f "$CUT_TARGET" "$WORK/reads"
else
  echo "cut --measure of a middle range: not measured (strace is missing)"
fi

# ---------------------------------------------------------------------------------------------
# A job of three ranges against one cut from the first START to the last END: the job reads the
# same stretch of the source once and writes less of it. Paired: the two run in turns, each into
# a new file, and the ratio is that of the best of each. Then the peak memory of a job of 30
# ranges over the same stretch beside the three: flat however many ranges.

echo
echo "cut of three ranges vs one cut over the same stretch (best of $RUNS each, in turns, warm cache)"
JOB_RANGES=(0:10:00 0:25:00 0:30:00 0:50:00 0:55:00 1:10:00)
JOB_TARGET=$WORK/job.nts ONE_TARGET=$WORK/one.nts
: >"$WORK/joined.nts"
for ((i = 0; i < ${#JOB_RANGES[@]}; i += 2)); do
  "$CLI" cut "$RECORDING" "${JOB_RANGES[i]}" "${JOB_RANGES[i + 1]}" "$ONE_TARGET" >/dev/null
  cat "$ONE_TARGET" >>"$WORK/joined.nts"
done
"$CLI" cut --measure "$RECORDING" "${JOB_RANGES[@]}" "$JOB_TARGET" | tail -n 4 | sed 's/^/  /'
if ! cmp -s "$JOB_TARGET" "$WORK/joined.nts"; then
  echo "bench: the job differs from the three single cuts joined" >&2
  exit 1
fi
rm -f "$WORK/joined.nts"
tool_best="" ours_best="" tool_rss=0 ours_rss=0
for ((run = 1; run <= RUNS; run++)); do
  PREPARE='rm -f "$JOB_TARGET" "$ONE_TARGET"; sync'
  RUNS=1 best_of "$CLI" cut "$RECORDING" 0:10:00 1:10:00 "$ONE_TARGET"
  if [ -z "$tool_best" ] || awk -v e="$BEST" -v b="$tool_best" 'BEGIN { exit !(e < b) }'; then tool_best=$BEST; fi
  if [ "$RSS" -gt "$tool_rss" ]; then tool_rss=$RSS; fi
  RUNS=1 best_of "$CLI" cut "$RECORDING" "${JOB_RANGES[@]}" "$JOB_TARGET"
  if [ -z "$ours_best" ] || awk -v e="$BEST" -v b="$ours_best" 'BEGIN { exit !(e < b) }'; then ours_best=$BEST; fi
  if [ "$RSS" -gt "$ours_rss" ]; then ours_rss=$RSS; fi
done
PREPARE=
TOOL_BEST=$tool_best TOOL_RSS=$tool_rss OURS_BEST=$ours_best OURS_RSS=$ours_rss
compare "trimora-cli cut FILE 0:10:00 1:10:00 ONE" "trimora-cli cut FILE (3 ranges) JOB" 1.15
# Thirty ranges of a minute and a half with half a minute between them, over the same hour.
: >"$WORK/thirty.txt"
for ((i = 0; i < 30; i++)); do
  s=$((600 + i * 120)) e=$((600 + i * 120 + 90))
  printf '%d:%02d:%02d %d:%02d:%02d\n' $((s / 3600)) $((s / 60 % 60)) $((s % 60)) $((e / 3600)) $((e / 60 % 60)) $((e % 60)) >>"$WORK/thirty.txt"
done
RUNS=1 best_of "$CLI" cut --ranges "$WORK/thirty.txt" "$RECORDING" "$JOB_TARGET"
awk -v three="$ours_rss" -v thirty="$RSS" 'BEGIN {
  printf "  peak RSS: 3 ranges %.1f MiB, 30 ranges %.1f MiB; flat (within 1 MiB): %s\n", three / 1024, thirty / 1024,
         thirty - three <= 1024 ? "yes" : "NO"
}'
rm -f "$JOB_TARGET" "$ONE_TARGET" "$WORK/thirty.txt"

# ---------------------------------------------------------------------------------------------
# The pictures at the cut points, on a recording of just over 1 GiB with real MPEG-2 video (a
# ten-second clip at about the broadcast byte rate, repeated, a marker per second). First in one
# process as the window works: the marker index built once, then the start and the end picture at
# 10 positions. Then trimora-cli frame at the same positions, each a fresh process that analyses
# and finds the marker by reading the file up to it, beside head -c reading the same bytes.

rm -f "$RECORDING"  # one large file at a time
VIDEO=$WORK/video.nts
echo
echo "Generating a recording with MPEG-2 video in $WORK ..."
"$BENCH_PREVIEW" make "$VIDEO" $((1024 * 1024 * 1024 + 1))
echo "  $(stat -c %s "$VIDEO") bytes"
cat "$VIDEO" >/dev/null

echo
echo "start and end pictures at 10 positions, one process (warm cache)"
PICTURE_LIMIT_MS=100
/usr/bin/time -f %M -o "$WORK/rss" "$BENCH_PREVIEW" time "$VIDEO" 10 >"$WORK/pictures"
awk -v limit="$PICTURE_LIMIT_MS" -v rss="$(tail -n 1 "$WORK/rss")" -v rss_limit=256 '
  $1 == "position" { printf "  %s  start %6.1f ms  end %6.1f ms\n", $2, $5, $6 }
  $1 == "index_ms" { printf "  marker index built once: %.1f ms\n", $2 }
  $1 == "median_ms" { printf "  median %.1f ms a picture (target under %d ms): %s;  peak RSS %.1f MiB, under %d MiB: %s\n",
                             $2, limit, $2 < limit ? "met" : "NOT met", rss / 1024, rss_limit, rss / 1024 < rss_limit ? "yes" : "NO" }
' "$WORK/pictures"

echo
echo "trimora-cli frame vs head -c OFFSET, each position a fresh process (best of 3, warm cache)"
RUNS=3
FRAME_MET=yes FRAME_RSS=0
while read -r kind second start_byte _; do
  [ "$kind" = position ] || continue
  time_text=$(printf '%d:%02d:%02d' $((second / 3600)) $((second / 60 % 60)) $((second % 60)))
  best_of head -c "$start_byte" "$VIDEO"
  TOOL_BEST=$BEST
  best_of "$CLI" frame "$VIDEO" "$time_text" "$WORK/frame.png"
  if [ "$RSS" -gt "$FRAME_RSS" ]; then FRAME_RSS=$RSS; fi
  if ! awk -v o="$BEST" -v t="$TOOL_BEST" 'BEGIN { exit !(o <= t + 0.1) }'; then FRAME_MET=no; fi
  awk -v s="$time_text" -v b="$start_byte" -v t="$TOOL_BEST" -v o="$BEST" 'BEGIN {
    printf "  %s at byte %11d   head -c %6.3f s   frame %6.3f s   difference %+6.3f s\n", s, b, t, o, o - t }'
done <"$WORK/pictures"
awk -v met="$FRAME_MET" -v rss="$FRAME_RSS" 'BEGIN {
  printf "  every position within head -c + 0.100 s: %s;  peak RSS %.1f MiB, under 256 MiB: %s\n", met, rss / 1024,
         rss / 1024 < 256 ? "yes" : "NO" }'

echo
echo "clean cut (planning included) vs exact cut of the same 10-minute range, paired, best of 3 (warm cache)"
"$BENCH_CLEAN_CUT" "$VIDEO" 5 600 >"$WORK/clean"
awk -v target=1.05 '
  $1 == "range" { printf "  from second %5d   exact %8.1f ms   clean %8.1f ms   planning %6.2f ms\n", $2, $3, $4, $5 }
  $1 == "median_ratio" { printf "  median ratio %.3f (target at most %.2f): %s\n", $2, target, $2 <= target ? "met" : "NOT met" }
' "$WORK/clean"

echo
echo "trimora-cli cut --clean vs trimora-cli cut of the same 10-minute ranges, paired, best of 3 (warm cache)"
RUNS=3
: >"$WORK/cli_clean"
while read -r kind second _; do
  [ "$kind" = range ] || continue
  from=$(printf '%d:%02d:%02d' $((second / 3600)) $((second / 60 % 60)) $((second % 60)))
  to=$(printf '%d:%02d:%02d' $(((second + 600) / 3600)) $(((second + 600) / 60 % 60)) $(((second + 600) % 60)))
  best_of "$CLI" cut "$VIDEO" "$from" "$to" "$WORK/exact.ts"
  EXACT_BEST=$BEST
  best_of "$CLI" cut --clean "$VIDEO" "$from" "$to" "$WORK/clean.ts"
  awk -v s="$from" -v e="$EXACT_BEST" -v c="$BEST" -v es="$(stat -c %s "$WORK/exact.ts")" -v cs="$(stat -c %s "$WORK/clean.ts")" 'BEGIN {
    printf "  from %s   cut %6.3f s (%d bytes)   cut --clean %6.3f s (%d bytes)   ratio %.3f\n", s, e, es, c, cs, c / e }' |
    tee -a "$WORK/cli_clean"
done <"$WORK/clean"
awk '{ print $NF }' "$WORK/cli_clean" | sort -n | awk -v target=1.05 '{ r[NR] = $1 } END {
  m = (r[int((NR + 1) / 2)] + r[int(NR / 2) + 1]) / 2
  printf "  median ratio %.3f (target at most %.2f): %s\n", m, target, m <= target ? "met" : "NOT met" }'
rm -f "$WORK/exact.ts" "$WORK/clean.ts"

echo
echo "clean job of three 110-second ranges of a recorder-shaped recording: clocks moved on at the joins"
echo "vs the recording's own, paired, each first in turn, best of 6 (warm cache)"
"$BENCH_SEAMLESS_JOB" make "$WORK/recorder.nts" 400
"$BENCH_SEAMLESS_JOB" "$WORK/recorder.nts" 110 6 >"$WORK/seamless"
rm -f "$WORK/recorder.nts"
awk -v target=1.10 '
  $1 == "job" { printf "  without the header work %8.1f ms   with it %8.1f ms   (%d bytes)\n", $2, $3, $4 }
  $1 == "ratio" { printf "  ratio %.3f (target at most %.2f): %s\n", $2, target, $2 <= target ? "met" : "NOT met" }
' "$WORK/seamless"
rm -f "$VIDEO" "$WORK/frame.png"

# ---------------------------------------------------------------------------------------------
# trimora-cli scan against the recording's own length: the search for breaks runs at 100 times
# real time or faster on a recorder-shaped recording (720x480 MPEG-2, MPEG-1 Layer II, about
# 233655.5 bytes a second), with its peak memory. Ten minutes are made: encoding them takes a
# minute or two, and the scan's work grows with the length and the silences alike.

echo
echo "Generating a recorder-shaped recording with commercial breaks in $WORK ..."
SCAN_REC=$WORK/breaks.nts
"$BENCH_SCAN" make "$SCAN_REC" 600 >"$WORK/scan_made"
SCAN_SECONDS=$(awk '$1 == "seconds" { print $2 }' "$WORK/scan_made")
awk -v b="$(stat -c %s "$SCAN_REC")" -v s="$SCAN_SECONDS" 'BEGIN {
  printf "  %d bytes, %.1f s, %.1f bytes a second\n", b, s, b / s }'

echo
echo "trimora-cli scan vs the recording's length (best of 3, warm cache)"
RUNS=3
best_of "$CLI" scan "$SCAN_REC"
"$CLI" scan "$SCAN_REC" >"$WORK/scan_ranges"
awk -v t="$BEST" -v s="$SCAN_SECONDS" -v rss="$RSS" -v n="$(wc -l <"$WORK/scan_ranges")" \
    -v made="$(awk '$1 == "programme" { print $2 }' "$WORK/scan_made")" 'BEGIN {
  printf "  %-44s %8.3f s   peak RSS %7.1f MiB\n", "trimora-cli scan", t, rss / 1024
  printf "  ranges proposed %d (stretches made %d)\n", n, made
  ratio = (t > 0) ? s / t : 0
  printf "  %.0f x real time (target at least 100): %s;  peak RSS under 256 MiB: %s\n", ratio,
         (ratio >= 100) ? "met" : "NOT met", (rss / 1024 < 256) ? "yes" : "NO"
}'
rm -f "$SCAN_REC"
