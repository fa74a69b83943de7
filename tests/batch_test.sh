#!/usr/bin/env bash
# Batch conversion as docs/development.md shows it: a directory of MGF files, names
# with blanks included, converted in parallel with find and xargs; then the
# Snakemake rule under contrib/, when snakemake is installed.
# Usage: tests/batch_test.sh MSPFORGE_BINARY [EMULATOR ARGS...]
# (an emulator such as qemu-aarch64 for a cross-built binary)
set -euo pipefail
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The commands below call mspforge by name, as a user would.
mkdir "$work/bin"
if [ $# -gt 0 ]; then
  printf '#!/bin/sh\nexec' > "$work/bin/mspforge"
  printf " '%s'" "$@" "$binary" >> "$work/bin/mspforge"
  printf ' "$@"\n' >> "$work/bin/mspforge"
  chmod +x "$work/bin/mspforge"
  binary=$work/bin/mspforge
else
  ln -s "$binary" "$work/bin/mspforge"
fi
export PATH="$work/bin:$PATH"

mkdir -p "$work/data/run 1" "$work/data/run2"
for name in "data/a.mgf" "data/run 1/b c.mgf" "data/run2/d.mgf"; do
  cp "$here/examples/library.mgf" "$work/$name"
done
cd "$work"
# The command of the "Batch conversion" section of docs/development.md.
find data -name '*.mgf' -print0 |
  xargs -0 -P"$(nproc)" -I{} sh -c 'mspforge "$1" "${1%.mgf}.msp" > "${1%.mgf}.tally"' _ {}
for name in "data/a" "data/run 1/b c" "data/run2/d"; do
  cmp "$name.msp" "$here/examples/library.msp"
  grep -qx 'Total spectra = 8 Ignored spectra(no peaks) = 1 Unrecognized format 1 spectra' "$name.tally"
done
echo "xargs batch conversion: 3 files converted"

# The README's sed line that gives MS-level-less exports an MS level: the
# msconvert-style file then converts whole, and the pipe through
# /dev/stdout carries records only, the tally going to standard error.
sed '/^BEGIN IONS/a MSLEVEL=2' "$here/tests/data/corpus/proteomics-tmt-msconvert-style.mgf" > tmt.mgf
mspforge tmt.mgf /dev/stdout 2> tmt.tally | gzip > tmt.msp.gz
grep -qx 'Total spectra = 7' tmt.tally
test "$(gzip -dc tmt.msp.gz | grep -c '^Name: ')" = 7
test "$(gzip -dc tmt.msp.gz | grep -c '^Spectrum_type: MS2$')" = 7
test "$(gzip -dc tmt.msp.gz | grep -c 'Total spectra')" = 0
echo "sed for a missing MS level, and a gzip pipe: 7 records"

if command -v snakemake >/dev/null 2>&1; then
  mkdir -p mgf
  cp "$here/examples/library.mgf" mgf/first.mgf
  cp "$here/examples/library.mgf" mgf/second.mgf
  snakemake --snakefile "$here/contrib/snakemake/Snakefile" --cores 2 \
    --quiet --config mgf_dir=mgf msp_dir=msp mspforge="$binary" > snakemake.log 2>&1 ||
    { cat snakemake.log; exit 1; }
  for name in first second; do
    cmp "msp/$name.msp" "$here/examples/library.msp"
  done
  echo "snakemake rule: 2 files converted"
else
  echo "snakemake not installed: its rule was not run"
fi
