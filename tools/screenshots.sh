#!/usr/bin/env bash
# Pictures of every page of the setup program's wizard, as a user sees them:
# a sample installer run under Xvfb with Wine's X11 driver, in a Wine prefix
# of its own (the tests' prefix keeps the null driver), worked through its
# pages by tests/setup/e2e/wizard_driver.exe, each page captured with
# ImageMagick's import. A second run of a damaged copy shows the failure page.
# Usage: tools/screenshots.sh NATIVE_TREE WIN32_TREE OUT_DIR
set -euo pipefail

native=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
work=$(dirname "$native")/screenshots
tool=$native/bin/stowaway
driver=$win32/bin/wizard_driver.exe
for program in "$tool" "$driver" "$win32/bin/unpacker.exe" "$win32/bin/stowaway-setup.exe"; do
  [[ -f $program ]] || { echo "screenshots: $program is missing; run make build first" >&2; exit 1; }
done
for command in Xvfb import wine wineboot; do
  command -v "$command" >/dev/null \
    || { echo "screenshots: $command is missing (apt-get install xvfb imagemagick wine)" >&2; exit 1; }
done

rm -rf "$work"
mkdir -p "$work/dist/bin" "$work/dist/data"
export WINEPREFIX=$work/wineprefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT

wineboot -i >/dev/null 2>&1
# Without a window manager, Wine draws the windows' frames and titles itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w

# A payload large enough for the progress page to stay a moment.
cp "$win32/bin/wizard_driver.exe" "$work/dist/bin/sample.exe"
perl -e 'srand(5); for (1 .. 400000) { printf "%d,%d,%.4f\n", $_, int(rand(1000)), rand() }' \
  > "$work/dist/data/readings.csv"
head -c 20000000 /dev/urandom > "$work/dist/data/noise.bin"
cat > "$work/LICENSE" <<'TEXT'
SAMPLE TOOL LICENCE AGREEMENT

1. You may install and use Sample Tool on any number of computers.
2. You may copy and give away the installer unchanged.
3. Sample Tool is provided as is, without warranty of any kind.
TEXT
"$tool" pack -q -o "$work/setup.exe" --name "Sample Tool" --version 2.1 \
  --publisher "Example Ltd" --license "$work/LICENSE" --run 'bin\sample.exe' "$work/dist/."

title="Sample Tool Setup"
drive() { wine "$driver" "$title" "$@"; }
shot() { sleep "${2:-0.4}"; import -window root "$work/root.png"; crop "$1"; }
# The wizard's window alone, from the screen.
crop() {
  local geometry
  geometry=$(xwininfo -root -tree | awk -v t="\"$title\"" 'index($0, t) { print $(NF-1); exit }')
  convert "$work/root.png" -crop "${geometry%%+*}+${geometry#*+}" +repage "$out/$1"
  echo "screenshots: $out/$1"
}
run_installer() {
  STOWAWAY_INSTALLER="Z:${1//\//\\}" wine "$1" &
  installer=$!
}

run_installer "$work/setup.exe"
drive wait "Welcome to Sample Tool Setup"
shot setup-welcome.png
drive click "&Next >"
drive wait "Licence agreement"
drive click "I &accept the terms of the licence agreement"
shot setup-licence.png
drive click "&Next >"
drive wait "Installation folder"
drive type 'C:\Program Files\Sample Tool'
shot setup-folder.png
drive click "&Install"
drive wait 'Writing data\readings.csv'
shot setup-progress.png 0.1
drive wait "Installation complete"
shot setup-finish.png
drive click "&Finish"
wait "$installer"

# The failure page: the large file's packed stream damaged where it begins.
cp "$work/setup.exe" "$work/damaged.exe"
offset=$("$tool" list --json "$work/damaged.exe" | perl -MJSON::PP -0 -ne '
  my $list = decode_json($_);
  my $at = 0;
  for my $entry (@{$list->{entries}}) { last if ($entry->{name} // "") eq "noise.bin"; $at++ }
  print $at')
start=$(perl -e '
  open my $f, "<:raw", $ARGV[0] or die; my $size = -s $f;
  seek $f, $size - 4, 0; read $f, my $n, 4; $n = unpack "V", $n;
  seek $f, $size - 4 - 428 * $n + 428 * $ARGV[1] + 16, 0; read $f, my $s, 4; print unpack "V", $s' \
  "$work/damaged.exe" "$offset")
printf 'ZZZZ' | dd of="$work/damaged.exe" bs=1 seek="$start" conv=notrunc status=none
run_installer "$work/damaged.exe"
drive click "&Next >"
drive click "I &accept the terms of the licence agreement"
drive click "&Next >"
drive wait "Installation folder"
drive type 'C:\Program Files\Sample Tool 2'
drive click "&Install"
drive wait "Installation incomplete"
shot setup-failure.png
drive click "&Close"
wait "$installer"
