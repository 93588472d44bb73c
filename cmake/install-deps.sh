#!/usr/bin/env bash
# Installs the Debian packages the build needs, and only those that are missing.
# Usage: cmake/install-deps.sh [test|bench|fuzz]...   (default: test)
set -euo pipefail

want=(cmake make ninja-build g++ libgtest-dev googletest
      g++-mingw-w64-i686 wine wine32:i386)
# SHA-256 comes from libcrypto; the tests sign installers as their authors do.
want+=(libssl-dev openssl osslsigncode)
for extra in "$@"; do
  case "$extra" in
    test) ;;
    # The peers, the chart, and the packages the corpus comes from (with
    # wine32's, libc6-dev's and libstdc++'s, which the test group brings).
    bench) want+=(pkg-config zlib1g-dev liblz4-dev lz4 python3-matplotlib perl-doc adwaita-icon-theme nsis makeself) ;;
    # libFuzzer and the sanitizer runtimes; llvm-14 symbolizes their reports.
    fuzz) want+=(clang libclang-rt-14-dev llvm-14) ;;
    *) echo "install-deps: unknown group '$extra'" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${want[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: need root to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
# A mirror caught mid-sync serves index files that fail their checks for a
# minute or two; a later attempt finds them whole.
for attempt in 1 2 3 4; do
  "${sudo[@]}" apt-get update -qq && break
  [[ $attempt -eq 4 ]] && { echo "install-deps: the package lists cannot be fetched" >&2; exit 1; }
  echo "install-deps: fetching the package lists failed; trying again in $((attempt * 20)) s" >&2
  sleep $((attempt * 20))
done
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
