# Sourced by the bench scripts: measure ID WHAT COMMAND... runs the command
# and appends "ID WHAT SECONDS" (its wall time) to $work/times.txt; a
# failure ends the script with a message that starts with $bench_name.
# needs_commands NAME... ends the script, saying how to install them, when
# a command it runs is missing.
# rotated ROUND ID... prints the ids in that round's order, which turns by
# one each round, so that a change in the machine's load touches all alike.
measure() {
  local start end
  start=$(date +%s.%N)
  "${@:3}" >/dev/null 2>&1 || { echo "$bench_name: $1: $2 failed: ${*:3}" >&2; exit 1; }
  end=$(date +%s.%N)
  echo "$1 $2 $(awk "BEGIN { print $end - $start }")" >>"$work/times.txt"
}

rotated() {
  local round=$1 k
  shift
  local ids=("$@")
  for ((k = 0; k < ${#ids[@]}; ++k)); do echo "${ids[(k + round) % ${#ids[@]}]}"; done
}

needs_commands() {
  local program
  for program in "$@"; do
    command -v "$program" >/dev/null ||
      { echo "$bench_name: $program is missing; run cmake/install-deps.sh bench" >&2; exit 1; }
  done
}
