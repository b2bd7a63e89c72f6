#!/bin/bash
# Our LZH decoder (bench/lzh_decode_bench.cpp, calling decodeLzhArchive, the
# bytes written to stdout) side by side with `bsdtar -xOf`, `7zz x -so` and
# `lhasa p` on the default-level -lh5- archive of the 200 MiB corpus file,
# every output going to /dev/null. Best of $RUNS runs each, wall and CPU
# time. Writes the "LZH decoding" section of bench/RESULTS.md. Our output is
# compared with the corpus file once, and the archive is checked with 7zz t.
#
#   bench/lzh/decode.sh [BUILD_DIR]      (default: build)
set -euo pipefail
export LC_ALL=C.UTF-8
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=${1:-$ROOT/build}
CORPUS=$ROOT/bench/corpus
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make-corpus.sh}
RUNS=${RUNS:-5}
OUT=$ROOT/bench/out/decode
RESULTS=$ROOT/bench/RESULTS.md

for tool in bsdtar 7zz lhasa bc /usr/bin/time; do
    command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
cmake --build "$BUILD" --target lzh_bench lzh_decode_bench >/dev/null
[ -f "$CORPUS/large/large.bin" ] || "$MAKE_CORPUS" "$CORPUS"
mkdir -p "$OUT"
archive=$OUT/large5.lzh
(cd "$CORPUS/large" && "$BUILD/bench/lzh_bench" -m 5 "$archive" large.bin)
7zz t "$archive" >/dev/null || { echo "7zz rejects $archive" >&2; exit 1; }
"$BUILD/bench/lzh_decode_bench" "$archive" | cmp - "$CORPUS/large/large.bin" \
    || { echo "our decoder's output differs" >&2; exit 1; }
bytes=$(stat -c %s "$CORPUS/large/large.bin")
packed=$(stat -c %s "$archive")

# best RUNS CMD...: the best wall and the best CPU seconds (user + system) of
# RUNS runs of CMD with its output thrown away.
best() {
    local runs=$1 wall= cpu= t c
    shift
    for _ in $(seq "$runs"); do
        /usr/bin/time -f '%e %U %S' -o "$OUT/time.txt" "$@" >/dev/null 2>"$OUT/err.txt" \
            || { cat "$OUT/err.txt" >&2; exit 1; }
        t=$(tail -n 1 "$OUT/time.txt" | awk '{print $1}')
        c=$(tail -n 1 "$OUT/time.txt" | awk '{print $2 + $3}')
        if [ -z "$wall" ] || [ "$(echo "$t < $wall" | bc -l)" = 1 ]; then wall=$t; fi
        if [ -z "$cpu" ] || [ "$(echo "$c < $cpu" | bc -l)" = 1 ]; then cpu=$c; fi
    done
    echo "$wall $cpu"
}

declare -A WALL CPU
rows=()
for tool in sheaf bsdtar 7zz lhasa; do
    case $tool in
    sheaf) cmd=("$BUILD/bench/lzh_decode_bench" "$archive") ;;
    bsdtar) cmd=(bsdtar -xOf "$archive") ;;
    7zz) cmd=(7zz x -so "$archive") ;;
    lhasa) cmd=(lhasa p "$archive") ;;
    esac
    read -r wall cpu <<<"$(best "$RUNS" "${cmd[@]}")"
    WALL[$tool]=$wall
    CPU[$tool]=$cpu
    rows+=("$(printf '| %s | %.2f | %.0f | %.2f | %.0f |' "${cmd[*]/#$ROOT\//}" "$wall" \
        "$(echo "$bytes / 1000000 / $wall" | bc -l)" "$cpu" "$(echo "$bytes / 1000000 / $cpu" | bc -l)")")
done

verdict() { # TEXT CONDITION
    if [ "$(echo "$2" | bc -l)" = 1 ]; then echo "- $1: met"; else echo "- $1: **not met**"; fi
}
section=$(mktemp)
{
    echo "<!-- lzh-decode:begin -->"
    echo "## LZH decoding"
    echo
    echo "\`bench/lzh/decode.sh\`, $(date -u +%Y-%m-%d), $(nproc) cores shared with other work, best of"
    echo "$RUNS runs each. The default-level -lh5- archive of the 200 MiB corpus file ($packed bytes),"
    echo "decoded to stdout, which goes to /dev/null. MB/s is output megabytes (10^6 bytes) per"
    echo "second. Ours computes the CRC-16 and the zlib CRC-32 of every byte on the way."
    echo
    echo "| Command | Wall s | MB/s (wall) | CPU s | MB/s (CPU) |"
    echo "|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
    echo
    echo "Targets:"
    echo
    verdict "ours at least twice as fast as bsdtar, wall: ${WALL[sheaf]} s vs ${WALL[bsdtar]} s ($(printf %.2f "$(echo "${WALL[bsdtar]} / ${WALL[sheaf]}" | bc -l)")x)" \
        "2 * ${WALL[sheaf]} <= ${WALL[bsdtar]}"
    verdict "ours at least twice as fast as bsdtar, CPU: ${CPU[sheaf]} s vs ${CPU[bsdtar]} s ($(printf %.2f "$(echo "${CPU[bsdtar]} / ${CPU[sheaf]}" | bc -l)")x)" \
        "2 * ${CPU[sheaf]} <= ${CPU[bsdtar]}"
    echo "<!-- lzh-decode:end -->"
} >"$section"
if [ -f "$RESULTS" ] && grep -q '<!-- lzh-decode:begin -->' "$RESULTS"; then
    awk -v f="$section" '
        /<!-- lzh-decode:begin -->/ { while ((getline l < f) > 0) print l; skip = 1; next }
        /<!-- lzh-decode:end -->/ { skip = 0; next }
        !skip { print }' "$RESULTS" >"$RESULTS.new" && mv "$RESULTS.new" "$RESULTS"
else
    { [ -f "$RESULTS" ] && cat "$RESULTS" && echo; cat "$section"; } >"$RESULTS.new" && mv "$RESULTS.new" "$RESULTS"
fi
rm -f "$section"
sed -n '/<!-- lzh-decode:begin -->/,/<!-- lzh-decode:end -->/p' "$RESULTS"
