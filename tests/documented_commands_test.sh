#!/usr/bin/env bash
# The commands the documentation shows, run as written, as a user would
# run them, on the corpus:
#   - every example of the README, of --help and of the man page that runs
#     mspforge (and the man page's sed and find lines), each in a shell
#     with pipefail; it must succeed, and mspforge must not find an
#     argument it ignores or does not know;
#   - batch conversion as docs/development.md shows it: a directory of MGF
#     files, names with blanks included, converted in parallel with find
#     and xargs; then the Snakemake rule under contrib/, when snakemake is
#     installed.
# Usage: tests/documented_commands_test.sh MSPFORGE_BINARY [EMULATOR ARGS...]
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

corpus=$here/tests/data/corpus

# The examples, one command a line: from the README's sh blocks and from
# --help those that run mspforge; from the man page's EXAMPLES all, their
# roff escapes undone and a line ending in "|" joined to the next.
examples=$work/examples.txt
awk '/^```sh/ { inside = 1; next } /^```/ { inside = 0 }
     inside && ($1 == "mspforge" || /\| *mspforge /)' "$here/README.md" > "$examples"
mspforge --help | awk '/^Examples:/ { inside = 1; next }
  inside && /^  mspforge / { sub(/^  /, ""); print }' >> "$examples"
awk '/^\.SH EXAMPLES/ { inside = 1; next } /^\.SH / { inside = 0 }
     inside && /^\.nf/ { block = 1; next } /^\.fi/ { block = 0 }
     inside && block { if (held != "") { $0 = held " " $0; held = "" }
                       if (/\|$/) { held = $0; next } print }' \
    "$here/man/mspforge.1" |
  sed -e 's/\\(aq/'"'"'/g' -e 's/\\-/-/g' -e 's/\\e/\\/g' >> "$examples"
[ "$(grep -c . "$examples")" -ge 15 ] || { echo "too few examples found:"; cat "$examples"; exit 1; }

# The files they name, from the corpus and the example.
mkdir -p "$work/docs/data" "$work/docs/spectra"
(
  cd "$work/docs"
  cp "$here/examples/library.mgf" library.mgf
  cp "$here/examples/library.mgf" big.mgf
  cp "$corpus/gnps-library-pesticides.mgf" spectra.mgf
  gzip -c spectra.mgf > spectra.mgf.gz
  cp "$corpus/proteomics-tmt-msconvert-style.mgf" in.mgf
  gzip -c in.mgf > export.mgf.gz
  gzip -c library.mgf > lib.mgf.gz
  cp "$corpus/fbmn-feature-export-openms.mgf" features.mgf
  for name in gnps-library-embl-mcf mzmine-library-export crlf-with-comment-lines; do
    cp "$corpus/$name.mgf" data/
    cp "$corpus/$name.mgf" spectra/
  done
)
ran=0
while IFS= read -r example; do
  (cd "$work/docs" && bash -euo pipefail -c "$example" > out.txt 2> err.txt) ||
    { echo "FAILED: $example"; cat "$work/docs/err.txt"; exit 1; }
  if grep -E "ignoring arguments|unknown option|Usage:" "$work/docs/err.txt" "$work/docs/out.txt"; then
    echo "FAILED: $example: mspforge did not take it as written"; exit 1
  fi
  case $example in
    *report.tsv*\|*)  # the spectra left out: shown, and no written one
      [ -s "$work/docs/out.txt" ] && ! cut -f4 "$work/docs/out.txt" | grep -qx written ||
        { echo "FAILED: $example shows the wrong lines:"; cat "$work/docs/out.txt"; exit 1; } ;;
  esac
  ran=$((ran + 1))
done < "$examples"
[ -s "$work/docs/library.msp" ] && [ -s "$work/docs/features.msp" ] && [ -d "$work/docs/libraries" ]
echo "documented examples: $ran run as written"

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
