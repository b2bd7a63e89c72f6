#!/usr/bin/env bash
# What reading every archive back costs: the same runs with the read-back on
# (the default) and off (SHEAF_NO_VERIFY=1, a switch only this script uses),
# interleaved, best of $RUNS each in wall time and in CPU time (user +
# system; on a shared machine the steadier measure of the work done):
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
RUNS=${RUNS:-5}
RESULTS=$ROOT/bench/RESULTS.md
BATCH=$BUILD/src/cli/sheaf-batch
ARC=$BUILD/src/cli/sheaf-arc
command -v bc >/dev/null && [ -x /usr/bin/time ] || { echo "run.sh: needs bc and /usr/bin/time" >&2; exit 1; }
for tool in "$BATCH" "$ARC"; do
  [ -x "$tool" ] || { echo "run.sh: $tool is missing (cmake --build $BUILD --target sheaf-batch sheaf-arc)" >&2; exit 1; }
done
[ -d "$CORPUS/small" ] && [ -d "$CORPUS/large" ] || bash /work/shared/bench/make-corpus.sh "$CORPUS"
WORK=$(mktemp -d /dev/shm/sheaf-verify-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
find "$CORPUS/small" "$CORPUS/large" -type f -print0 | xargs -0 cat > /dev/null

# best CMD...: runs CMD with and without the read-back, interleaved; sets
# ON and OFF to the best wall seconds, ONC and OFFC to the best CPU seconds.
best() {
  local w c
  ON= OFF= ONC= OFFC=
  for _ in $(seq "$RUNS"); do
    for mode in on off; do
      rm -rf "$WORK/out" && mkdir -p "$WORK/out"
      if [ $mode = on ]; then
        /usr/bin/time -f '%e %U %S' -o "$WORK/time" "$@" >/dev/null 2>&1
      else
        SHEAF_NO_VERIFY=1 /usr/bin/time -f '%e %U %S' -o "$WORK/time" "$@" >/dev/null 2>&1
      fi
      w=$(awk '{print $1}' "$WORK/time")
      c=$(awk '{print $2 + $3}' "$WORK/time")
      if [ $mode = on ]; then
        if [ -z "$ON" ] || [ "$(echo "$w < $ON" | bc -l)" = 1 ]; then ON=$w; fi
        if [ -z "$ONC" ] || [ "$(echo "$c < $ONC" | bc -l)" = 1 ]; then ONC=$c; fi
      else
        if [ -z "$OFF" ] || [ "$(echo "$w < $OFF" | bc -l)" = 1 ]; then OFF=$w; fi
        if [ -z "$OFFC" ] || [ "$(echo "$c < $OFFC" | bc -l)" = 1 ]; then OFFC=$c; fi
      fi
    done
  done
}

rows=()
row() { # WHAT
  rows+=("$(printf '| %s | %.2f | %.2f | %+.1f %% | %.2f | %.2f | %+.1f %% |' "$1" \
    "$OFF" "$ON" "$(echo "100 * ($ON - $OFF) / $OFF" | bc -l)" \
    "$OFFC" "$ONC" "$(echo "100 * ($ONC - $OFFC) / $OFFC" | bc -l)")")
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

table=$(
  echo "Measured $(date -u +%Y-%m-%d) on $(nproc) shared cores, best of $RUNS interleaved runs,"
  echo "output on tmpfs."
  echo
  echo "| Run | wall, off (s) | wall, on (s) | wall cost | CPU, off (s) | CPU, on (s) | CPU cost |"
  echo "|---|---|---|---|---|---|---|"
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
