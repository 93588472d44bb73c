#!/usr/bin/env bash
# Installers side by side, as an installer author sees them: the corpus as a
# folder packed by `stowaway pack` in each mode and by the installer builders
# people use (NSIS's makensis with zlib and with solid LZMA, makeself with
# gzip), then installed: stowaway's and NSIS's installers under Wine, both
# silently (/S /D=), makeself's natively. Every tool runs once per round, in
# an order that turns by one each round, so that a change in the machine's
# load touches all alike; the report gives medians and, for each figure, its
# ratio to NSIS zlib's from the same run. Every install is checked against
# the corpus. Writes installers.md, installers.csv and installers.png.
# Usage: bench/installers.sh NATIVE_TREE WIN32_TREE BENCH_DIR [ROUNDS]
set -euo pipefail

native=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
bench=$(cd "$3" && pwd)
rounds=${4:-5}
here=$(cd "$(dirname "$0")" && pwd)
tool=$native/bin/stowaway
work=$bench/installers
for program in "$tool" "$win32/bin/stowaway-setup.exe" "$win32/bin/unpacker-user.exe"; do
  [[ -f $program ]] || { echo "installers: $program is missing; run make build first" >&2; exit 1; }
done
[[ -d $bench/corpus ]] || { echo "installers: no corpus in $bench/corpus; run bench/corpus.sh" >&2; exit 1; }
corpus=$(cd "$bench/corpus" && pwd -P)
bench_name=installers
# shellcheck source=bench/measure.sh
source "$here/measure.sh"
needs_commands makensis makeself wine


rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$win32/wineprefix WINE_BUILD_DIR=$win32
# One Wine session for the whole run, so that no install pays for starting
# Wine's own services; it ends with the script.
"$here/../cmake/wine-run.sh" cmd /c exit >/dev/null 2>&1
mkfifo "$work/keep"
"$here/../cmake/wine-run.sh" cmd /c pause <"$work/keep" >/dev/null 2>&1 &
exec 8>"$work/keep"
trap 'exec 8>&-; wineserver -k 2>/dev/null || true' EXIT

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The NSIS scripts put every file straight into the folder, as the unpacker
# does.
nsis_script() {  # compressor, output
  {
    printf 'Name "bench"\nOutFile "%s"\nSetCompressor /FINAL %s\n' "$2" "$1"
    printf 'RequestExecutionLevel user\nInstallDir "$TEMP\\bench"\nSection\nSetOutPath "$INSTDIR"\n'
    find "$corpus" -mindepth 1 -type d | sort | while read -r folder; do printf 'File "%s/*"\n' "$folder"; done
    printf 'SectionEnd\n'
  } >"$work/$(basename "$2" .exe).nsi"
  echo "$work/$(basename "$2" .exe).nsi"
}

build() {  # tool id
  case $1 in
    pack-good|pack-fast|pack-auto)
      "$tool" pack -q -f -o "$work/$1.exe" --name bench --elevation user --mode "${1#pack-}" "$corpus" ;;
    nsis-zlib) makensis -V1 "$(nsis_script zlib "$work/nsis-zlib.exe")" ;;
    nsis-lzma) makensis -V1 "$(nsis_script '/SOLID lzma' "$work/nsis-lzma.exe")" ;;
    makeself) makeself --gzip --nox11 --nomd5 --nocrc --quiet "$corpus" "$work/makeself.run" bench true >/dev/null ;;
  esac
}

install() {  # tool id, destination
  rm -rf "$2"
  mkdir -p "$2"
  case $1 in
    pack-*|nsis-*) "$here/../cmake/wine-run.sh" "$work/$1.exe" /S "/D=$(windows_path "$2")" ;;
    makeself) "$work/makeself.run" --quiet --noexec --target "$2" >/dev/null ;;
  esac
}

# Every file of the corpus in the installed folder: by file name for NSIS,
# whose script puts them side by side, in their folders for makeself and,
# under the corpus's own name, for stowaway's setup program.
check_install() {  # tool id, destination
  local file installed
  while IFS= read -r file; do
    case $1 in
      nsis-*) installed=$2/$(basename "$file") ;;
      makeself) installed=$2/${file#"$corpus"/} ;;
      *) installed=$2/$(basename "$corpus")/${file#"$corpus"/} ;;
    esac
    cmp -s "$file" "$installed" || { echo "installers: $1 installed $installed wrongly" >&2; exit 1; }
  done < <(find "$corpus" -type f)
}

tools=(pack-good pack-fast pack-auto nsis-zlib nsis-lzma makeself)
: >"$work/times.txt"
for ((round = 0; round < rounds; ++round)); do
  for id in $(rotated "$round" "${tools[@]}"); do
    measure "$id" build build "$id"
  done
  for id in $(rotated "$round" "${tools[@]}"); do
    measure "$id" install install "$id" "$work/installed-$id"
    check_install "$id" "$work/installed-$id"
  done
  echo "installers: round $((round + 1)) of $rounds done" >&2
done

corpus_bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
for id in "${tools[@]}"; do
  output=$work/$id.exe
  [[ $id == makeself ]] && output=$work/makeself.run
  echo "$id size $(stat -c %s "$output")" >>"$work/times.txt"
done

/usr/bin/python3 - "$work/times.txt" "$corpus_bytes" "$rounds" "$bench" "$(nproc)" <<'PY'
import csv, statistics, sys
times, corpus_bytes, rounds, out, cores = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
runs = {}
for line in open(times):
    tool, what, value = line.split()
    runs.setdefault((tool, what), []).append(float(value))
names = {"pack-good": "stowaway pack good", "pack-fast": "stowaway pack fast",
         "pack-auto": "stowaway pack auto", "nsis-zlib": "NSIS makensis, zlib",
         "nsis-lzma": "NSIS makensis, solid lzma", "makeself": "makeself, gzip"}
median = {key: statistics.median(values) for key, values in runs.items()}
base_build, base_install = median[("nsis-zlib", "build")], median[("nsis-zlib", "install")]
rows = []
for tool, name in names.items():
    build, install = median[(tool, "build")], median[(tool, "install")]
    size = median[(tool, "size")]
    spread = lambda what: f"{min(runs[(tool, what)]):.2f}–{max(runs[(tool, what)]):.2f}"
    rows.append((name, build, spread("build"), build / base_build, size / corpus_bytes,
                 install, spread("install"), install / base_install,
                 "native" if tool == "makeself" else "Wine"))
with open(f"{out}/installers.csv", "w", newline="") as f:
    table = csv.writer(f)
    table.writerow(["tool", "build_s", "build_vs_nsis_zlib", "size_ratio", "install_s",
                    "install_vs_nsis_zlib", "install_on"])
    for r in rows:
        table.writerow([r[0], f"{r[1]:.3f}", f"{r[3]:.3f}", f"{r[4]:.4f}", f"{r[5]:.3f}",
                        f"{r[7]:.3f}", r[8]])
with open(f"{out}/installers.md", "w") as f:
    f.write(f"Installers of the corpus ({corpus_bytes / 1e6:.1f} MB), medians of {rounds} rotated rounds "
            f"on {cores} cores; ratios are to NSIS zlib in the same run (below 1: faster).\n\n")
    f.write("| Tool / mode | Build s (range) | Build ÷ NSIS zlib | Size | Install s (range) | "
            "Install ÷ NSIS zlib | Installed |\n|---|--:|--:|--:|--:|--:|---|\n")
    for r in rows:
        f.write(f"| {r[0]} | {r[1]:.2f} ({r[2]}) | {r[3]:.2f} | {100 * r[4]:.1f}% | "
                f"{r[5]:.2f} ({r[6]}) | {r[7]:.2f} | {r[8]} |\n")
print(open(f"{out}/installers.md").read())
PY
/usr/bin/python3 "$here/installer_chart.py" "$bench/installers.csv" "$bench/installers.png"
