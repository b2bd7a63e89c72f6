#!/usr/bin/env bash
# What reading every archive back costs: the same runs with the read-back on
# (the default) and off (SHEAF_NO_VERIFY=1, a switch only this script uses),
# interleaved, best wall time of $RUNS each:
#   - the 30,000-file batch (sheaf-batch, one LZH per file, output on tmpfs);
#   - the 200 MiB file at the default level (sheaf-arc lzh), and the same
#     file as ZIP and CAB.
# Prints one table and writes it into bench/RESULTS.md (section "Verify").
#
#   bench/verify/run.sh [BUILD_DIR]     (default: build; CORPUS=... to reuse a corpus)
set -euo pipefail
export LC_ALL=C.UTF-8
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
CORPUS=${CORPUS:-$ROOT/bench/corpus}
RUNS=${RUNS:-3}
RESULTS=$ROOT/bench/RESULTS.md
BATCH=$BUILD/src/cli/sheaf-batch
ARC=$BUILD/src/cli/sheaf-arc
for tool in "$BATCH" "$ARC"; do
  [ -x "$tool" ] || { echo "run.sh: $tool is missing (cmake --build $BUILD --target sheaf-batch sheaf-arc)" >&2; exit 1; }
done
[ -d "$CORPUS/small" ] && [ -d "$CORPUS/large" ] || bash /work/shared/bench/make-corpus.sh "$CORPUS"
WORK=$(mktemp -d /dev/shm/sheaf-verify-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
find "$CORPUS/small" "$CORPUS/large" -type f -print0 | xargs -0 cat > /dev/null

# best NAME CMD...: runs CMD with and without the read-back, interleaved;
# sets ON and OFF to the best wall seconds of each.
best() {
  local t on= off=
  for _ in $(seq "$RUNS"); do
    for mode in on off; do
      rm -rf "$WORK/out" && mkdir -p "$WORK/out"
      TIMEFORMAT=%R
      if [ $mode = on ]; then
        t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
        if [ -z "$on" ] || [ "$(echo "$t < $on" | bc -l)" = 1 ]; then on=$t; fi
      else
        t=$( { time SHEAF_NO_VERIFY=1 "$@" >/dev/null 2>&1; } 2>&1 )
        if [ -z "$off" ] || [ "$(echo "$t < $off" | bc -l)" = 1 ]; then off=$t; fi
      fi
    done
  done
  ON=$on OFF=$off
}

rows=()
row() { # WHAT
  rows+=("$(printf '| %s | %.2f | %.2f | %+.1f %% |' "$1" "$OFF" "$ON" "$(echo "100 * ($ON - $OFF) / $OFF" | bc -l)")")
}

best "$BATCH" -q -s -e .txt -o "$WORK/out" "$CORPUS/small"
made=$(find "$WORK/out" -name '*.lzh' | wc -l)
[ "$made" -ge 30000 ] || { echo "run.sh: the batch made $made archives" >&2; exit 1; }
row "30,000-file batch, LZH"
best "$ARC" lzh a -a1 -r0 "$WORK/out/large.lzh" "$CORPUS/large/" large.bin
row "200 MiB file, LZH default level"
best "$ARC" zip -S "$WORK/out/large.zip" "$CORPUS/large/" large.bin
row "200 MiB file, ZIP"
best "$ARC" cab -a "$WORK/out/large.cab" "$CORPUS/large/" large.bin
row "200 MiB file, CAB"

decoder=no
[ -f "$ROOT/src/archiver/lzh/lzh_decoder.h" ] && decoder=yes
table=$(
  echo "Measured $(date -u +%Y-%m-%d) on $(nproc) cores, best wall time of $RUNS interleaved runs,"
  echo "output on tmpfs. LZH data decoded on read-back: $decoder."
  echo
  echo "| Run | read-back off (s) | read-back on (s) | cost |"
  echo "|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
)
echo "$table"
python3 - "$RESULTS" "$table" <<'PY'
import sys
path, table = sys.argv[1], sys.argv[2]
text = open(path).read()
section = "## Verify\n\nWritten by bench/verify/run.sh.\n\n" + table + "\n"
start = text.find("## Verify\n")
if start < 0:
    text = text.rstrip("\n") + "\n\n" + section
else:
    end = text.find("\n## ", start + 1)
    text = text[:start] + section + (text[end + 1:] if end >= 0 else "")
open(path, "w").write(text)
PY
