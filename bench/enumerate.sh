#!/usr/bin/env bash
# Enumeration benchmark: 100,000 files in 1,000 folders (a tenth matching "*.doc?"), walked by
# the batch engine and by find. The last line is "enumerate ratio R", R = engine time / find
# time (best of several warm runs each, process start included for both).
# Usage: bench/enumerate.sh [BUILD_DIR]   (default: build/)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
RUNS=${RUNS:-5}

cmake --build "$BUILD" --target bench_enumerate -j2 >/dev/null
BENCH="$BUILD/bench_enumerate"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qx-enum-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# 10 top folders of 100 folders each; every folder holds 100 files, 10 of them documents.
for top in $(seq 0 9); do
  for sub in $(seq 0 99); do
    d="$WORK/src/t$top/s$sub"
    mkdir -p "$d"
    names=()
    for f in $(seq 0 99); do
      case $((f % 10)) in
        0) if ((f % 20 == 0)); then names+=("$d/doc$f.doc"); else names+=("$d/doc$f.docx"); fi ;;
        1|2|3) names+=("$d/note$f.txt") ;;
        4|5) names+=("$d/sheet$f.xls") ;;
        6) names+=("$d/doc$f.doc.bak") ;;
        *) names+=("$d/pic$f.png") ;;
      esac
    done
    touch "${names[@]}"
  done
done
SRC="$WORK/src"

now_ns() { date +%s%N; }
best_engine=""
best_find=""
engine_count=0
# One untimed run each first, so both start from a warm directory cache.
"$BENCH" "$SRC" >/dev/null
find "$SRC" -iname '*.doc?' >/dev/null
for _ in $(seq 1 "$RUNS"); do
  t0=$(now_ns); out=$("$BENCH" "$SRC"); t1=$(now_ns)
  engine_count=${out%% *}
  e=$((t1 - t0))
  [[ -z $best_engine || $e -lt $best_engine ]] && best_engine=$e
  t0=$(now_ns); find "$SRC" -iname '*.doc?' >/dev/null; t1=$(now_ns)
  f=$((t1 - t0))
  [[ -z $best_find || $f -lt $best_find ]] && best_find=$f
done

# find's "?" is exactly one character, the engine's one or none: count with the equivalent test.
find_count=$(find "$SRC" \( -iname '*.doc' -o -iname '*.doc?' \) -type f | wc -l)
echo "files: $(find "$SRC" -type f | wc -l) in $(find "$SRC" -mindepth 2 -type d | wc -l) folders"
echo "engine: $engine_count entries, best $(awk -v n="$best_engine" 'BEGIN{printf "%.3f", n/1e9}') s"
echo "find:   $find_count entries, best $(awk -v n="$best_find" 'BEGIN{printf "%.3f", n/1e9}') s"
if [[ $engine_count -ne $find_count ]]; then
  echo "entry counts differ" >&2
  exit 1
fi
echo "enumerate ratio $(awk -v e="$best_engine" -v f="$best_find" 'BEGIN{printf "%.2f", e/f}')"
