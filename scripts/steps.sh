# One line per step for the scripts a new user runs first (setup, demo): each step's own output
# goes to a log file, which is named when the step fails. Sourced, not run.
#
#   step LOG TEXT COMMAND...   prints "TEXT ... done", or "TEXT ... failed" with the log's name
#                              and its last lines; returns the command's status

step() {
  local log=$1 text=$2 status=0
  shift 2
  mkdir -p "$(dirname "$log")"
  printf '%s ... ' "$text"
  echo "=== $text: $*" >>"$log"
  "$@" >>"$log" 2>&1 </dev/null || status=$?
  if [ "$status" -eq 0 ]; then
    echo done
    return 0
  fi
  echo "failed (status $status); the full output is in $log, ending with:"
  tail -n 15 "$log" | sed 's/^/  /'
  return "$status"
}
