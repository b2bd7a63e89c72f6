#!/usr/bin/env bash
# The 30,000-file batch: sheaf-batch makes one LZH per file of
# bench/corpus/small into an output folder; a shell loop runs `zip -q` once
# per file over the same tree. Prints files per second of both and the ratio,
# and writes them into bench/RESULTS.md (section "Batch").
#
#   bench/batch/run.sh [BUILD_DIR]      (default: build, the default preset)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
BATCH=$BUILD/src/cli/sheaf-batch
if [ ! -x "$BATCH" ]; then
  echo "run.sh: $BATCH is missing; build it with: cmake --build $BUILD --target sheaf-batch" >&2
  exit 1
fi

. "$ROOT/bench/small_corpus.sh"

zip_loop() {
  find "$SRC" -type f -name '*.txt' -print0 | while IFS= read -r -d '' f; do
    b=${f##*/}
    zip -q -j "$1/${b%.txt}.zip" "$f"
  done
}

# run_pair PLACE OUTDIR: both tools write into OUTDIR/lzh and OUTDIR/zip.
# Appends one table row per tool to $rows.
rows=""
run_pair() {
  local place=$1 work=$2
  rm -rf "$work"
  mkdir -p "$work/lzh" "$work/zip"
  local ts tz
  TIMEFORMAT='%R %U %S'
  ts=$( { time "$BATCH" -q -s -e .txt -o "$work/lzh" "$SRC" > "$work/sheaf-batch.log" 2>&1; } 2>&1 )
  tz=$( { time zip_loop "$work/zip"; } 2>&1 )

  local made_lzh made_zip
  made_lzh=$(find "$work/lzh" -type f -name '*.lzh' | wc -l)
  made_zip=$(find "$work/zip" -type f -name '*.zip' | wc -l)
  if [ "$made_lzh" -ne "$count" ] || [ "$made_zip" -ne "$count" ]; then
    echo "run.sh: expected $count archives each, got $made_lzh LZH and $made_zip ZIP" >&2
    exit 1
  fi
  # Spot check: every 1000th archive read back by lhasa and compared.
  local check=0 f b
  while IFS= read -r -d '' f; do
    check=$((check + 1))
    [ $((check % 1000)) -eq 0 ] || continue
    b=${f##*/}
    lhasa pq "$work/lzh/${b%.txt}.lzh" | cmp -s - "$f" \
      || { echo "run.sh: $work/lzh/${b%.txt}.lzh does not give back $f" >&2; exit 1; }
  done < <(find "$SRC" -type f -name '*.txt' -print0)

  local row
  row=$(awk -v n="$count" -v s="$ts" -v z="$tz" 'BEGIN {
    split(s, a, " "); split(z, b, " ");
    sc = a[2] + a[3]; zc = b[2] + b[3];
    printf "%.2f %.2f %.0f %.0f %.2f %.2f %.0f %.0f %.1f %.1f",
      a[1], sc, n / a[1], n / sc, b[1], zc, n / b[1], n / zc,
      (n / a[1]) / (n / b[1]), (n / sc) / (n / zc) }')
  local sw sc sr scr zw zc zr zcr ratio cratio
  read -r sw sc sr scr zw zc zr zcr ratio cratio <<< "$row"
  echo "$place: sheaf-batch ${sw} s wall, ${sc} s CPU (${sr} files/s); zip loop ${zw} s wall, ${zc} s CPU (${zr} files/s); ratio ${ratio}x wall, ${cratio}x CPU"
  rows+="| $place | sheaf-batch | ${sw} | ${sc} | ${sr} | ${scr} |"$'\n'
  rows+="| $place | zip loop | ${zw} | ${zc} | ${zr} | ${zcr} |"$'\n'
  rows+="| $place | **ratio** | | | **${ratio}x** | **${cratio}x** |"$'\n'
  rm -rf "$work"
}

load=$(cut -d' ' -f1-3 /proc/loadavg)
run_pair "disk (ext4, bench/out)" "$ROOT/bench/out/batch"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  run_pair "memory (tmpfs, /dev/shm)" "/dev/shm/sheaf-bench-batch.$$"
fi

RESULTS=$ROOT/bench/RESULTS.md
section=$(cat <<MD
<!-- batch:begin -->
## Batch: sheaf-batch against a zip loop

\`bench/batch/run.sh\`, $(date -u +%Y-%m-%d), $(nproc) cores: ${count} small text files of
bench/corpus/small (30 folders of 10 subfolders), one archive per file into one
output folder, page cache warm. Every 1000th LZH is read back by lhasa.

| output folder on | run | wall s | CPU s | files/s (wall) | files/s (CPU) |
|---|---|---|---|---|---|
${rows}
sheaf-batch: \`sheaf-batch -q -s -e .txt -o OUT bench/corpus/small\` (LZH, one
process, each archive written to a temporary file, synced and renamed into
place). zip loop: \`zip -q -j OUT/NAME.zip FILE\` once per file. Target: at
least 5x the zip loop's rate. CPU is user + system time of the run and its
children, steadier than wall time on this shared machine. Load average at the
start: ${load}.
<!-- batch:end -->
MD
)
if [ -f "$RESULTS" ] && grep -q '<!-- batch:begin -->' "$RESULTS"; then
  SECTION=$section perl -0pi -e 's/<!-- batch:begin -->.*?<!-- batch:end -->/$ENV{SECTION}/s' "$RESULTS"
else
  [ -f "$RESULTS" ] || printf '# Benchmark results\n' > "$RESULTS"
  printf '\n%s\n' "$section" >> "$RESULTS"
fi
