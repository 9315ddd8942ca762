#!/usr/bin/env bash
# Scale-out benchmark: the shared corpus converted by one local run with ThreadsCount=2 and by
# scripts/slurm-convert on a private single-node Slurm cluster (2 shards x 1 CPU and 4 shards x
# 1 CPU), back to back in each round, ROUNDS rounds. Prints each run's wall time, the medians and
# the ratio of each Slurm run to the local run, and checks that every run wrote the same texts.
# Usage (as root): bench/scaleout.sh [BUILD_DIR] [CORPUS_DIR]. Environment: ROUNDS (default 3),
# COPIES (default 1: the corpus once, flat; more: that many copies, each in a sub-folder of its own,
# so that a document's copies fall in different shards, as distinct documents of an archive would).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
CORPUS=${2:-$ROOT/../shared/corpus/word}
ROUNDS=${ROUNDS:-3}
COPIES=${COPIES:-1}
[ -x "$BUILD/quillex" ] || { echo "build first: $BUILD/quillex is missing" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "the private cluster needs root" >&2; exit 2; }
source "$ROOT/tests/cluster/private-cluster.sh"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qx-scaleout-XXXXXX")
trap 'cluster_stop "$WORK/cluster"; rm -rf "$WORK"' EXIT
mkdir -p "$WORK/in" "$WORK/bin"
if [ "$COPIES" -eq 1 ]; then
  cp "$CORPUS"/* "$WORK/in/"
  subdir=False
else
  for c in $(seq 1 "$COPIES"); do mkdir "$WORK/in/copy-$c" && cp "$CORPUS"/* "$WORK/in/copy-$c/"; done
  subdir=True
fi
cp "$BUILD/quillex" "$WORK/bin/quillex"
cluster_start "$WORK/cluster"
export SLURM_CONF=$WORK/cluster/slurm.conf QUILLEX_PROGRAM=$WORK/bin/quillex

now() { date +%s.%N; }
declare -A times
run() { # NAME COMMAND...: runs into a fresh $WORK/out-NAME, records the wall time
  local name=$1 start end
  shift
  rm -rf "$WORK/out-$name"
  start=$(now)
  "$@" >"$WORK/$name.txt" 2>&1 || true
  end=$(now)
  times[$name]+="$(echo "$end - $start" | bc) "
  printf '%-10s %7.2f s' "$name" "$(echo "$end - $start" | bc)"
  # For Slurm runs: the time before the first task started and after the last one ended.
  cat "$WORK/$name".shard-*.out 2>/dev/null | awk -v s="$start" -v e="$end" '
    /^quillex started / { if (!first || $3 < first) first = $3 }
    /^quillex ended / { if ($3 > last) last = $3 }
    END { if (first) printf "   (first task after %.2f s, return %.2f s after the last)", first - s, e - last }'  || true
  echo
}
for r in $(seq 1 "$ROUNDS"); do
  echo "round $r"
  run local "$WORK/bin/quillex" "-P:Source=$WORK/in/*.doc?;Target=$WORK/out-local;Subdir=$subdir;PureConsole=True;ThreadsCount=2;LogFile=$WORK/local.log"
  # Each Slurm run meets an idle cluster, as a job of its own would: right after a job, the node
  # takes a few seconds to be offered again.
  sleep 5
  run slurm2x1 "$ROOT/scripts/slurm-convert" --shards 2 --workers 1 --set Subdir=$subdir --log "$WORK/slurm2x1.log" "$WORK/in" "$WORK/out-slurm2x1"
  sleep 5
  run slurm4x1 "$ROOT/scripts/slurm-convert" --shards 4 --workers 1 --set Subdir=$subdir --log "$WORK/slurm4x1.log" "$WORK/in" "$WORK/out-slurm4x1"
  for name in slurm2x1 slurm4x1; do
    diff -rq -x 'run.*' "$WORK/out-local" "$WORK/out-$name" >"$WORK/diff.txt" && echo "$name: texts identical to local" ||
      { echo "$name: TEXTS DIFFER from local:"; cat "$WORK/diff.txt"; }
  done
done
cat "$WORK/slurm4x1.txt"
median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
local_median=$(median <<<"${times[local]}")
for name in local slurm2x1 slurm4x1; do
  m=$(median <<<"${times[$name]}")
  printf 'median %-10s %7.2f s   ratio to local %.3f\n' "$name" "$m" "$(echo "$m / $local_median" | bc -l)"
done
