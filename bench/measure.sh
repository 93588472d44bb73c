# Sourced by the bench scripts: measure ID WHAT COMMAND... runs the command
# and appends "ID WHAT SECONDS" (its wall time) to $work/times.txt; a
# failure ends the script with a message that starts with $bench_name.
measure() {
  local start end
  start=$(date +%s.%N)
  "${@:3}" >/dev/null 2>&1 || { echo "$bench_name: $1: $2 failed: ${*:3}" >&2; exit 1; }
  end=$(date +%s.%N)
  echo "$1 $2 $(awk "BEGIN { print $end - $start }")" >>"$work/times.txt"
}
