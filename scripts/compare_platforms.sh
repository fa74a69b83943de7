#!/usr/bin/env bash
# Converts every test input with the x86-64 Linux build, the arm64 build
# (through qemu) and the Windows build (through Wine), and checks that the
# arm64 output file and standard output are byte for byte the x86-64 ones,
# and the Windows ones the same with every LF written as CR LF.
# Usage: scripts/compare_platforms.sh
#   (after the test, linux-arm64 and windows workflows)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
native="$here/build/release/mspforge"
arm64="$here/build/linux-arm64/mspforge"
windows="$here/build/windows/mspforge.exe"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Inserts a CR before every LF, as the Windows build must.
crlf() { perl -pe 's/\n/\r\n/g' "$1"; }

inputs=("$here"/examples/*.mgf "$here"/tests/data/corpus/*.mgf "$here"/fuzz/seeds/*.mgf)
python3 - "$work/generated.mgf" <<'PY' || true
import sys
# A generated library with every line-end oddity the reader knows.
parts = []
for i in range(300):
    end = ["\n", "\r\n"][i % 2]
    parts.append(f"BEGIN IONS{end}NAME=Compound {i} M{'+-'[i % 2]}H{end}"
                 f"IONMODE={['Negative', 'positive'][i % 2]}{end}CHARGE={i % 3}{'-' if i % 5 == 0 else ''}{end}"
                 f"MSLEVEL=2{end}PEPMASS={100 + i}.5 {i * 10}{end}"
                 f"{50 + i}.1\t{i}\r{end}{60 + i} 7{end}END IONS{end}")
open(sys.argv[1], "w", newline="").write("".join(parts))
PY
[ -s "$work/generated.mgf" ] && inputs+=("$work/generated.mgf")

compared=0
for input in "${inputs[@]}"; do
  name=$(basename "$input")
  "$native" "$input" "$work/native.msp" > "$work/native.out" || true
  qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib:/usr/lib/aarch64-linux-gnu "$arm64" "$input" "$work/arm64.msp" \
    > "$work/arm64.out" || true
  WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= "$wine" "$windows" "$input" "$work/windows.msp" \
    > "$work/windows.out" || true
  cmp -s "$work/native.msp" "$work/arm64.msp" ||
    { echo "arm64 output differs on $name"; exit 1; }
  cmp -s "$work/native.out" "$work/arm64.out" ||
    { echo "arm64 tally differs on $name"; exit 1; }
  crlf "$work/native.msp" | cmp -s - "$work/windows.msp" ||
    { echo "Windows output is not the Linux one with CR LF on $name"; exit 1; }
  crlf "$work/native.out" | cmp -s - "$work/windows.out" ||
    { echo "Windows tally is not the Linux one with CR LF on $name"; exit 1; }
  compared=$((compared + 1))
done
echo "x86-64, arm64 and Windows agree on all $compared inputs"
