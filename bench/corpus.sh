#!/usr/bin/env bash
# Assembles the benchmark corpus from the files that Debian's packages install,
# as bench/corpus.manifest lists them, so that every run measures the same bytes.
# Usage: bench/corpus.sh [FOLDER]   (default: build/bench/corpus)
#
# Fails when a package the manifest names is not installed or a listed file is
# missing; warns when a file's bytes differ from the manifest's (another
# version of its package), since results then no longer compare with earlier
# runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
manifest=$here/corpus.manifest
folder=${1:-$here/../build/bench/corpus}

entries=$(grep -v '^#' "$manifest")

missing_packages=()
for package in $(cut -f2 <<<"$entries" | sort -u); do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing_packages+=("$package")
done
if [[ ${#missing_packages[@]} -gt 0 ]]; then
  echo "corpus: packages not installed: ${missing_packages[*]}" >&2
  echo "corpus: run cmake/install-deps.sh bench (or apt-get install them)" >&2
  exit 1
fi

missing_files=()
while IFS=$'\t' read -r name package digest source; do
  [[ -f "$source" ]] || missing_files+=("$source ($package)")
done <<<"$entries"
if [[ ${#missing_files[@]} -gt 0 ]]; then
  echo "corpus: ${#missing_files[@]} listed files are missing:" >&2
  printf '  %s\n' "${missing_files[@]}" >&2
  exit 1
fi

rm -rf "$folder"
mkdir -p "$folder"
while IFS=$'\t' read -r name package digest source; do
  mkdir -p "$folder/$(dirname "$name")"
  cp "$source" "$folder/$name"
done <<<"$entries"

# The manifest's digests, checked against the copies in one pass.
differing=$(cut -f1,3 <<<"$entries" | awk -F'\t' '{print $2 "  " $1}' |
            (cd "$folder" && sha256sum --check --quiet 2>/dev/null) | grep -c FAILED || true)
if [[ "$differing" -gt 0 ]]; then
  echo "corpus: warning: $differing files differ from the manifest's bytes;" \
       "results will not compare with runs on the listed versions" >&2
fi
files=$(wc -l <<<"$entries")
echo "corpus: $files files in $folder"
