# A private single-node Slurm cluster whose munge key, sockets, ports, logs and state all live in
# one folder, so that it starts and stops beside anything else on the machine. Sourced by the
# cluster test and the scale-out benchmark; needs root (the daemons run as root here).
#
#   cluster_start DIR   starts munged, slurmctld and slurmd; returns non-zero (with the daemons'
#                       logs on stderr) when the node is not idle within 60 s. Clients find the
#                       cluster with SLURM_CONF=DIR/slurm.conf in their environment; the caller's
#                       own shell is best left without it, so that cluster_pids never names it.
#   cluster_stop DIR    ends every process of the cluster, its jobs included, and waits for them
#   cluster_pids DIR    the processes of the cluster: the daemons, the job steps and everything
#                       the jobs started, found by the SLURM_CONF in their environment
#   cluster_logs DIR    the last lines of the controller's and the node daemon's logs, on stderr

# Two free ports in a row, chosen at random from the dynamic range.
_cluster_ports() {
  local port tries
  for tries in $(seq 1 50); do
    port=$((20000 + RANDOM % 20000))
    if ! ss -Hltn "( sport = :$port or sport = :$((port + 1)) )" 2>/dev/null | grep -q .; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

cluster_start() {
  local c=$1 host cpus port i
  host=$(hostname -s)
  cpus=$(nproc)
  port=$(_cluster_ports) || { echo "no free ports" >&2; return 1; }
  mkdir -p "$c/state" "$c/spool" || return 1
  # Munge with a key, socket and log of the cluster's own: nothing under /etc or /run. Its random
  # numbers come from getrandom(); the state it would keep under /var/lib/munge is not kept for a
  # daemon that runs as root there, so a throwaway cluster leaves nothing behind.
  local m=$c/munge
  head -c 1024 /dev/urandom >"$m.key" && chmod 400 "$m.key"
  # --force: munged otherwise refuses a key and socket outside the folders it expects.
  munged --socket="$m.sock" --key-file="$m.key" --pid-file="${m}d.pid" --log-file="${m}d.log" --force || return 1
  # Addresses given, not looked up: a fresh machine need not list its own name in /etc/hosts.
  cat >"$c/slurm.conf" <<EOF
ClusterName=qx
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$c/munge.sock
StateSaveLocation=$c/state
SlurmdSpoolDir=$c/spool
SlurmctldPidFile=$c/slurmctld.pid
SlurmdPidFile=$c/slurmd.pid
SlurmctldLogFile=$c/slurmctld.log
SlurmdLogFile=$c/slurmd.log
SlurmctldPort=$port
SlurmdPort=$((port + 1))
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MpiDefault=none
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=4000 State=UNKNOWN
PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
  SLURM_CONF=$c/slurm.conf slurmctld -f "$c/slurm.conf" && SLURM_CONF=$c/slurm.conf slurmd -f "$c/slurm.conf" ||
    { cat "$c"/*.log >&2; return 1; }
  # A deadline, not a number of looks: a controller that does not answer makes each look slow.
  local deadline=$((SECONDS + 60))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(SLURM_CONF=$c/slurm.conf timeout 5 sinfo -h -o %T 2>/dev/null)" = idle ] && return 0
    sleep 0.1
  done
  echo "the private cluster's node was not idle within 60 s" >&2
  cluster_logs "$c"
  return 1
}

cluster_logs() {
  local c=$1 log
  for log in "$c/slurmctld.log" "$c/slurmd.log"; do
    echo "--- last lines of $log:" >&2
    tail -n 20 "$log" >&2 2>/dev/null || echo "(none)" >&2
  done
}

cluster_pids() {
  local c=$1 pid
  {
    for pid in /proc/[0-9]*; do
      [ "${pid#/proc/}" = "$$" ] && continue
      { tr '\0' '\n' <"$pid/environ" | grep -qxF "SLURM_CONF=$c/slurm.conf"; } 2>/dev/null && echo "${pid#/proc/}"
    done
    # The daemons' own processes, should their environment not say it.
    for pid in "$c"/slurmd.pid "$c"/slurmctld.pid "$c"/munged.pid; do
      [ -s "$pid" ] && kill -0 "$(cat "$pid")" 2>/dev/null && cat "$pid"
    done
  } | sort -un
}

cluster_stop() {
  local c=$1 name pid i
  [ -n "$c" ] && [ -d "$c" ] || return 0
  # Jobs first, so that no task outlives its node; then the daemons in the recipe's order.
  # Callers may run with errexit: nothing here may end them early.
  [ -f "$c/slurm.conf" ] && SLURM_CONF=$c/slurm.conf timeout 10 scancel --full --quiet -u root 2>/dev/null || true
  for name in slurmd slurmctld munged; do
    [ -s "$c/$name.pid" ] && kill "$(cat "$c/$name.pid")" 2>/dev/null || true
  done
  for i in $(seq 1 100); do
    [ -z "$(cluster_pids "$c")" ] && return 0
    [ "$i" -eq 50 ] && for pid in $(cluster_pids "$c"); do kill -9 "$pid" 2>/dev/null; done
    sleep 0.1
  done
  return 0
}
