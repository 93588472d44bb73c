#!/usr/bin/env bash
# The main job end to end: a sample payload packed with the probe front-end
# into an installer, the installer run under Wine, the progress it reported
# and the files it extracted shown, and the files checked against the
# originals. Exits non-zero when anything differs.
# Usage: tools/demo.sh NATIVE_TREE WIN32_TREE   (make demo passes both)
set -euo pipefail

native=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
tool=$native/bin/stowaway
probe=$win32/bin/probe_frontend.exe
work=$(dirname "$native")/demo
for program in "$tool" "$probe" "$win32/bin/unpacker.exe"; do
  [[ -f $program ]] || { echo "demo: $program is missing; run make build first" >&2; exit 1; }
done

export WINEPREFIX=$win32/wineprefix
# Whatever happens, Wine's server does not outlive the demo.
trap 'wineserver -k 2>/dev/null || true' EXIT

heading() { printf '\n== %s\n' "$*"; }
stowaway() {
  printf '$ stowaway %s\n' "$*"
  "$tool" "$@"
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

rm -rf "$work"
mkdir -p "$work/payload/docs" "$work/payload/data" "$work/installed"
cd "$work"

heading "1. A sample payload"
cat > payload/readme.txt <<'TEXT'
Sample Application 1.0
======================

Thank you for installing the sample application. This file, the licence,
a table of measurements and two binary files make up its payload. The
installer that carries them is the unpacker with an archive behind it;
its front-end is the probe, which logs every message the unpacker sends.
TEXT
for i in $(seq 1 40); do
  echo "$i. The software is provided as is, without warranty of any kind; clause $i applies to every copy."
done > payload/docs/licence.txt
awk 'BEGIN { print "id,station,reading,unit"; for (i = 1; i <= 20000; i++) printf "%d,station-%d,%.3f,mV\n", i, i % 37, sin(i / 50.0) * 1000 }' \
  > payload/data/table.csv
# Records of a binary format, over 1 MB, and noise that does not compress.
perl -e 'srand(7); print pack("a4VvvV", "REC", $_, $_ % 7, 100 + int(rand(3)), 0) for 1 .. 75000' \
  > payload/data/samples.bin
perl -e 'srand(11); print pack("C*", map { int(rand(256)) } 1 .. 65536)' > payload/data/noise.bin
(cd payload && find . -type f -printf '  %8s bytes  %P\n' | sort -k3)

heading "2. Packing it into an installer, with the probe as its front-end"
stowaway pack -o installer.exe --front-end "$probe" --mode auto payload
echo
stowaway list installer.exe
echo
stowaway test installer.exe

heading "3. Running the installer under Wine"
echo "The probe sends the folder $(windows_path "$work/installed") and orders the extraction."
status=0
PROBE_LOG=$(windows_path "$work/probe.log") PROBE_FOLDERS=$(windows_path "$work/installed") \
  WINE_BUILD_DIR=$win32 timeout 180 "$source_dir/cmake/wine-run.sh" installer.exe || status=$?
echo "installer.exe ended with exit code $status"

heading "4. What the unpacker reported to the front-end"
[[ -f probe.log ]] || { echo "demo: the probe front-end never started (no probe.log)" >&2; exit 1; }
awk '
  $1 == "start" { print "The unpacker started " $3 " " $4 }
  $1 == "report" {
    name = $9; for (i = 10; i <= NF; i++) name = name " " $i
    if (name != current) { flush(); current = name; reports = 0; steps = ""; last = -1 }
    reports++; written = $6
    if ($7 != last) { steps = steps " " $7; last = $7 }
  }
  $1 == "message" { flush(); current = ""; done = $2 }
  function flush(  line, count, i, words) {
    if (current == "") return
    printf "  %-20s %3d reports, the last with %d bytes written\n", current, reports, written
    count = split(steps, words, " ")
    line = "      percent:"
    for (i = 1; i <= count; i++) {
      if (length(line) + length(words[i]) >= 76) { print line; line = "              " }
      line = line " " words[i]
    }
    print line
  }
  END {
    flush()
    if (done == 1025) print "then message 1025: every file was extracted"
    else if (done == 1026) print "then message 1026: the extraction failed"
    else print "and no final message"
  }' probe.log

heading "5. The files the installer extracted"
(cd installed && find . -type f -printf '  %8s bytes  %P\n' | sort -k3)

heading "6. Checking them against the originals"
failed=0
check() {
  if cmp -s "$1" "$2"; then
    echo "  same     $2"
  else
    echo "  DIFFERS  $2 (from $1)"
    failed=1
  fi
}
check "$probe" installed/probe_frontend.exe
while IFS= read -r original; do
  check "$original" "installed/$(basename "$original")"
done < <(find payload -type f | sort)
grep -q '^message 1025 ' probe.log || { echo "  the unpacker did not report success"; failed=1; }
[[ $status -eq 0 ]] || failed=1

if [[ $failed -ne 0 ]]; then
  echo "demo: FAILED: the extracted files differ from the originals" >&2
  exit 1
fi
echo "demo: every extracted file matches its original"
