#!/usr/bin/env bash
# Throughput benchmark: the shared corpus converted to Unicode text by this program (headless,
# ThreadsCount 1 and 2) and by LibreOffice's own batch conversion (one process with every file;
# two processes with half the files each), alternating, ROUNDS rounds each. Prints a table of
# medians (wall time, documents per second, peak memory, processor time of the whole process tree)
# and, last, "throughput ratio R" = single-process soffice time / our time with 2 workers.
# Usage: bench/throughput.sh [BUILD_DIR] [CORPUS_DIR]
# Environment: ROUNDS (default 3), COPIES (default 1: the corpus is used COPIES times over),
# LIMIT (use only the first LIMIT documents), EXCLUDE (a name pattern of documents to leave out:
# one an office never finishes would hold every contender for its whole time limit), WORKERS (our worker counts, default "1 2"),
# OPTIONS (quillex options such as "--utf8": each worker count then also runs with them, as
# "quillex-N-workers-opts", in the same rounds; with "--format markdown" LibreOffice's own
# Markdown export runs too, as "soffice-1-process-md").
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
CORPUS=${2:-$ROOT/../shared/corpus/word}
ROUNDS=${ROUNDS:-3}
COPIES=${COPIES:-1}
LIMIT=${LIMIT:-0}
WORKERS=${WORKERS:-1 2}
OPTIONS=${OPTIONS:-}
PROGRAM="$BUILD/quillex"
SOFFICE=/usr/lib/libreoffice/program/soffice
MEASURE="$ROOT/bench/treemem.py"
[ -x "$PROGRAM" ] || { echo "build first: $PROGRAM is missing" >&2; exit 2; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qx-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# The documents, COPIES times over, in one flat folder. Names are made unique per copy and per
# extension (x.doc and x.docx would both give x.txt), so every peer's output can be counted.
mkdir -p "$WORK/in"
for c in $(seq 1 "$COPIES"); do
  for f in "$CORPUS"/*; do
    base=$(basename "$f")
    # shellcheck disable=SC2053
    [[ -n ${EXCLUDE:-} && $base == $EXCLUDE ]] && continue
    ext=${base##*.}
    cp "$f" "$WORK/in/c$c-${base%.*}_$ext.$ext"
  done
done
if [ "$LIMIT" -gt 0 ]; then
  find "$WORK/in" -type f | sort | tail -n +$((LIMIT + 1)) | xargs -r rm -f
fi
mapfile -t FILES < <(find "$WORK/in" -type f | sort)
N=${#FILES[@]}
HALF=$((N / 2))
# Each peer gets a profile prepared before timing starts, as a user's soffice would have.
for p in p1 p2a p2b; do
  timeout 120 "$SOFFICE" --headless --norestore "-env:UserInstallation=file://$WORK/prof-$p" --terminate_after_init >/dev/null 2>&1 || true
done
# Ours runs as installed: a private copy, so its counters and project stay in the work folder.
mkdir -p "$WORK/bin" && cp "$PROGRAM" "$WORK/bin/quillex"

# Each contender is a small script, so the measuring wrapper times exactly one command tree.
printf '%s\n' "${FILES[@]:0:$HALF}" > "$WORK/half-a.txt"
printf '%s\n' "${FILES[@]:$HALF}" > "$WORK/half-b.txt"
printf '%s\n' "${FILES[@]}" > "$WORK/all.txt"
# LibreOffice's one process may end before the last document (7.4 quits quietly on one document
# of the corpus and leaves the rest): a user would run it again on the documents after the one it
# stopped at, and so does the peer here, inside its timing, so that every peer has tried them all.
cat > "$WORK/soffice.sh" <<SCRIPT
#!/usr/bin/env bash
# profile outdir listfile [filter extension]
mapfile -t files < "\$3"
filter=\${4:-txt:Text (encoded):UNICODE,CRLF}
ext=\${5:-txt}
for attempt in \$(seq 1 20); do
  [ \${#files[@]} -gt 0 ] || break
  timeout 1800 "$SOFFICE" --headless --norestore "-env:UserInstallation=file://$WORK/prof-\$1" \\
    --convert-to "\$filter" --outdir "\$2" "\${files[@]}" >/dev/null 2>&1
  last=-1
  for i in "\${!files[@]}"; do
    name=\${files[\$i]##*/}; [ -e "\$2/\${name%.*}.\$ext" ] && last=\$i
  done
  files=("\${files[@]:\$((last + 2))}")
done
SCRIPT
cat > "$WORK/soffice2.sh" <<SCRIPT
#!/usr/bin/env bash
bash "$WORK/soffice.sh" p2a "\$1" "$WORK/half-a.txt" &
bash "$WORK/soffice.sh" p2b "\$1" "$WORK/half-b.txt" &
wait
SCRIPT
cat > "$WORK/ours.sh" <<SCRIPT
#!/usr/bin/env bash
# threads outdir
timeout 1800 "$WORK/bin/quillex" "-P:Source=$WORK/in/*.doc?;Target=\$2;PureConsole=True;ThreadsCount=\$1;LogFile=\$2/run.log"
exit 0
SCRIPT
cat > "$WORK/ours-opts.sh" <<SCRIPT
#!/usr/bin/env bash
# threads outdir
timeout 1800 "$WORK/bin/quillex" --headless -j "\$1" -o "\$2" --log "\$2/run.log" $OPTIONS "$WORK/in/*.doc?"
exit 0
SCRIPT

declare -A TIMES MEMS DOCS CPUS
kinds=(soffice-1-process soffice-2-processes)
for w in $WORKERS; do kinds+=("quillex-$w-workers"); done
if [ -n "$OPTIONS" ]; then
  for w in $WORKERS; do kinds+=("quillex-$w-workers-opts"); done
fi
# Markdown's pictures cost the office's own filter as much as ours: its own Markdown export is the
# peer that tells what of the difference to text is ours.
MARKDOWN=
[[ $OPTIONS == *markdown* ]] && MARKDOWN=1 && kinds+=(soffice-1-process-md)
for round in $(seq 1 "$ROUNDS"); do
  for kind in "${kinds[@]}"; do
    out="$WORK/out-$kind-$round"
    mkdir -p "$out"
    case $kind in
      soffice-1-process) cmd=(bash "$WORK/soffice.sh" p1 "$out" "$WORK/all.txt") ;;
      soffice-2-processes) cmd=(bash "$WORK/soffice2.sh" "$out") ;;
      soffice-1-process-md) cmd=(bash "$WORK/soffice.sh" p1 "$out" "$WORK/all.txt" md md) ;;
      quillex-*-opts) w=${kind#quillex-}; cmd=(bash "$WORK/ours-opts.sh" "${w%-workers-opts}" "$out") ;;
      quillex-*) w=${kind#quillex-}; cmd=(bash "$WORK/ours.sh" "${w%-workers}" "$out") ;;
    esac
    python3 "$MEASURE" "$WORK/m" "${cmd[@]}"
    read -r secs mib _ cpu < "$WORK/m"
    if [[ $kind == quillex* ]]; then
      done=$(grep -c '^Success' "$out/run.log" || true)
    else
      done=$(find "$out" -name '*.txt' -o -name '*.md' | wc -l)
    fi
    TIMES[$kind]+="$secs "
    MEMS[$kind]+="$mib "
    CPUS[$kind]+="$cpu "
    DOCS[$kind]=$done
    echo "round $round  $kind  ${secs}s  ${mib} MiB  ${cpu}s of processor  $done documents" >&2
    rm -rf "$out"
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
printf '\n%-22s %10s %10s %12s %12s %10s\n' "peer" "wall s" "docs/s" "peak MiB" "processor s" "converted"
for kind in "${kinds[@]}"; do
  t=$(echo "${TIMES[$kind]}" | median)
  m=$(echo "${MEMS[$kind]}" | median)
  c=$(echo "${CPUS[$kind]}" | median)
  printf '%-22s %10.2f %10.1f %12.0f %12.2f %10s\n' "$kind" "$t" "$(awk -v n="$N" -v t="$t" 'BEGIN {print n / t}')" "$m" "$c" "${DOCS[$kind]} of $N"
done
t1=$(echo "${TIMES[soffice-1-process]}" | median)
echo
if [ -n "${TIMES[quillex-1-workers]:-}" ]; then
  q1=$(echo "${TIMES[quillex-1-workers]}" | median)
  printf 'quillex 1 worker / soffice 1 process: %.3f\n' "$(awk -v a="$q1" -v b="$t1" 'BEGIN {print a / b}')"
fi
q2=$(echo "${TIMES[quillex-2-workers]}" | median)
if [ -n "$OPTIONS" ]; then
  q2o=$(echo "${TIMES[quillex-2-workers-opts]}" | median)
  printf 'throughput ratio with %s %.2f\n' "$OPTIONS" "$(awk -v a="$t1" -v b="$q2o" 'BEGIN {print a / b}')"
fi
if [ -n "$MARKDOWN" ]; then
  t1m=$(echo "${TIMES[soffice-1-process-md]}" | median)
  printf 'Markdown against text: quillex %+.1f%%, LibreOffice on its own %+.1f%%\n' \
    "$(awk -v a="$q2o" -v b="$q2" 'BEGIN {print (a / b - 1) * 100}')" "$(awk -v a="$t1m" -v b="$t1" 'BEGIN {print (a / b - 1) * 100}')"
  # Runs of one round share the machine's state of the moment (its caches, its other load), so
  # the median of each round's own difference drifts less than the difference of two medians.
  paired() { paste -d' ' <(echo "$1" | tr ' ' '\n' | grep -v '^$') <(echo "$2" | tr ' ' '\n' | grep -v '^$') |
    awk '{printf "%+.1f ", ($1 / $2 - 1) * 100}'; }
  ours=$(paired "${TIMES[quillex-2-workers-opts]}" "${TIMES[quillex-2-workers]}")
  theirs=$(paired "${TIMES[soffice-1-process-md]}" "${TIMES[soffice-1-process]}")
  printf 'Markdown against text, each round: quillex %s(median %+.1f%%), LibreOffice on its own %s(median %+.1f%%)\n' \
    "$ours" "$(echo "$ours" | median)" "$theirs" "$(echo "$theirs" | median)"
  # What the work costs, whoever else shares the machine: processor time of the whole tree.
  ours=$(paired "${CPUS[quillex-2-workers-opts]}" "${CPUS[quillex-2-workers]}")
  theirs=$(paired "${CPUS[soffice-1-process-md]}" "${CPUS[soffice-1-process]}")
  printf 'Markdown against text in processor time, each round: quillex %s(median %+.1f%%), LibreOffice on its own %s(median %+.1f%%)\n' \
    "$ours" "$(echo "$ours" | median)" "$theirs" "$(echo "$theirs" | median)"
  printf 'Markdown throughput ratio (against its own Markdown) %.2f\n' "$(awk -v a="$t1m" -v b="$q2o" 'BEGIN {print a / b}')"
fi
printf 'throughput ratio %.2f\n' "$(awk -v a="$t1" -v b="$q2" 'BEGIN {print a / b}')"
