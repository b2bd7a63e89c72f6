#!/bin/bash
# ZIP against `zip -6` and CAB against `gcab -c -z` on the benchmark corpus:
# bytes written and throughput (MB of input per second, best of $RUNS runs).
# Writes the table into the "ZIP and CAB" section of bench/RESULTS.md.
#
#   bench/zipcab/run.sh [BUILD_DIR]     (default: build; needs src/cli/sheaf-arc)
set -euo pipefail
export LC_ALL=C.UTF-8
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=${1:-$ROOT/build}
ARC=$BUILD/src/cli/sheaf-arc
CORPUS=$ROOT/bench/corpus
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make-corpus.sh}
RUNS=${RUNS:-3}
OUT=$ROOT/bench/out/zipcab
RESULTS=$ROOT/bench/RESULTS.md

[ -x "$ARC" ] || { echo "missing $ARC: build the sheaf-arc target first" >&2; exit 1; }
for tool in zip gcab unzip cabextract bc /usr/bin/time; do
    command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
[ -d "$CORPUS/mixed" ] || "$MAKE_CORPUS" "$CORPUS"
rm -rf "$OUT" && mkdir -p "$OUT"

# best_time OUTPUT CMD...: runs CMD (which writes OUTPUT) $RUNS times and
# prints "WALL CPU PEAK" (seconds, seconds, KiB) of the run with the least wall time. The machine
# is shared: CPU seconds (user + system) are the steadier figure.
best_time() {
    local output=$1 best= cpu= peak= times
    shift
    times=$(mktemp)
    for _ in $(seq "$RUNS"); do
        rm -f "$output"
        /usr/bin/time -f "%e %U %S %M" -o "$times" "$@" >/dev/null
        read -r wall user sys rss <"$times"
        if [ -z "$best" ] || [ "$(echo "$wall < $best" | bc -l)" = 1 ]; then
            best=$wall
            cpu=$(echo "$user + $sys" | bc -l)
            peak=$rss
        fi
    done
    rm -f "$times"
    echo "$best $cpu $peak"
}

rows=()
summary=()
declare -A figure # "SET TOOL" -> "BYTES CPU"
row() { # SET TOOL BYTES_IN OUTPUT "WALL CPU PEAK"
    local size wall cpu peak
    size=$(stat -c %s "$4")
    read -r wall cpu peak <<<"$5"
    figure["$1 $2"]="$size $cpu"
    rows+=("$(printf '| %s | %s | %d | %.2f | %.1f | %.2f | %.1f | %.1f |' "$1" "$2" "$size" \
        "$wall" "$(echo "$3 / 1000000 / $wall" | bc -l)" \
        "$cpu" "$(echo "$3 / 1000000 / $cpu" | bc -l)" "$(echo "$peak / 1024" | bc -l)")")
}

for set in mixed small large; do
    dir=$CORPUS/$set
    bytes=$(find "$dir" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
    mapfile -t files < <(cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)

    t=$(cd "$dir" && best_time "$OUT/$set-zip6.zip" zip -6 -q -r "$OUT/$set-zip6.zip" .)
    row "$set" "zip -6" "$bytes" "$OUT/$set-zip6.zip" "$t"
    t=$(best_time "$OUT/$set-sheaf.zip" "$ARC" zip -r -S "$OUT/$set-sheaf.zip" "$dir/" '*.*')
    row "$set" "sheaf-arc zip -r -S" "$bytes" "$OUT/$set-sheaf.zip" "$t"
    unzip -tq "$OUT/$set-sheaf.zip" >/dev/null

    t=$(cd "$dir" && best_time "$OUT/$set-gcab.cab" gcab -c -z "$OUT/$set-gcab.cab" "${files[@]}")
    row "$set" "gcab -c -z" "$bytes" "$OUT/$set-gcab.cab" "$t"
    t=$(best_time "$OUT/$set-sheaf.cab" "$ARC" cab -a -r "$OUT/$set-sheaf.cab" "$dir/" '*.*')
    row "$set" "sheaf-arc cab -a -r" "$bytes" "$OUT/$set-sheaf.cab" "$t"
    cabextract -tq "$OUT/$set-sheaf.cab" >/dev/null

    read -r zb zc <<<"${figure["$set zip -6"]}"
    read -r sb sc <<<"${figure["$set sheaf-arc zip -r -S"]}"
    read -r gb gc <<<"${figure["$set gcab -c -z"]}"
    read -r cb cc <<<"${figure["$set sheaf-arc cab -a -r"]}"
    summary+=("$(printf -- '- %s: ZIP bytes %+.2f %% against zip -6, CPU time x%.2f; CAB bytes %+.2f %% against gcab, CPU time x%.2f' \
        "$set" "$(echo "($sb - $zb) * 100 / $zb" | bc -l)" "$(echo "$sc / $zc" | bc -l)" \
        "$(echo "($cb - $gb) * 100 / $gb" | bc -l)" "$(echo "$cc / $gc" | bc -l)")")
done

section=$(mktemp)
{
    echo "<!-- zipcab:begin -->"
    echo "## ZIP and CAB"
    echo
    echo "\`bench/zipcab/run.sh\`, $(date -u +%Y-%m-%d), $(nproc) cores, best of $RUNS runs;"
    echo "MB/s is input megabytes (10^6 bytes) per second; CPU is user + system time,"
    echo "steadier than wall time on this shared machine (load $(cut -d' ' -f1 /proc/loadavg) at the end);"
    echo "Peak MiB is the maximum resident set of the run."
    echo
    echo "| Corpus | Tool | Bytes | Wall s | MB/s (wall) | CPU s | MB/s (CPU) | Peak MiB |"
    echo "|---|---|---|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
    echo
    echo "Ours against the reference tools (targets: ZIP within 1 % of zip -6's bytes and"
    echo "not slower; CAB not slower than gcab):"
    echo
    printf '%s\n' "${summary[@]}"
    echo "<!-- zipcab:end -->"
} >"$section"
cat "$section"

# Replace our section (between its markers), or append it.
touch "$RESULTS"
python3 - "$RESULTS" "$section" <<'PY'
import re, sys
results, section = sys.argv[1], open(sys.argv[2]).read()
text = open(results).read()
pattern = re.compile(r"<!-- zipcab:begin -->.*?<!-- zipcab:end -->\n?", re.S)
if pattern.search(text):
    text = pattern.sub(lambda m: section, text, count=1)
else:
    text = (text.rstrip("\n") + "\n\n" if text.strip() else "") + section
open(results, "w").write(text)
PY
rm -f "$section"
