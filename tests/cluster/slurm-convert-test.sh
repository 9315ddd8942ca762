#!/usr/bin/env bash
# scripts/slurm-convert on a real, private single-node Slurm cluster: four shards over forty
# documents (one damaged) must convert each document exactly once, to the same texts as one run
# on this machine, and leave no process, socket or state behind. A cluster that cannot schedule
# fails the test fast, with the daemons' logs: the node idle within 60 s, a job running within
# 120 s, and the whole test within 5 minutes.
#
# Arguments: PROGRAM SLURM-CONVERT CORPUS-FOLDER DAMAGED-DOCUMENT. Exit 77 means skipped.
set -uo pipefail
program=$1 convert=$2 corpus=$3 damaged=$4

[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: the private cluster's daemons need root"; exit 77; }
[ -d "$corpus" ] || { echo "SKIPPED: no corpus at $corpus"; exit 77; }
source "$(dirname "$0")/private-cluster.sh"

t=$(mktemp -d /tmp/qx-cluster-test.XXXXXX)
# The offices of a root run run as the office account, which must pass through to TMPDIR.
chmod 711 "$t"
c=$t/cluster
# Every process this test starts, the daemons, their jobs and the offices included, carries this.
export QX_CLUSTER_TEST=$t
own_pids() {
  local pid
  for pid in /proc/[0-9]*; do
    [ "${pid#/proc/}" = "$$" ] && continue
    { tr '\0' '\n' <"$pid/environ" | grep -qxF "QX_CLUSTER_TEST=$t"; } 2>/dev/null && echo "${pid#/proc/}"
  done
}
torn_down=0
teardown() {
  [ $torn_down -eq 1 ] && return
  torn_down=1
  cluster_stop "$c"
  local pid
  for pid in $(own_pids); do kill -9 "$pid" 2>/dev/null; done
}
trap 'teardown; rm -rf "$t"' EXIT
trap 'exit 143' TERM INT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

mkdir -p "$t/in" "$t/bin" "$t/tmp"
find "$corpus" -maxdepth 1 -type f -name '*.doc*' | sort | head -n 40 | xargs -d '\n' cp -t "$t/in"
cp "$damaged" "$t/in/damaged.docx"
# A private copy: the counters and files beside the program are the test's own. Offices keep
# their profiles under TMPDIR, so a leftover shows up in the test's folder.
cp "$program" "$t/bin/quillex"
export TMPDIR=$t/tmp

# Seconds the whole test may take, below CTest's limit so that the test itself says why it ends.
budget=285
timeout 120 "$t/bin/quillex" "-P:Source=$t/in/*.doc?;Target=$t/local;PureConsole=True;ThreadsCount=2"
[ $? -eq 1 ] || fail "the local run should report the damaged document"

cluster_start "$c" || { fail "the private cluster did not start"; exit 1; }
port=$(sed -n 's/^SlurmctldPort=//p' "$c/slurm.conf")
SLURM_CONF=$c/slurm.conf QUILLEX_PROGRAM=$t/bin/quillex timeout $((budget - SECONDS)) \
  "$convert" --shards 4 --workers 1 "$t/in" "$t/out" >"$t/summary.txt" 2>&1 &
convert_pid=$!
# A job that stays pending (no node can take it) would otherwise be waited for until the budget.
running_by=$((SECONDS + 120))
until [ -n "$(SLURM_CONF=$c/slurm.conf timeout 5 squeue -h -t RUNNING,COMPLETING,COMPLETED -o %i 2>/dev/null)" ] ||
  ! kill -0 "$convert_pid" 2>/dev/null; do
  if [ $SECONDS -ge $running_by ]; then
    fail "no job of slurm-convert was running within 120 s; the queue: $(SLURM_CONF=$c/slurm.conf timeout 5 squeue -h -o '%i %T %r' 2>&1)"
    cluster_logs "$c"
    kill "$convert_pid" 2>/dev/null
    wait "$convert_pid"
    cat "$t/summary.txt"
    exit 1
  fi
  sleep 0.5
done
wait "$convert_pid"
status=$?
cat "$t/summary.txt"
[ "$status" -eq 124 ] && { fail "slurm-convert did not end within the test's $budget s"; cluster_logs "$c"; }
[ "$status" -eq 1 ] || fail "slurm-convert ended with $status, not 1 (one document failed)"
grep -Eq '^total +41 +40 +1$' "$t/summary.txt" || fail "the summary's total is not 41 documents, 40 converted, 1 failed"

sources() { awk -F ' => ' '{ print $2 }' "$@" | sort; }
find "$t/in" -type f | sort >"$t/expected"
sources "$t"/out/run.shard-[1-4].log >"$t/sharded"
[ -z "$(uniq -d "$t/sharded")" ] || fail "documents in more than one shard: $(uniq -d "$t/sharded")"
diff -q "$t/expected" <(uniq "$t/sharded") >/dev/null || fail "the shard logs do not hold every document"
diff -q "$t/expected" <(sources "$t/out/run.log") >/dev/null || fail "the merged log does not hold every document once"
diff -r -x 'run.*' "$t/local" "$t/out" || fail "the texts differ from those of the local run"

teardown
SLURM_CONF=$c/slurm.conf timeout 120 "$convert" "$t/in" "$t/again" 2>"$t/down.txt"
[ $? -eq 2 ] && grep -q 'cannot be reached' "$t/down.txt" || fail "a cluster that is down must give status 2: $(cat "$t/down.txt")"
left=$(own_pids)
[ -z "$left" ] || fail "processes left: $(ps -o pid=,args= -p "${left//$'\n'/,}")"
ss -Hltn "( sport = :$port or sport = :$((port + 1)) )" | grep -q . && fail "the cluster's ports are still open"
[ -z "$(find "$t/tmp" -mindepth 1 -maxdepth 1)" ] || fail "office profiles left: $(ls "$t/tmp")"
[ -z "$(find "$c" -type s)" ] || fail "sockets left: $(find "$c" -type s)"

[ $failures -eq 0 ] && echo "PASSED" && exit 0
exit 1
