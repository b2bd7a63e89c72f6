#!/bin/bash
# One big LZH member on several threads, side by side with one thread: the
# 200 MiB corpus file through `sheaf-arc -j 2` and `-j 1` at the default level
# (-lh5-) and at `-l9 -lh7-`, wall time best of $RUNS with the load (uptime)
# at each best; the archives of -j 1 and -j 2 must be identical and pass
# `7zz t`. Next to it `pigz -6` against `gzip -6` on the same file. The
# bytes of the chunked encoder against the encoder before chunks (lzh_bench
# -w 1, one stream per member), the peak memory of each run, and the scaling
# estimate for 4 and 8 cores from the CPU time of every chunk (lzh_bench -t).
# Writes the "Parallel LZH" section of bench/RESULTS.md.
#
#   bench/parallel/run.sh [BUILD_DIR]      (default: build)
#
# L9_MIB=N runs the -l9 cases on the first N MiB of the file instead (its
# single-thread run takes minutes).
set -euo pipefail
export LC_ALL=C.UTF-8
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=${1:-$ROOT/build}
CORPUS=$ROOT/bench/corpus
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make-corpus.sh}
RUNS=${RUNS:-3}
L9_MIB=${L9_MIB:-}
OUT=$ROOT/bench/out/parallel
RESULTS=$ROOT/bench/RESULTS.md

for tool in gzip pigz 7zz bc /usr/bin/time; do
    command -v $tool >/dev/null || { echo "missing $tool (scripts/setup installs it)" >&2; exit 1; }
done
cmake --build "$BUILD" --target lzh_bench sheaf-arc >/dev/null
BENCH=$BUILD/bench/lzh_bench
ARC=$BUILD/src/cli/sheaf-arc
[ -f "$CORPUS/large/large.bin" ] || "$MAKE_CORPUS" "$CORPUS"
rm -rf "$OUT" && mkdir -p "$OUT"
TMP=/dev/shm/sheaf-bench-parallel.$$
[ -d /dev/shm ] && [ -w /dev/shm ] || TMP=$OUT/tmp
mkdir -p "$TMP/src"
trap 'rm -rf "$TMP"' EXIT

# timed RUNS OUTPUT CMD...: runs CMD (which writes OUTPUT) RUNS times; prints
# the best wall seconds, its CPU seconds (user + system), its peak resident
# KiB and the 1-minute load average when it started.
timed() {
    local runs=$1 output=$2 best= line load t
    shift 2
    for _ in $(seq "$runs"); do
        rm -f "$output"
        load=$(cut -d' ' -f1 /proc/loadavg)
        /usr/bin/time -f '%e %U %S %M' -o "$OUT/time.txt" "$@" >/dev/null
        t=$(awk '{print $1}' "$OUT/time.txt")
        if [ -z "$best" ] || [ "$(echo "$t < ${best%% *}" | bc -l)" = 1 ]; then
            best=$t
            line="$(awk '{print $1, $2 + $3, $4}' "$OUT/time.txt") $load"
        fi
    done
    echo "$line"
}

rows=()
targets=()
verdict() { # TEXT CONDITION
    if [ "$(echo "$2" | bc -l)" = 1 ]; then targets+=("- $1: met"); else targets+=("- $1: **not met**"); fi
}
fmt() { printf "%.${2:-2}f" "$1"; }

# case NAME FILE TARGET SWITCHES...: -j 1 against -j 2 through sheaf-arc.
run_case() {
    local name=$1 file=$2 target=$3 w1 c1 m1 l1 w2 c2 m2 l2 b2 whole chunked speedup cwall ccpu
    shift 3
    local dir base
    dir=$(dirname "$file")/ base=$(basename "$file")
    read -r w1 c1 m1 l1 <<<"$(timed "$RUNS" "$TMP/j1.lzh" "$ARC" -j 1 lzh a "$@" "$TMP/j1.lzh" "$dir" "$base")"
    read -r w2 c2 m2 l2 <<<"$(timed "$RUNS" "$TMP/j2.lzh" "$ARC" -j 2 lzh a "$@" "$TMP/j2.lzh" "$dir" "$base")"
    cmp -s "$TMP/j1.lzh" "$TMP/j2.lzh" || { echo "$name: -j 1 and -j 2 archives differ" >&2; exit 1; }
    7zz t "$TMP/j2.lzh" >/dev/null || { echo "$name: 7zz rejects the archive" >&2; exit 1; }
    b2=$(stat -c %s "$TMP/j2.lzh")
    # The encoder before chunks, and the CPU time of each chunk.
    local method=5 level=0
    case " $* " in *" -lh7 "*) method=7 ;; esac
    case " $* " in *" -l9 "*) level=9 ;; esac
    read -r cwall ccpu _ _ <<<"$(timed 1 "$TMP/whole.lzh" "$BENCH" -m $method -l $level -w 1 "$TMP/whole.lzh" "$file")"
    whole=$(stat -c %s "$TMP/whole.lzh")
    "$BENCH" -m $method -l $level -j 1 -t "$OUT/$name.chunks" "$TMP/chunks.lzh" "$file"
    # Same headers as the one stream's archive (sheaf-arc's carry times).
    chunked=$(stat -c %s "$TMP/chunks.lzh")
    speedup=$(echo "$w1 / $w2" | bc -l)
    rows+=("| $name | -j 1 | $b2 | $(fmt "$w1") | $(fmt "$c1") | $((m1 / 1024)) | $l1 |")
    rows+=("| $name | -j 2 | $b2 | $(fmt "$w2") | $(fmt "$c2") | $((m2 / 1024)) | $l2 |")
    rows+=("| $name | lzh_bench -j 1 | $chunked | | | | |")
    rows+=("| $name | lzh_bench, one stream (before chunks) | $whole | $(fmt "$cwall") | $(fmt "$ccpu") | | |")
    verdict "$name: -j 2 $(fmt "$speedup")x the -j 1 wall time >= ${target}x" "$speedup >= $target"
    verdict "$name: chunked bytes $chunked within 0.3 % of one stream's $whole ($(fmt "$(echo "100 * ($chunked - $whole) / $whole" | bc -l)" 3) %)" \
        "$chunked <= 1.003 * $whole"
    verdict "$name: memory per thread (peak less the $((BASE_KIB / 1024)) MiB of a run on a tiny file) $(((m1 - BASE_KIB) / 1024)) MiB at -j 1, $(((m2 - BASE_KIB) / 2048)) MiB at -j 2 <= 16 MiB" \
        "$m1 - $BASE_KIB <= 16384 && $m2 - $BASE_KIB <= 2 * 16384"
    scaling "$name" "$OUT/$name.chunks" "$c1"
    SPEEDUP[$name]=$speedup
}

# The wall time N threads would take, from the chunks' CPU seconds: chunk i
# starts when chunk i-N has been joined (at most N in flight), chunks are
# joined in order; the rest of the single-thread CPU time (reading, CRC,
# joining: serial) is added once. At least the total CPU time over N cores.
scaling_rows=()
scaling() { # NAME TIMES CPU_J1
    local line
    line=$(awk -v cpu="$3" -v name="$1" '
        { t[NR] = $1; sum += $1 }
        END {
            serial = cpu - sum; if (serial < 0) serial = 0
            printf "| %s | %d | %.2f | %.2f |", name, NR, sum, serial
            for (n = 1; n <= 8; n *= 2) {
                delete join
                for (i = 1; i <= NR; i++) {
                    start = (i > n) ? join[i - n] : 0
                    fin = start + t[i]
                    join[i] = (i > 1 && join[i - 1] > fin) ? join[i - 1] : fin
                }
                wall = join[NR] + serial
                if (wall < (sum + serial) / n) wall = (sum + serial) / n
                if (n == 1) one = wall
                printf " %.2f (%.2fx) |", wall, one / wall
            }
            print ""
        }' "$2")
    scaling_rows+=("$line")
}

# What two cores give this run at all: the CPU time two busy loops get in 3 s
# against one (2.0 on an idle machine; a shared one may give each session a
# fixed share, whatever its thread count).
busy() { # N: CPU seconds N busy loops got in 3 s
    /usr/bin/time -f '%U %S' -o "$OUT/busy.txt" bash -c \
        "for i in \$(seq $1); do timeout 3 bash -c 'while :; do :; done' & done; wait"
    awk '{print $1 + $2}' "$OUT/busy.txt"
}
BUSY1=$(busy 1)
BUSY2=$(busy 2)
BUSY_RATIO=$(echo "$BUSY2 / $BUSY1" | bc -l)

declare -A SPEEDUP
FILE=$CORPUS/large/large.bin
# The resident memory of sheaf-arc itself (libraries, tables), without chunks.
echo tiny > "$TMP/src/tiny.txt"
read -r _ _ BASE_KIB _ <<<"$(timed 1 "$TMP/tiny.lzh" "$ARC" -j 2 lzh a "$TMP/tiny.lzh" "$TMP/src/" tiny.txt)"
run_case "default -lh5-" "$FILE" 1.7
L9_FILE=$FILE
if [ -n "$L9_MIB" ]; then
    L9_FILE=$TMP/src/large-${L9_MIB}MiB.bin
    head -c $((L9_MIB * 1024 * 1024)) "$FILE" > "$L9_FILE"
fi
run_case "-l9 -lh7-" "$L9_FILE" 1.8 -l9 -lh7

# pigz -6 against gzip -6 on the same file.
read -r gw gc gm gl <<<"$(timed "$RUNS" "$TMP/f.gz" bash -c 'gzip -6 -c "$1" > "$2"' - "$FILE" "$TMP/f.gz")"
gb=$(stat -c %s "$TMP/f.gz")
read -r pw pc pm pl <<<"$(timed "$RUNS" "$TMP/f.gz" bash -c 'pigz -6 -p 2 -c "$1" > "$2"' - "$FILE" "$TMP/f.gz")"
pb=$(stat -c %s "$TMP/f.gz")
# The same program on one thread, to tell its scaling from its lead over gzip.
read -r p1w p1c p1m p1l <<<"$(timed "$RUNS" "$TMP/f.gz" bash -c 'pigz -6 -p 1 -c "$1" > "$2"' - "$FILE" "$TMP/f.gz")"
rows+=("| gzip -6 | 1 | $gb | $(fmt "$gw") | $(fmt "$gc") | $((gm / 1024)) | $gl |")
rows+=("| pigz -6 -p 1 | 1 | $pb | $(fmt "$p1w") | $(fmt "$p1c") | $((p1m / 1024)) | $p1l |")
rows+=("| pigz -6 | 2 | $pb | $(fmt "$pw") | $(fmt "$pc") | $((pm / 1024)) | $pl |")
pigz_speedup=$(echo "$gw / $pw" | bc -l)
pigz_scaling=$(echo "$p1w / $pw" | bc -l)
verdict "default -lh5- speed-up $(fmt "${SPEEDUP["default -lh5-"]}")x >= pigz -6 over gzip -6 $(fmt "$pigz_speedup")x" \
    "${SPEEDUP["default -lh5-"]} >= $pigz_speedup"

section=$(mktemp)
{
    echo "<!-- parallel:begin -->"
    echo "## Parallel LZH: one big member on two threads"
    echo
    echo "\`bench/parallel/run.sh\`${L9_MIB:+ with \`L9_MIB=$L9_MIB\`}, $(date -u +%Y-%m-%d), $(nproc) cores shared with"
    echo "other work: best of $RUNS by wall time; Load is the 1-minute load average when that"
    echo "run started. \`sheaf-arc -j N lzh a ... large.bin\` into tmpfs; the -j 1 and -j 2"
    echo "archives are identical. \"One stream\" is the encoder without chunks (\`lzh_bench -w 1\`,"
    echo "once). The -l9 cases use ${L9_MIB:+the first $L9_MIB MiB of }the 200 MiB file."
    echo
    echo "Two cores available to this run: two busy loops got $(fmt "$BUSY_RATIO")x the CPU time of one"
    echo "($(fmt "$BUSY2") s against $(fmt "$BUSY1") s in 3 s; 2.00x on an idle machine)."
    echo
    echo "| Case | Threads | Bytes | Wall s | CPU s | Peak MiB | Load |"
    echo "|---|---|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
    echo
    echo "Scaling estimate from the CPU time of each chunk (\`lzh_bench -j 1 -t\`): chunk i"
    echo "starts once chunk i-N is joined, chunks are joined in order, the serial rest"
    echo "(reading, CRC, joining) is added; never below the total CPU time over N cores."
    echo
    echo "| Case | Chunks | Chunk CPU s | Serial s | 1 core | 2 cores | 4 cores | 8 cores |"
    echo "|---|---|---|---|---|---|---|---|"
    printf '%s\n' "${scaling_rows[@]}"
    echo
    echo "pigz on two threads against itself on one: $(fmt "$pigz_scaling")x (its lead over gzip -6"
    echo "includes a faster deflate on one core). The batch's scaling is in \"Parallel batch\"."
    echo
    echo "Targets:"
    echo
    printf '%s\n' "${targets[@]}"
    echo "<!-- parallel:end -->"
} > "$section"
if [ -f "$RESULTS" ] && grep -q '<!-- parallel:begin -->' "$RESULTS"; then
    awk -v f="$section" '
        /<!-- parallel:begin -->/ { while ((getline l < f) > 0) print l; skip = 1; next }
        /<!-- parallel:end -->/ { skip = 0; next }
        !skip { print }' "$RESULTS" > "$RESULTS.new" && mv "$RESULTS.new" "$RESULTS"
else
    { [ -f "$RESULTS" ] && cat "$RESULTS" && echo; cat "$section"; } > "$RESULTS.new" && mv "$RESULTS.new" "$RESULTS"
fi
rm -f "$section"
sed -n '/<!-- parallel:begin -->/,/<!-- parallel:end -->/p' "$RESULTS"
