#!/usr/bin/env bash
# Every usage form that slurm-convert's --help shows, followed as written, against stand-ins for
# Slurm's commands and for the program: no cluster, no root, no office. The stand-in sbatch
# runs the array's tasks one after another as Slurm would; the stand-in program logs one
# converted document per shard. Checks what reaches sbatch and the program, and the exit status.
#
# Arguments: SLURM-CONVERT.
set -uo pipefail
convert=$1
t=$(mktemp -d /tmp/qx-slurm-usage.XXXXXX)
trap 'rm -rf "$t"' EXIT
mkdir -p "$t/bin" "$t/in"
: >"$t/in/a.docx"

cat >"$t/bin/sbatch" <<'EOF'
#!/bin/bash
# Records its arguments, then runs tasks 1..N of --array=1-N with their output in --output.
echo "$*" >>"$QX_USAGE_DIR/sbatch.args"
array="" output="" chdir="" script=""
for a in "$@"; do
  case "$a" in
    --array=*) array=${a#--array=} ;;
    --output=*) output=${a#--output=} ;;
    --chdir=*) chdir=${a#--chdir=} ;;
    -*) ;;
    *) script=$a ;;
  esac
done
echo "42"
for ((k = 1; k <= ${array#1-}; k++)); do
  (cd "$chdir" && SLURM_ARRAY_TASK_ID=$k bash "$script" >"${output//%a/$k}" 2>&1)
done
EOF
cat >"$t/bin/scontrol" <<'EOF'
#!/bin/bash
echo "Slurmctld(primary) at stand-in is UP"
EOF
printf '#!/bin/bash\nexit 0\n' >"$t/bin/squeue"
printf '#!/bin/bash\nexit 0\n' >"$t/bin/scancel"
cat >"$t/bin/quillex" <<'EOF'
#!/bin/bash
# The program's stand-in: records its settings and logs one success to the shard's LogFile.
echo "$1" >>"$QX_USAGE_DIR/program.args"
log=$(tr ';' '\n' <<<"${1#-P:}" | sed -n 's/^LogFile=//p')
echo "Success => /in/a.docx => /out/a.txt" >"$log"
EOF
chmod +x "$t/bin"/*
export PATH="$t/bin:$PATH" QUILLEX_PROGRAM=$t/bin/quillex QX_USAGE_DIR=$t

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# run EXPECTED-STATUS ARGS...: one call, with the records of the last one cleared.
run() {
  local expected=$1
  shift
  rm -f "$t/sbatch.args" "$t/program.args"
  "$convert" "$@" >"$t/stdout" 2>"$t/stderr"
  local status=$?
  [ $status -eq "$expected" ] || fail "$* ended with $status, not $expected: $(cat "$t/stderr")"
}

run 0 --help
grep -q "^usage: $(basename "$convert") " "$t/stdout" || fail "--help shows no usage line"
grep -q -- '--help' "$t/stdout" || fail "--help does not list itself"

# SOURCE TARGET, with every option in its two spellings, and sbatch's options after --.
run 0 --shards 2 --workers=1 --log "$t/logs/all.log" --partition p1 --time=5 --set Subdir=True \
  "$t/in" "$t/out" -- --mem=1G
grep -q -- '--array=1-2 .*--partition=p1 --time=5 --mem=1G' "$t/sbatch.args" || fail "sbatch got: $(cat "$t/sbatch.args")"
[ "$(grep -c 'Subdir=True;PureConsole=True;ThreadsCount=1;Shard=[12]/2;' "$t/program.args")" -eq 2 ] \
  || fail "the program got: $(cat "$t/program.args")"
[ "$(grep -c '^Success' "$t/logs/all.log")" -eq 2 ] || fail "the merged log holds: $(cat "$t/logs/all.log")"

# sbatch's options first, SOURCE and TARGET last.
run 0 --shards=3 -- --mem=2G --exclusive "$t/in/*.docx" "$t/out2"
grep -q -- '--mem=2G --exclusive' "$t/sbatch.args" || fail "sbatch got: $(cat "$t/sbatch.args")"
grep -q "Source=$t/in/\*.docx;Target=$t/out2;" "$t/program.args" || fail "the program got: $(cat "$t/program.args")"
[ "$(grep -c '^Success' "$t/out2/run.log")" -eq 3 ] || fail "the default log is not TARGET/run.log"

# What the usage does not allow is refused with the usage.
run 2 "$t/in"
grep -q '^usage: ' "$t/stderr" || fail "a missing TARGET does not show the usage"
run 2 --shards 0 "$t/in" "$t/out"

[ $failures -eq 0 ] && echo "PASS" || exit 1
