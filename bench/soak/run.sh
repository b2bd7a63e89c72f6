#!/usr/bin/env bash
# The soak run: the 30,000-file batch of bench/corpus/small three times in a
# row in one process (soak_bench: the window's selection command and compress
# run without the window), the output folder emptied between rounds. Prints
# resident memory and open descriptors after each round; fails when either
# grew. Every 1000th archive of the last round is read back by lhasa.
#
#   bench/soak/run.sh [BUILD_DIR] [OUTPUT_FOLDER]
#   (defaults: build, the default preset; bench/out/soak, on disk)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
OUT=${2:-$ROOT/bench/out/soak}
SOAK=$BUILD/bench/soak_bench
if [ ! -x "$SOAK" ]; then
  echo "run.sh: $SOAK is missing; build it with: cmake --build $BUILD --target soak_bench" >&2
  exit 1
fi

. "$ROOT/bench/small_corpus.sh"

echo "soak: $(find "$SRC" -type f -name '*.txt' | wc -l) files, output $OUT, load $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
"$SOAK" "$SRC" "$OUT" 3 || status=$?

# Spot check of the last round: every 1000th source against its archive.
checked=0 bad=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
while IFS= read -r -d '' f; do
  b=${f##*/}
  rm -rf "$scratch"/*
  if ! (cd "$scratch" && lhasa xq "$OUT/${b%.txt}.lzh" >/dev/null 2>&1) || ! cmp -s "$f" "$scratch/$b"; then
    echo "soak: $OUT/${b%.txt}.lzh does not hold $f" >&2
    bad=$((bad + 1))
  fi
  checked=$((checked + 1))
done < <(find "$SRC" -type f -name '*.txt' -print0 | sort -z | awk 'BEGIN{RS="\0"; ORS="\0"} NR % 1000 == 1')
echo "soak: $checked archives read back by lhasa, $bad wrong"
[ "$bad" -eq 0 ] || status=1
exit $status
