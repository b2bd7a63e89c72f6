#!/usr/bin/env bash
# One archive per item (sheaf-batch --each), measured:
#  - 3,000 small files given as items, ZIP, against a shell loop of `zip` per
#    file and against `xargs -P2` of zip (100 files per shell), best of $RUNS
#    (default 5);
#  - 10,000 small files given as items against sheaf-batch's own selection
#    run over the same folder (archives per second, best of 3);
#  - peak memory (/usr/bin/time -v): the 10,000 items, one folder item of
#    100,000 files (of 100 bytes, and of 2 KiB: the same count, 20 times the
#    bytes), one 3 GiB sparse file;
#  - with Xvfb, how long `sheaf --each` takes to show its window for 10,000
#    items.
# Every archive count is checked and every 500th archive read back by unzip.
# Writes the "One archive per item" section of bench/RESULTS.md.
#
#   bench/each/run.sh [BUILD_DIR]      (default: build)
set -euo pipefail
export LC_ALL=C.UTF-8
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
RUNS=${RUNS:-5}
BATCH=$BUILD/src/cli/sheaf-batch
SHEAF=$BUILD/src/app/sheaf
for tool in zip unzip xargs bc awk /usr/bin/time; do
  command -v $tool >/dev/null || { echo "run.sh: missing $tool" >&2; exit 1; }
done
cmake --build "$BUILD" --target sheaf-batch sheaf >/dev/null
WORK=/dev/shm/sheaf-bench-each.$$
[ -d /dev/shm ] && [ -w /dev/shm ] || WORK=$ROOT/bench/out/each
rm -rf "$WORK" && mkdir -p "$WORK"
xvfb=
trap 'rm -rf "$WORK"; [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null' EXIT

# make_files DIR COUNT SIZE: COUNT text files f00001.txt... of about SIZE
# bytes of words (SIZE 0: 500 to 6,000 bytes each), the same on every run.
make_files() {
  mkdir -p "$1"
  awk -v dir="$1" -v n="$2" -v size="$3" 'BEGIN {
    split("sheaf archive folder batch 圧縮 書庫 ファイル data report memo the of and", w, " ");
    for (i = 1; i <= n; i++) {
      srand(i); f = sprintf("%s/f%05d.txt", dir, i);
      want = size > 0 ? size : 500 + int(rand() * 5500); s = "";
      while (length(s) < want) s = s w[1 + int(rand() * 14)] (rand() < 0.1 ? "\n" : " ");
      printf "%s", substr(s, 1, want) > f; close(f) } }'
}

# timed NAME COMMAND...: runs it once into a fresh $WORK/out; sets wall, cpu, peak.
timed() {
  rm -rf "$WORK/out" && mkdir -p "$WORK/out"
  /usr/bin/time -f '%e %U %S %M' "$@" >/dev/null 2>"$WORK/err" || {
    cat "$WORK/err" >&2; echo "run.sh: $* failed" >&2; exit 1; }
  read -r wall user sys peak <<<"$(tail -1 "$WORK/err")"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
}

# best N COMMAND...: the fastest of N runs by wall time; checks the archives.
best() {
  local n=$1 count=$2
  shift 2
  bwall=; bcpu=; bpeak=
  for _ in $(seq "$n"); do
    timed "$@"
    if [ -z "$bwall" ] || [ "$(echo "$wall < $bwall" | bc)" = 1 ]; then
      bwall=$wall bcpu=$cpu bpeak=$peak
    fi
  done
  local made
  made=$(find "$WORK/out" -name '*.zip' | wc -l)
  [ "$made" -eq "$count" ] || { echo "run.sh: $made archives, not $count: $*" >&2; exit 1; }
  local i=0 f
  for f in "$WORK/out"/*.zip; do
    i=$((i + 1))
    [ $((i % 500)) -eq 0 ] || continue
    b=${f##*/}
    unzip -p "$f" | cmp -s - "$SRC/${b%.zip}.txt" || { echo "run.sh: $f differs" >&2; exit 1; }
  done
}

rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.0f", n / s }'; }
rows=""
row() { # label count
  rows+="| $1 | $bwall | $bcpu | $(rate "$2" "$bwall") | $(rate "$2" "$bcpu") | $((bpeak / 1024)) |"$'\n'
}

zip_loop() {
  for f in "$SRC"/*.txt; do b=${f##*/}; zip -q -j "$WORK/out/${b%.txt}.zip" "$f"; done
}
zip_xargs() {
  printf '%s\0' "$SRC"/*.txt | xargs -0 -P2 -n100 sh -c \
    'out=$0; for f; do b=${f##*/}; zip -q -j "$out/${b%.txt}.zip" "$f"; done' "$WORK/out"
}
export -f zip_loop zip_xargs
export WORK

SRC=$WORK/files3000
make_files "$SRC" 3000 0
export SRC
cat "$SRC"/*.txt >/dev/null
load=$(cut -d' ' -f1-3 /proc/loadavg)
best "$RUNS" 3000 "$BATCH" --each -q -a zip -o "$WORK/out" "$SRC"/*.txt
row "\`sheaf-batch --each -a zip\` (one process, 2 threads)" 3000
each3000=$bwall
best "$RUNS" 3000 bash -c zip_loop
row "loop of \`zip -q -j\` per file" 3000
loop3000=$bwall
best "$RUNS" 3000 bash -c zip_xargs
row "\`xargs -0 -P2 -n100\` of zip (a shell loop per 100 files)" 3000
xargs3000=$bwall

SRC=$WORK/files10000
make_files "$SRC" 10000 0
cat "$SRC"/*.txt >/dev/null
rows10=""
best 3 10000 "$BATCH" --each -q -a zip -o "$WORK/out" "$SRC"/*.txt
each10=$bwall eachpeak=$bpeak
rows10+="| \`sheaf-batch --each -a zip -o OUT\` 10,000 items | $bwall | $bcpu | $(rate 10000 "$bwall") | $((bpeak / 1024)) |"$'\n'
best 3 10000 "$BATCH" -q -a zip -e .txt -o "$WORK/out" "$SRC"
batch10=$bwall
rows10+="| \`sheaf-batch -a zip -e .txt -o OUT\` over the folder | $bwall | $bcpu | $(rate 10000 "$bwall") | $((bpeak / 1024)) |"$'\n'

# Memory: one folder item of 100,000 files, small and 20 times larger.
mem=""
for size in 100 2048; do
  rm -rf "$WORK/big" && make_files "$WORK/big/folder" 100000 $size
  timed "$BATCH" --each -q -a zip -o "$WORK/out" "$WORK/big/folder"
  members=$(unzip -Z1 "$WORK/out/folder.zip" | wc -l)
  [ "$members" -eq 100001 ] || { echo "run.sh: folder.zip holds $members members" >&2; exit 1; }
  mem+="| one folder item of 100,000 files of $size bytes | $wall | $((peak / 1024)) |"$'\n'
done
rm -rf "$WORK/big"
truncate -s 3G "$WORK/sparse.iso"
timed "$BATCH" --each -q -a zip -o "$WORK/out" "$WORK/sparse.iso"
mem+="| one 3 GiB sparse file | $wall | $((peak / 1024)) |"$'\n'
mem+="| 10,000 items (above) | $each10 | $((eachpeak / 1024)) |"$'\n'
rm -f "$WORK/sparse.iso"

# The window for 10,000 items: from the start to its first map on the screen.
shown="not measured (no Xvfb or xdotool)"
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  Xvfb :71 -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb=$!
  # The display must be up before the window looks for it.
  for _ in $(seq 100); do DISPLAY=:71 xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  best_ms=
  for _ in 1 2 3; do
    rm -rf "$WORK/out" && mkdir -p "$WORK/out"
    start=$(date +%s%N)
    DISPLAY=:71 QT_QPA_PLATFORM=xcb "$SHEAF" --each -a zip -o "$WORK/out" "$SRC"/*.txt \
      >/dev/null 2>&1 &
    pid=$!
    ms=
    for _ in $(seq 3000); do
      if DISPLAY=:71 xdotool search --onlyvisible --name 'Sheafで個別圧縮' >/dev/null; then
        ms=$(( ($(date +%s%N) - start) / 1000000 ))
        break
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.01
    done
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
    [ -n "$ms" ] || { echo "run.sh: the window of sheaf --each never showed" >&2; exit 1; }
    [ -z "$best_ms" ] || [ "$ms" -lt "$best_ms" ] && best_ms=$ms
  done
  kill "$xvfb"; xvfb=
  shown="$best_ms ms (best of 3)"
fi

RESULTS=$ROOT/bench/RESULTS.md
section=$(cat <<MD
<!-- each:begin -->
## One archive per item: sheaf-batch --each

\`bench/each/run.sh\`, $(date -u +%Y-%m-%d), $(nproc) cores, load at the start
${load}; files of 500 to 6,000 bytes of text in one folder on tmpfs, given as
items, archives into one output folder; every 500th archive read back by
unzip. Best of ${RUNS} runs by wall time; CPU is user + system time of the run
and its children.

| 3,000 items, ZIP | wall s | CPU s | archives/s (wall) | archives/s (CPU) | peak MiB |
|---|---|---|---|---|---|
${rows}
\`--each\` against the loop: $(awk -v a="$loop3000" -v b="$each3000" 'BEGIN { printf "%.1f", a / b }')x
faster; against xargs -P2: $(awk -v a="$xargs3000" -v b="$each3000" 'BEGIN { printf "%.1f", a / b }')x.

| 10,000 items, ZIP (best of 3) | wall s | CPU s | archives/s (wall) | peak MiB |
|---|---|---|---|---|
${rows10}
Per archive \`--each\` takes $(awk -v a="$each10" -v b="$batch10" 'BEGIN { printf "%.2f", a / b }') times the time of the selection
run over the same files (target: at most 1).

| Memory | wall s | peak MiB |
|---|---|---|
${mem}
Memory grows with the number of members (the gathered paths), not with
their bytes. \`sheaf --each\` with 10,000 items shows its window after
${shown}.
<!-- each:end -->
MD
)
if grep -q '<!-- each:begin -->' "$RESULTS"; then
  SECTION=$section perl -0pi -e 's/<!-- each:begin -->.*?<!-- each:end -->/$ENV{SECTION}/s' "$RESULTS"
else
  printf '\n%s\n' "$section" >> "$RESULTS"
fi
echo "$section"
