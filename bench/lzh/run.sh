#!/bin/bash
# Our LZH encoder (bench/lzh_bench.cpp calling writeLzhArchive, one thread)
# against its targets, each row with its reference measured in this run:
#
#   -l9 -lh7-, first 24 MiB of the large file   CPU time against libdeflate-gzip -12,
#                                               bytes against gzip -9
#   -l9 -lh7-, mixed corpus                     bytes against gzip -9 (per file)
#   -l9 -lh5-, -l9 -lh6-, large file            bytes and CPU time against the encoder
#                                               of $BASELINE (built here)
#   default -lh5-, large file, read back        sheaf-arc -j 1 lzh a (which writes and
#                                               reads back) against gzip -6; bytes
#                                               against jlha's -lh5- (also on mixed)
#   memory at -l9                               peak resident set, -j 1 and -j 2
#
# then the speed and bytes of every level, 1 to 9 at -lh5- and -lh7-, beside
# gzip -1..-9 and libdeflate-gzip -1..-12, on the same 24 MiB. Every archive
# of ours is checked with `7zz t`. Writes the "LZH" section of
# bench/RESULTS.md and prints it.
#
#   bench/lzh/run.sh [BUILD_DIR]        (default: build)
#
# RUNS=5: best of (CPU and wall time apart); BASE_RUNS=1 for the old
# encoder, which is slow; BASELINE=<commit> (default: the commit before the
# binary-tree parse). Speed is CPU time (user + system); run it on an
# otherwise idle machine (`uptime` is recorded). About 25 minutes on 2 cores,
# a third of it the old encoder and the corpus the first time.
set -euo pipefail
export LC_ALL=C.UTF-8
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
CORPUS=$ROOT/bench/corpus
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make-corpus.sh}
RUNS=${RUNS:-5}
BASE_RUNS=${BASE_RUNS:-1}
BASELINE=${BASELINE:-ebdeca0291ee513764cd93efa091ae9747a2a486}
OUT=$ROOT/bench/out/lzh
RESULTS=$ROOT/bench/RESULTS.md

for tool in lha gzip libdeflate-gzip 7zz bc git cmake /usr/bin/time; do
    command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
cmake --build "$BUILD" --target lzh_bench sheaf-arc >/dev/null
BENCH=$BUILD/bench/lzh_bench
ARC=$BUILD/src/cli/sheaf-arc
[ -d "$CORPUS/mixed" ] && [ -f "$CORPUS/large/large.bin" ] || "$MAKE_CORPUS" "$CORPUS"
mkdir -p "$OUT"
rm -f "$OUT"/*.lzh "$OUT"/*.gz
LARGE=$CORPUS/large/large.bin
SLICE=$OUT/large-24mib.bin
head -c $((24 << 20)) "$LARGE" > "$SLICE"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

# The old encoder, built once from its commit.
BASE_SRC=$OUT/baseline-$BASELINE
CCACHE=$(command -v ccache || true)
if [ ! -x "$BASE_SRC/build/bench/lzh_bench" ]; then
    rm -rf "$BASE_SRC" && mkdir -p "$BASE_SRC"
    git -C "$ROOT" archive "$BASELINE" | tar -x -C "$BASE_SRC"
    cmake -S "$BASE_SRC" -B "$BASE_SRC/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        ${CCACHE:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CCACHE} >/dev/null
    cmake --build "$BASE_SRC/build" --target lzh_bench >/dev/null
fi
BASE_BENCH=$BASE_SRC/build/bench/lzh_bench

# timed RUNS OUTPUT CMD...: runs CMD (which writes OUTPUT) RUNS times; prints
# the best wall seconds, the best CPU seconds (user + system) and the peak
# resident set in KiB of the last run.
timed() {
    local runs=$1 output=$2 wall= cpu= t c
    shift 2
    for _ in $(seq "$runs"); do
        rm -rf "$output"
        /usr/bin/time -f '%e %U %S %M' -o "$OUT/time.txt" "$@" >/dev/null 2>&1 \
            || { echo "failed: $*" >&2; exit 1; }
        t=$(awk '{print $1}' "$OUT/time.txt")
        c=$(awk '{print $2 + $3}' "$OUT/time.txt")
        if [ -z "$wall" ] || [ "$(echo "$t < $wall" | bc -l)" = 1 ]; then wall=$t; fi
        if [ -z "$cpu" ] || [ "$(echo "$c < $cpu" | bc -l)" = 1 ]; then cpu=$c; fi
    done
    echo "$wall $cpu $(awk '{print $4}' "$OUT/time.txt")"
}

checked() { # ARCHIVE: 7-Zip must read it
    7zz t "$1" >/dev/null || { echo "7zz rejects $1" >&2; exit 1; }
}

gzip_files() { # GZIP LEVEL SRC DEST: every file compressed on its own, as the members of an archive are
    find "$3" -type f -print0 | sort -z | xargs -0 "$1" "-$2" -c > "$4"
}
export -f gzip_files

declare -A BYTES CPU WALL RSS
measure() { # KEY RUNS OUTPUT CMD...: times CMD, records its bytes (OUTPUT), CPU and wall time
    local key=$1 runs=$2 output=$3 wall cpu rss
    shift 3
    read -r wall cpu rss <<<"$(timed "$runs" "$output" "$@")"
    BYTES[$key]=$(stat -c %s "$output")
    CPU[$key]=$cpu
    WALL[$key]=$wall
    RSS[$key]=$rss
}

# The mixed corpus's files stored by their names alone, as gzip stores them
# (and jlha, added folder by folder).
mixed_files=()
mapfile -t mixed_files < <(find "$CORPUS/mixed" -type f | sort)

# --- the targets ------------------------------------------------------------
measure slice-l9-7 "$RUNS" "$OUT/slice-l9-7.lzh" "$BENCH" -m 7 -l 9 -j 1 "$OUT/slice-l9-7.lzh" "$SLICE"
checked "$OUT/slice-l9-7.lzh"
measure slice-ld12 "$RUNS" "$OUT/slice.ld12.gz" bash -c 'libdeflate-gzip -12 -c "$1" > "$2"' - "$SLICE" "$OUT/slice.ld12.gz"
measure slice-gz9 "$RUNS" "$OUT/slice.gz9" bash -c 'gzip -9 -c "$1" > "$2"' - "$SLICE" "$OUT/slice.gz9"

measure mixed-l9-7 "$RUNS" "$OUT/mixed-l9-7.lzh" "$BENCH" -m 7 -l 9 -j 1 "$OUT/mixed-l9-7.lzh" "${mixed_files[@]}"
checked "$OUT/mixed-l9-7.lzh"
measure mixed-gz9 "$RUNS" "$OUT/mixed.gz9" bash -c 'gzip_files gzip 9 "$@"' - "$CORPUS/mixed" "$OUT/mixed.gz9"

for m in 5 6; do
    measure large-l9-$m "$RUNS" "$OUT/large-l9-$m.lzh" "$BENCH" -m $m -l 9 -j 1 "$OUT/large-l9-$m.lzh" "$LARGE"
    checked "$OUT/large-l9-$m.lzh"
    measure large-base-l9-$m "$BASE_RUNS" "$OUT/large-base-l9-$m.lzh" \
        "$BASE_BENCH" -m $m -l 9 -j 1 "$OUT/large-base-l9-$m.lzh" "$LARGE"
done

measure large-arc-5 "$RUNS" "$OUT/large-arc-5.lzh" "$ARC" -j 1 lzh a "$OUT/large-arc-5.lzh" "$CORPUS/large/" large.bin
checked "$OUT/large-arc-5.lzh"
measure large-gz6 "$RUNS" "$OUT/large.gz6" bash -c 'gzip -6 -c "$1" > "$2"' - "$LARGE" "$OUT/large.gz6"
measure large-jlha-5 1 "$OUT/large-jlha-5.lzh" bash -c 'cd "$1" && lha a2o5 "$2" large.bin' - "$CORPUS/large" "$OUT/large-jlha-5.lzh"
measure mixed-5 1 "$OUT/mixed-5.lzh" "$BENCH" -m 5 -j 1 "$OUT/mixed-5.lzh" "${mixed_files[@]}"
checked "$OUT/mixed-5.lzh"
measure mixed-jlha-5 1 "$OUT/mixed-jlha-5.lzh" bash -c 'for d in "$1"/*/; do (cd "$d" && lha a2o5 "$2" *) || exit 1; done' \
    - "$CORPUS/mixed" "$OUT/mixed-jlha-5.lzh"

measure large-l9-7 1 "$OUT/large-l9-7.lzh" "$BENCH" -m 7 -l 9 -j 1 "$OUT/large-l9-7.lzh" "$LARGE"
checked "$OUT/large-l9-7.lzh"
measure large-l9-7-j2 1 "$OUT/large-l9-7-j2.lzh" "$BENCH" -m 7 -l 9 -j 2 "$OUT/large-l9-7-j2.lzh" "$LARGE"
cmp -s "$OUT/large-l9-7.lzh" "$OUT/large-l9-7-j2.lzh" || { echo "-j 2 wrote other bytes than -j 1" >&2; exit 1; }

ratio() { printf '%.3f' "$(echo "$1 / $2" | bc -l)"; }
mib() { printf '%.1f' "$(echo "$1 / 1024" | bc -l)"; }
verdict() { if [ "$(echo "$1" | bc -l)" = 1 ]; then echo met; else echo "**not met**"; fi; }
targets=()
target() { # WORK | MEASURE | TARGET | CONDITION
    targets+=("| $1 | $2 | $3 | $(verdict "$4") |")
}
target "-l9 -lh7-, first 24 MiB of the large file" \
    "CPU ${CPU[slice-l9-7]} s, libdeflate-gzip -12 ${CPU[slice-ld12]} s: $(ratio "${CPU[slice-ld12]}" "${CPU[slice-l9-7]}")x its speed" \
    "at least 1x" "${CPU[slice-l9-7]} <= ${CPU[slice-ld12]}"
target "" "${BYTES[slice-l9-7]} bytes, gzip -9 ${BYTES[slice-gz9]}: $(ratio "${BYTES[slice-l9-7]}" "${BYTES[slice-gz9]}")x" \
    "at most 0.94x" "${BYTES[slice-l9-7]} <= 0.94 * ${BYTES[slice-gz9]}"
target "-l9 -lh7-, mixed corpus" "${BYTES[mixed-l9-7]} bytes, gzip -9 ${BYTES[mixed-gz9]}: $(ratio "${BYTES[mixed-l9-7]}" "${BYTES[mixed-gz9]}")x" \
    "at most 0.95x" "${BYTES[mixed-l9-7]} <= 0.95 * ${BYTES[mixed-gz9]}"
for m in 5 6; do
    target "-l9 -lh$m-, large file" "${BYTES[large-l9-$m]} bytes, before ${BYTES[large-base-l9-$m]}: $(ratio "${BYTES[large-l9-$m]}" "${BYTES[large-base-l9-$m]}")x" \
        "at most 1x" "${BYTES[large-l9-$m]} <= ${BYTES[large-base-l9-$m]}"
    target "" "CPU ${CPU[large-l9-$m]} s, before ${CPU[large-base-l9-$m]} s: $(ratio "${CPU[large-base-l9-$m]}" "${CPU[large-l9-$m]}")x the speed" \
        "at least 3x" "${CPU[large-base-l9-$m]} >= 3 * ${CPU[large-l9-$m]}"
done
target "default -lh5-, large file, with read-back" \
    "sheaf-arc CPU ${CPU[large-arc-5]} s, gzip -6 ${CPU[large-gz6]} s: $(ratio "${CPU[large-gz6]}" "${CPU[large-arc-5]}")x its speed" \
    "at least 2x" "${CPU[large-gz6]} >= 2 * ${CPU[large-arc-5]}"
target "" "${BYTES[large-arc-5]} bytes, jlha -lh5- ${BYTES[large-jlha-5]}: $(ratio "${BYTES[large-arc-5]}" "${BYTES[large-jlha-5]}")x" \
    "at most 1x" "${BYTES[large-arc-5]} <= ${BYTES[large-jlha-5]}"
target "default -lh5-, mixed corpus" "${BYTES[mixed-5]} bytes, jlha -lh5- ${BYTES[mixed-jlha-5]}: $(ratio "${BYTES[mixed-5]}" "${BYTES[mixed-jlha-5]}")x" \
    "at most 1x" "${BYTES[mixed-5]} <= ${BYTES[mixed-jlha-5]}"
target "memory at -l9 -lh7-, large file" \
    "peak $(mib "${RSS[large-l9-7]}") MiB with one thread; $(mib "$(echo "${RSS[large-l9-7-j2]} / 2" | bc -l)") MiB a thread with two" \
    "at most 32 MiB a thread" "${RSS[large-l9-7]} <= 32768 && ${RSS[large-l9-7-j2]} <= 2 * 32768"

# --- the curve --------------------------------------------------------------
slice_bytes=$(stat -c %s "$SLICE")
curve=()
curve_row() { # TOOL KEY
    curve+=("$(printf '| %s | %d | %.2f%% | %.2f | %.1f |' "$1" "${BYTES[$2]}" \
        "$(echo "100 * ${BYTES[$2]} / $slice_bytes" | bc -l)" "${CPU[$2]}" \
        "$(echo "$slice_bytes / 1000000 / ${CPU[$2]}" | bc -l)")")
}
for m in 5 7; do
    for l in 1 2 3 4 5 6 7 8 9; do
        measure "curve-$m-$l" "$RUNS" "$OUT/curve-$m-$l.lzh" "$BENCH" -m $m -l $l -j 1 "$OUT/curve-$m-$l.lzh" "$SLICE"
        checked "$OUT/curve-$m-$l.lzh"
        curve_row "sheaf -lh$m- -l$l$([ $l = 6 ] && echo ' (default)')" "curve-$m-$l"
    done
done
for l in 1 2 3 4 5 6 7 8 9; do
    measure "curve-gz-$l" "$RUNS" "$OUT/curve.gz$l" bash -c 'gzip -"$1" -c "$2" > "$3"' - $l "$SLICE" "$OUT/curve.gz$l"
    curve_row "gzip -$l" "curve-gz-$l"
done
for l in 1 2 3 4 5 6 7 8 9 10 11 12; do
    measure "curve-ld-$l" "$RUNS" "$OUT/curve.ld$l" bash -c 'libdeflate-gzip -"$1" -c "$2" > "$3"' - $l "$SLICE" "$OUT/curve.ld$l"
    curve_row "libdeflate-gzip -$l" "curve-ld-$l"
done
load_end=$(cut -d' ' -f1-3 /proc/loadavg)

section=$(mktemp)
{
    echo "<!-- lzh:begin -->"
    echo "## LZH"
    echo
    echo "\`bench/lzh/run.sh\`, $(date -u +%Y-%m-%d), $(nproc) cores, load average $load_start at the start"
    echo "and $load_end at the end. Our encoder on one thread (\`lzh_bench -j 1\`); CPU is user + system"
    echo "time, best of $RUNS runs (the encoder before this work, $BASELINE, $BASE_RUNS run; jlha once),"
    echo "MB/s input megabytes (10^6 bytes) per CPU second. gzip of a corpus compresses each file on"
    echo "its own, as the members of an archive; the archives of the mixed corpus store each file by its"
    echo "name alone, as gzip does. Every archive of ours passed \`7zz t\`."
    echo
    echo "| Work | Measured | Target | |"
    echo "|---|---|---|---|"
    printf '%s\n' "${targets[@]}"
    echo
    echo "Every level on the first 24 MiB of the large file (one thread):"
    echo
    echo "| Tool | Bytes | Ratio | CPU s | MB/s |"
    echo "|---|---|---|---|---|"
    printf '%s\n' "${curve[@]}"
    echo "<!-- lzh:end -->"
} > "$section"
if [ -f "$RESULTS" ] && grep -q '<!-- lzh:begin -->' "$RESULTS"; then
    awk -v f="$section" '
        /<!-- lzh:begin -->/ { while ((getline l < f) > 0) print l; skip = 1; next }
        /<!-- lzh:end -->/ { skip = 0; next }
        !skip { print }' "$RESULTS" > "$RESULTS.new" && mv "$RESULTS.new" "$RESULTS"
else
    { [ -f "$RESULTS" ] && cat "$RESULTS" && echo; cat "$section"; } > "$RESULTS.new" && mv "$RESULTS.new" "$RESULTS"
fi
rm -f "$section"
sed -n '/<!-- lzh:begin -->/,/<!-- lzh:end -->/p' "$RESULTS"
