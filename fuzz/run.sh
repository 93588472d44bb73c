#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, each from its seed corpus and the
# corpus it grew before, and fails on any finding (a crash, a sanitizer
# report, a leak, a timeout, running out of memory).
# Usage: fuzz/run.sh BUILD_DIR SECONDS_PER_TARGET [TARGET...]
# (all targets when none is named; two runs may share a build folder)
set -uo pipefail

build=$(cd "$1" && pwd)
seconds=$2
shift 2
chosen=" $* "
source=$(cd "$(dirname "$0")" && pwd)
work=$build/work

# Target, the longest input it is given, its dictionary.
targets=(
  "lzh_decompress 8192 -"
  "lzrw_decompress 8192 lzrw.dict"
  "lzrw_block 33000 lzrw.dict"
  "round_trip 4096 -"
  "archive_extract 16384 archive.dict"
  "setup_rules 4096 setup.dict"
  "archive_directory 27392 archive.dict"
  "extraction_plan 4096 archive.dict"
  "archive_bounds 16384 archive_bounds.dict"
)

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1
# The scratch folders of the targets that touch files go here, and go with
# it: in memory where the system has a tmpfs, since a disk's folder
# operations make an execution several times slower.
if [[ -d /dev/shm && -w /dev/shm ]]; then
  export TMPDIR=$(mktemp -d /dev/shm/stowaway-fuzz.XXXXXX)
else
  mkdir -p "$work"
  export TMPDIR=$(mktemp -d "$work/tmp.XXXXXX")
fi

status=0
summary=()
for entry in "${targets[@]}"; do
  read -r name max_len dict <<<"$entry"
  [[ $chosen != "  " && $chosen != *" $name "* ]] && continue
  corpus=$work/corpus/$name
  log=$work/$name.log
  mkdir -p "$corpus" "$work/artifacts" "$TMPDIR"
  options=(-max_total_time="$seconds" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048
           -print_final_stats=1 -artifact_prefix="$work/artifacts/$name-")
  [[ $dict != - ]] && options+=(-dict="$source/$dict")
  echo "fuzz: $name for ${seconds}s"
  "$build/bin/${name}_fuzzer" "${options[@]}" "$corpus" "$source/corpus/$name" >"$log" 2>&1
  result=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [[ $result -eq 0 ]]; then
    summary+=("$(printf '%-16s %12s executions, clean' "$name" "${runs:-?}")")
  else
    status=1
    summary+=("$(printf '%-16s FAILED (exit %d), see %s' "$name" "$result" "$log")")
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz: property|.*runtime error)' "$log" | head -5
  fi
done
rm -rf "$TMPDIR"

echo
printf '%s\n' "${summary[@]}"
exit $status
