#!/usr/bin/env bash
# One large stream, whole processes: the corpus as one file packed and
# unpacked by `stowaway compress`/`decompress` in each mode, on one thread
# and on one per core, against gzip -6 (for good) and lz4 -1 (for fast).
# Every command runs once per round, in an order that turns by one each
# round; the report gives medians and each one's speed as a multiple of its
# peer's from the same run. Every unpacked file is checked against the
# input. Writes streams.md and streams.csv.
# Usage: bench/streams.sh NATIVE_TREE BENCH_DIR [ROUNDS]
set -euo pipefail

native=$(cd "$1" && pwd)
bench=$(cd "$2" && pwd)
rounds=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
tool=$native/bin/stowaway
work=$bench/streams
cores=$(nproc)
[[ -f $tool ]] || { echo "streams: $tool is missing; run make build first" >&2; exit 1; }
[[ -d $bench/corpus ]] || { echo "streams: no corpus in $bench/corpus; run bench/corpus.sh" >&2; exit 1; }
bench_name=streams
# shellcheck source=bench/measure.sh
source "$here/measure.sh"
needs_commands gzip lz4

rm -rf "$work"
mkdir -p "$work"
input=$work/corpus.bin
find "$bench/corpus" -type f -print0 | sort -z | xargs -0 cat >"$input"

pack() {  # id
  case $1 in
    good-1|good-n|fast-1|fast-n)
      local mode=${1%-*} jobs=1
      [[ ${1#*-} == n ]] && jobs=$cores
      "$tool" compress -q -f --mode "$mode" --jobs "$jobs" "$input" "$work/$1.packed" ;;
    gzip) gzip -6 -c "$input" >"$work/gzip.packed" ;;
    lz4) lz4 -1 -q -f "$input" "$work/lz4.packed" ;;
  esac
}

unpack() {  # id
  case $1 in
    good-1|fast-1) "$tool" decompress -q -f "$work/$1.packed" "$work/$1.out" ;;
    gzip) gzip -d -c "$work/gzip.packed" >"$work/gzip.out" ;;
    lz4) lz4 -d -q -f "$work/lz4.packed" "$work/lz4.out" ;;
  esac
}

packers=(good-1 good-n gzip fast-1 fast-n lz4)
unpackers=(good-1 gzip fast-1 lz4)
: >"$work/times.txt"
for ((round = 0; round < rounds; ++round)); do
  for id in $(rotated "$round" "${packers[@]}"); do
    measure "$id" pack pack "$id"
  done
  for id in $(rotated "$round" "${unpackers[@]}"); do
    measure "$id" unpack unpack "$id"
    cmp -s "$input" "$work/$id.out" || { echo "streams: $id unpacked $work/$id.out wrongly" >&2; exit 1; }
  done
  echo "streams: round $((round + 1)) of $rounds done" >&2
done
# The packed streams do not depend on the number of threads.
for mode in good fast; do
  cmp -s "$work/$mode-1.packed" "$work/$mode-n.packed" ||
    { echo "streams: $mode on $cores threads packed other bytes than on one" >&2; exit 1; }
done
for id in "${packers[@]}"; do echo "$id size $(stat -c %s "$work/$id.packed")" >>"$work/times.txt"; done

/usr/bin/python3 - "$work/times.txt" "$(stat -c %s "$input")" "$rounds" "$bench" "$cores" <<'PY'
import csv, statistics, sys
times, size, rounds, out, cores = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
runs = {}
for line in open(times):
    tool, what, value = line.split()
    runs.setdefault((tool, what), []).append(float(value))
median = {key: statistics.median(values) for key, values in runs.items()}
# id, name, peer, what, goal (speed as a multiple of the peer's)
rows = [("good-1", "stowaway compress --mode good, 1 thread", "gzip", "pack", None),
        ("good-n", f"stowaway compress --mode good, {cores} threads", "gzip", "pack", 0.6),
        ("gzip", "gzip -6", "gzip", "pack", None),
        ("fast-1", "stowaway compress --mode fast, 1 thread", "lz4", "pack", None),
        ("fast-n", f"stowaway compress --mode fast, {cores} threads", "lz4", "pack", 1.0),
        ("lz4", "lz4 -1", "lz4", "pack", None),
        ("good-1", "stowaway decompress (good)", "gzip", "unpack", 0.5),
        ("gzip", "gzip -d", "gzip", "unpack", None),
        ("fast-1", "stowaway decompress (fast)", "lz4", "unpack", None),
        ("lz4", "lz4 -d", "lz4", "unpack", None)]
with open(f"{out}/streams.csv", "w", newline="") as f:
    table = csv.writer(f)
    table.writerow(["command", "seconds", "mb_per_s", "speed_vs_peer", "size_ratio"])
    for tool, name, peer, what, goal in rows:
        s = median[(tool, what)]
        table.writerow([name, f"{s:.3f}", f"{size / s / 1e6:.1f}", f"{median[(peer, what)] / s:.3f}",
                        f"{median[(tool, 'size')] / size:.4f}"])
with open(f"{out}/streams.md", "w") as f:
    f.write(f"The corpus as one stream ({size / 1e6:.1f} MB), whole processes, medians of {rounds} "
            f"rotated rounds on {cores} cores; speed is a multiple of the peer's in the same run.\n\n")
    f.write("| Command | s (range) | MB/s | Speed ÷ peer | Goal | Size |\n|---|--:|--:|--:|--:|--:|\n")
    for tool, name, peer, what, goal in rows:
        s, values = median[(tool, what)], runs[(tool, what)]
        speed = median[(peer, what)] / s
        met = "" if goal is None else f"≥ {goal:.1f} {'met' if speed >= goal else 'not met'}"
        f.write(f"| {name} | {s:.2f} ({min(values):.2f}–{max(values):.2f}) | {size / s / 1e6:.1f} | "
                f"{speed:.2f} | {met} | {100 * median[(tool, 'size')] / size:.1f}% |\n")
print(open(f"{out}/streams.md").read())
PY
