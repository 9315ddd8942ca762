#!/usr/bin/env bash
# Rerun benchmark: what a second run costs when nothing changed. The shared corpus is copied
# COPIES times (default 4) into sub-folders of one tree and converted once (-r -j 2, IsOverwrite
# Newer). Then, ROUNDS rounds (default 5), alternating: our rerun with --overwrite newer and with
# --overwrite skip, against `find` listing the same tree (plain, and with -newer as a script
# that looks for changed documents would). The documents that failed in the full run are
# retried by every rerun (they have no text); the first table leaves them out of the tree so
# that the rerun has nothing at all to do, the last line gives the rerun with them.
# quillex-version is the program's own start and end, which no rerun can go below. Prints
# medians and "rerun ratio R" = our Newer rerun / plain find.
# Usage: bench/rerun.sh [BUILD_DIR] [CORPUS_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
CORPUS=${2:-$ROOT/../shared/corpus/word}
ROUNDS=${ROUNDS:-5}
COPIES=${COPIES:-4}
PROGRAM="$BUILD/quillex"
[ -x "$PROGRAM" ] || { echo "build first: $PROGRAM is missing" >&2; exit 2; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qx-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/bin" "$WORK/in" && cp "$PROGRAM" "$WORK/bin/quillex"
for c in $(seq 1 "$COPIES"); do
  mkdir -p "$WORK/in/c$c" && cp "$CORPUS"/* "$WORK/in/c$c/"
done
ALL=$(find "$WORK/in" -type f | wc -l)
ours() {  # overwrite-policy log
  timeout 1800 "$WORK/bin/quillex" --headless -q -r -j 2 --overwrite "$1" --log "$2" -o "$WORK/out" "$WORK/in" || true
}
now() { date +%s%N; }

t0=$(now)
ours newer "$WORK/full.log"
full=$(( ($(now) - t0) / 1000000 ))
failed=$(grep -c '^Failure' "$WORK/full.log" || true)
echo "full run: $ALL documents in ${full} ms, $failed failed" >&2
touch "$WORK/stamp"

# The rerun with the failures still in the tree: they are converted again.
t0=$(now)
ours newer "$WORK/retry.log"
retry=$(( ($(now) - t0) / 1000000 ))
retried=$(grep -vc $' => \r$' "$WORK/retry.log" || true)

grep '^Failure' "$WORK/full.log" | sed 's/^Failure => \(.*\) => .*/\1/' | while IFS= read -r f; do rm -f "$f"; done
N=$(find "$WORK/in" -type f | wc -l)

declare -A TIMES
kinds=(find find-newer quillex-version quillex-newer quillex-skip)
for round in $(seq 1 "$ROUNDS"); do
  for kind in "${kinds[@]}"; do
    t0=$(now)
    case $kind in
      find) find "$WORK/in" -type f > "$WORK/list" ;;
      find-newer) find "$WORK/in" -type f -newer "$WORK/stamp" > "$WORK/list" ;;
      quillex-version) "$WORK/bin/quillex" --version > /dev/null ;;
      quillex-newer) ours newer "$WORK/rerun.log" ;;
      quillex-skip) ours skip "$WORK/rerun.log" ;;
    esac
    ms=$(awk -v d=$(( $(now) - t0 )) 'BEGIN {printf "%.1f", d / 1e6}')
    if [[ $kind == quillex-newer || $kind == quillex-skip ]]; then
      written=$(grep -vc $' => \r$' "$WORK/rerun.log" || true)
      skipped=$(grep -c $'^Success => .* => \r$' "$WORK/rerun.log" || true)
      [ "$written" = 0 ] && [ "$skipped" = "$N" ] || echo "round $round $kind: $written written, $skipped skipped of $N" >&2
    fi
    TIMES[$kind]+="$ms "
    echo "round $round  $kind  ${ms} ms" >&2
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
printf '\nno-change rerun over %s documents (%s copies of the corpus, %s failed ones left out)\n' "$N" "$COPIES" "$failed"
printf '%-16s %10s\n' "command" "wall ms"
for kind in "${kinds[@]}"; do printf '%-16s %10.1f\n' "$kind" "$(echo "${TIMES[$kind]}" | median)"; done
f=$(echo "${TIMES[find]}" | median)
q=$(echo "${TIMES[quillex-newer]}" | median)
printf '\nfull run %s ms; rerun with the %s failed documents retried: %s ms (%s converted)\n' "$full" "$failed" "$retry" "$retried"
printf 'rerun ratio %.1f\n' "$(awk -v a="$q" -v b="$f" 'BEGIN {print a / b}')"
