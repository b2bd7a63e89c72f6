#!/usr/bin/env bash
# The 30,000-file batch with an older sheaf-batch and with this build, runs
# interleaved (ROUNDS each, default 3, the best kept), into an output folder
# and beside the files, on tmpfs and on the disk (ext4, bench/out). Prints
# the table and writes it into bench/RESULTS.md (section "Batch before and
# after"). Make the older binary from an older commit's build, e.g.
#   cp build/src/cli/sheaf-batch /tmp/sheaf-batch-before
#
#   bench/batch/before_after.sh BEFORE [BUILD_DIR] [ROUNDS] [NOTE]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BEFORE=${1:?usage: before_after.sh BEFORE [BUILD_DIR] [ROUNDS] [NOTE]}
BUILD=${2:-$ROOT/build}
ROUNDS=${3:-3}
NOTE=${4:-}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
AFTER=$BUILD/src/cli/sheaf-batch
[ -x "$BEFORE" ] && [ -x "$AFTER" ] || { echo "before_after.sh: $BEFORE or $AFTER missing" >&2; exit 1; }
. "$ROOT/bench/small_corpus.sh"

# one BIN WORK MODE: prints "wall cpu" of one batch; MODE "output" makes the
# archives in WORK/out, "beside" in a copy of the tree in WORK/tree.
one() {
  local bin=$1 work=$2 mode=$3 t made
  rm -rf "$work"; mkdir -p "$work/out"; sync
  TIMEFORMAT='%R %U %S'
  if [ "$mode" = output ]; then
    t=$( { time "$bin" -q -s -e .txt -o "$work/out" "$SRC" > /dev/null 2>&1; } 2>&1 )
    made=$(find "$work/out" -type f -name '*.lzh' | wc -l)
  else
    cp -a "$SRC" "$work/tree"; sync
    t=$( { time "$bin" -q -s -e .txt "$work/tree" > /dev/null 2>&1; } 2>&1 )
    made=$(find "$work/tree" -type f -name '*.lzh' | wc -l)
  fi
  [ "$made" -eq "$count" ] || { echo "before_after.sh: $bin made $made of $count" >&2; exit 1; }
  rm -rf "$work"
  awk '{ printf "%.2f %.2f", $1, $2 + $3 }' <<< "$t"
}

load=$(cut -d' ' -f1-3 /proc/loadavg)
rows=""
for place in "tmpfs:/dev/shm/sheaf-bench-ba.$$" "ext4:$ROOT/bench/out/before-after"; do
  name=${place%%:*} work=${place#*:}
  for mode in output beside; do
    bw=999; bc=999; aw=999; ac=999
    for r in $(seq "$ROUNDS"); do
      read -r w c <<< "$(one "$BEFORE" "$work" "$mode")"
      bw=$(awk -v a="$w" -v b="$bw" 'BEGIN { print (a < b) ? a : b }')
      bc=$(awk -v a="$c" -v b="$bc" 'BEGIN { print (a < b) ? a : b }')
      read -r w c <<< "$(one "$AFTER" "$work" "$mode")"
      aw=$(awk -v a="$w" -v b="$aw" 'BEGIN { print (a < b) ? a : b }')
      ac=$(awk -v a="$c" -v b="$ac" 'BEGIN { print (a < b) ? a : b }')
    done
    row=$(awk -v n="$count" -v bw="$bw" -v bc="$bc" -v aw="$aw" -v ac="$ac" 'BEGIN {
      printf "%.2f | %.2f | %.2f | %.2f | %.0f | %.0f | %.2fx", bw, aw, bc, ac, n / bw, n / aw, ac / bc }')
    echo "$name, $mode: $row"
    rows+="| $name | $mode | $row |"$'\n'
  done
done

RESULTS=$ROOT/bench/RESULTS.md
section=$(cat <<MD
<!-- batch-before-after:begin -->
## Batch before and after

\`bench/batch/before_after.sh\`, $(date -u +%Y-%m-%d), $(nproc) cores, load average
at the start ${load}: ${count} small files of bench/corpus/small, one LZH per
file (\`sheaf-batch -q -s -e .txt [-o OUT]\`, one worker per core), into an
output folder or beside the files in a copy of the tree; best of ${ROUNDS}
interleaved runs each. CPU is user + system time.

| file system | archives | wall s before | wall s after | CPU s before | CPU s after | files/s before | files/s after | CPU after/before |
|---|---|---|---|---|---|---|---|---|
${rows}
${NOTE}
<!-- batch-before-after:end -->
MD
)
if grep -q '<!-- batch-before-after:begin -->' "$RESULTS"; then
  SECTION=$section perl -0pi -e 's/<!-- batch-before-after:begin -->.*?<!-- batch-before-after:end -->/$ENV{SECTION}/s' "$RESULTS"
else
  printf '\n%s\n' "$section" >> "$RESULTS"
fi
