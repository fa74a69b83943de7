#!/usr/bin/env bash
# Loads the libraries of each --for layout into the real reader it is for
# (../shared/readers: MS-DIAL's, matchms's and OpenMS's own parsing code)
# and fails when that reader reads a fact right less often than the
# default layout's text holds it.
#
#   scripts/check_readers.sh [MSPFORGE]     (default: build/release/mspforge)
#
# The readers are built into build/readers (READERS_OUT); their Debian
# packages are listed in ../shared/readers/README.md (.ci/run installs
# them). Each layout is checked on the corpus and a generated library, with
# --default MSLEVEL=2, by the readers' scorer; scripts/compare_readers.py
# holds the rules of the comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(realpath "${1:-build/release/mspforge}")
readers=$(realpath ../shared/readers)
out=${READERS_OUT:-$PWD/build/readers}
mkdir -p "$out"
export READERS_OUT=$out
"$readers/build_readers.sh"

# What the default (NIST) layout holds: its own text, read generously.
WORK=$out/work-nist READERS=none "$readers/check_readers.sh" "$bin" > "$out/work-nist.txt"
status=0
for layout in msdial matchms openms; do
  case $layout in
    msdial) reader=msdial ;;
    matchms) reader=matchms ;;
    openms) reader=openms_src ;;  # OpenMS's current MSPGenericFile
  esac
  WORK=$out/work-$layout READERS=$reader "$readers/check_readers.sh" "$bin" \
    --for "$layout" > "$out/work-$layout.txt"
  sed -n "/^fact/,/^peaks/p" "$out/work-$layout.txt"
  python3 scripts/compare_readers.py "$out/work-nist/table.json" "$out/work-$layout" \
    "$layout" || status=1
done
exit $status
