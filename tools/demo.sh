#!/usr/bin/env bash
# The main job end to end: a sample payload, folders and all, packed into an
# installer with stowaway's setup program, the installer run under Wine as a
# deployment tool runs it (silently, into a folder of its choice, with a
# log), and every installed file checked against its original. Exits
# non-zero when anything differs.
# Usage: tools/demo.sh NATIVE_TREE WIN32_TREE   (make demo passes both)
set -euo pipefail

native=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
tool=$native/bin/stowaway
work=$(dirname "$native")/demo
for program in "$tool" "$win32/bin/stowaway-setup.exe" "$win32/bin/unpacker.exe"; do
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
mkdir -p "$work/payload/docs" "$work/payload/data" "$work/payload/data/archive"
cd "$work"

heading "1. A sample payload"
cat > payload/readme.txt <<'TEXT'
Sample Application 1.0
======================

Thank you for installing the sample application. This file, the licence,
a table of measurements and two binary files make up its payload, in
folders; two files of one name lie in different folders. The installer
that carries them is the unpacker with an archive behind it; its
front-end is stowaway's setup program.
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
echo "Readings of the first year." > payload/data/readme.txt
head -n 500 payload/data/table.csv > payload/data/archive/table.csv
echo "Readings kept from earlier years." > payload/data/archive/readme.txt
(cd payload && find . -type f -printf '  %8s bytes  %P\n' | sort -k3)

heading "2. Packing it into an installer with the setup program"
stowaway pack -o installer.exe --name "Sample Application" --version 1.0 \
  --publisher "Example Ltd" --license payload/docs/licence.txt --mode auto payload/.
echo
stowaway list installer.exe
echo
stowaway test installer.exe

heading "3. Installing it under Wine, unattended"
folder="$work/installed/Sample Application"
command=(installer.exe /S "/LOG=$(windows_path "$work/install.log")" "/D=$(windows_path "$folder")")
echo "\$ ${command[*]}"
status=0
WINE_BUILD_DIR=$win32 timeout 180 "$source_dir/cmake/wine-run.sh" "${command[@]}" || status=$?
echo "installer.exe ended with exit code $status"

heading "4. The setup program's log"
[[ -f install.log ]] || { echo "demo: the setup program wrote no log" >&2; exit 1; }
tr -d '\r' < install.log | sed 's/^/  /'

heading "5. The files installed"
(cd "$folder" && find . -type f -printf '  %8s bytes  %P\n' | sort -k3)

heading "6. Checking them against the originals"
failed=0
while IFS= read -r original; do
  relative=${original#payload/}
  if cmp -s "$original" "$folder/$relative"; then
    echo "  same     $relative"
  else
    echo "  DIFFERS  $relative"
    failed=1
  fi
done < <(find payload -type f | sort)
installed=$(cd "$folder" && find . -type f | wc -l)
originals=$(find payload -type f | wc -l)
if [[ $installed -ne $originals ]]; then
  echo "  $installed files installed for $originals originals (the setup program's copy or its staging folder left behind?)"
  failed=1
fi
# The log is a Windows text file.
tr -d '\r' < install.log | grep -qx 'exit code 0' || { echo "  the log does not report success"; failed=1; }
[[ $status -eq 0 ]] || failed=1

if [[ $failed -ne 0 ]]; then
  echo "demo: FAILED: the installed files differ from the originals" >&2
  exit 1
fi
echo "demo: every installed file matches its original"
