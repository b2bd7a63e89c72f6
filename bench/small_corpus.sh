# Sourced by the batch benchmarks, with ROOT set to the checkout: makes the
# corpus when it is missing, sets SRC (its small files' tree) and count (how
# many .txt files it holds), and warms the page cache so that every run
# reads the tree from memory.
CORPUS=$ROOT/bench/corpus
if [ ! -d "$CORPUS/small" ]; then
  MAKE=""
  for c in "$ROOT/../shared/bench/make-corpus.sh" /work/shared/bench/make-corpus.sh; do
    if [ -f "$c" ]; then MAKE=$c; break; fi
  done
  [ -n "$MAKE" ] || { echo "$(basename "$0"): make-corpus.sh not found" >&2; exit 1; }
  bash "$MAKE" "$CORPUS"
fi
SRC=$CORPUS/small
count=$(find "$SRC" -type f -name '*.txt' | wc -l)
find "$SRC" -type f -name '*.txt' -print0 | xargs -0 cat > /dev/null
