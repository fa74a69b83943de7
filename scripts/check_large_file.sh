#!/usr/bin/env bash
# Converts a very large generated MGF file (5 GB by default) and checks the
# tally against independent counts, so that no 32-bit size, offset or
# counter hides anywhere. Not part of CI: it needs about 11 GB of disk and
# a few minutes.
#
# Usage: scripts/check_large_file.sh [SIZE_MB] [SCRATCH_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-5000}
scratch=${2:-$(mktemp -d)}
generator=${MAKE_MGF:-"$here/../shared/bench/make_mgf.py"}
binary="$here/build/release/mspforge"
mkdir -p "$scratch"
input="$scratch/large-${size_mb}mb.mgf"
output="$scratch/large-${size_mb}mb.msp"

[ -x "$binary" ] || cmake --workflow --preset test >/dev/null
[ -f "$input" ] || python3 "$generator" "$input" "$size_mb" 1

echo "input: $(stat -c %s "$input") bytes"
/usr/bin/time -v "$binary" "$input" "$output" 2> "$scratch/time.log" | tee "$scratch/tally.txt"
grep -E 'Maximum resident|Elapsed' "$scratch/time.log"

read -r total ignored rejected written < <(LC_ALL=C awk -f "$here/scripts/independent_tally.awk" "$input")
begins=$(LC_ALL=C grep -c '^BEGIN IONS' "$input")
names=$(LC_ALL=C grep -c '^Name: ' "$output")
echo "independent: records $total (BEGIN IONS lines $begins), no peaks $ignored, rejected $rejected, written $written"
echo "output: $names records, $(stat -c %s "$output") bytes"

expected="Total spectra = $total"
[ "$ignored" -ne 0 ] && expected+=" Ignored spectra(no peaks) = $ignored"
[ "$rejected" -ne 0 ] && expected+=" Unrecognized format $rejected spectra"
status=0
[ "$(cat "$scratch/tally.txt")" = "$expected" ] || { echo "MISMATCH: expected '$expected'"; status=1; }
[ "$names" -eq "$written" ] || { echo "MISMATCH: output holds $names records, expected $written"; status=1; }
[ "$status" -eq 0 ] && echo "large-file check passed"
exit "$status"
