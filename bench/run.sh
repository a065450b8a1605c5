#!/usr/bin/env bash
# Times Trimora's commands against the plain tools that read or copy the same bytes, on a
# generated recording of just over 1 GiB with a warm cache. Each section below compares one
# command with its tool; add a section for a new command at the end.
#
#   bench/run.sh BUILD_DIR      (make bench)
set -euo pipefail

BUILD=${1:?usage: bench/run.sh BUILD_DIR}
CLI=$BUILD/cli/trimora-cli
MAKE_RECORDING=$BUILD/bench/make_recording
for tool in "$CLI" "$MAKE_RECORDING" /usr/bin/time; do
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
compare "cat FILE > /dev/null" "trimora-cli analyze --measure FILE" 1.20

# ---------------------------------------------------------------------------------------------
# cut of the whole recording against cp: both write a copy of every byte. The recording ends with
# the marker of its last second, so the cut from 0:00:00 to its length is the whole file.

echo
echo "cut of the whole recording vs cp (best of $RUNS, warm cache)"
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
# Each run writes a new file, with the last run's copy gone and its dirty pages on disk.
PREPARE='rm -f "$CUT_TARGET" "$COPY_TARGET"; sync'
best_of cp "$RECORDING" "$COPY_TARGET"
TOOL_BEST=$BEST TOOL_RSS=$RSS
best_of "$CLI" cut "$RECORDING" 0:00:00 "$RECORDING_END" "$CUT_TARGET"
OURS_BEST=$BEST OURS_RSS=$RSS
PREPARE=
compare "cp FILE COPY" "trimora-cli cut FILE 0:00:00 $RECORDING_END CUT" 1.20
rm -f "$CUT_TARGET" "$COPY_TARGET"
