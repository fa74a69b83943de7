#!/usr/bin/env bash
# Measures mspforge against the copy floor on generated MGF files, the way
# the Performance section of the README reports it:
#   - wall time of `mspforge F OUT` and of a read()/write() copy of F in
#     1 MiB blocks (dd) to the same directory, alternating, warm page
#     cache, medians of RUNS runs each; MB/s of input and the ratio;
#   - peak resident memory of mspforge (GNU time -v) on each file;
#   - user-space instructions per input byte (callgrind) on the 100 MB file.
# The files are made by make_mgf.py (MAKE_MGF, by default the copy beside
# the repository) in SCRATCH, outside the repository, once.
#
# Usage: bench/run_bench.sh [SCRATCH] [SIZES_MB...]     (default: 1000 4000)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=${1:-/tmp/mspforge-bench}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 4000)
runs=${RUNS:-5}
generator=${MAKE_MGF:-"$here/../shared/bench/make_mgf.py"}
binary="$here/build/release/mspforge"
mkdir -p "$scratch"
[ -x "$binary" ] || cmake --workflow --preset test >/dev/null

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N); calc "$end - $start"; }
calc() { awk "BEGIN { print $1 }"; }

printf '%-10s %12s %12s %10s %10s %8s %14s\n' file bytes "copy MB/s" "mspforge MB/s" "" ratio "peak RSS KiB"
for mb in "${sizes[@]}"; do
  input="$scratch/bench${mb}m.mgf"
  [ -f "$input" ] || python3 "$generator" "$input" "$mb" 1 >/dev/null
  bytes=$(stat -c %s "$input")
  cat "$input" >/dev/null  # warm the page cache
  copy_times=(); tool_times=()
  for _ in $(seq "$runs"); do
    copy_times+=("$(seconds dd if="$input" of="$scratch/copy.out" bs=1M)")
    tool_times+=("$(seconds "$binary" "$input" "$scratch/out.msp")")
  done
  copy=$(printf '%s\n' "${copy_times[@]}" | median)
  tool=$(printf '%s\n' "${tool_times[@]}" | median)
  rss=$(/usr/bin/time -f %M "$binary" "$input" "$scratch/out.msp" 2>&1 >/dev/null | tail -1)
  printf '%-10s %12d %12.0f %10.0f %10s %8.2f %14d\n' "${mb}MB" "$bytes" \
    "$(calc "$bytes / $copy / 1000000")" "$(calc "$bytes / $tool / 1000000")" "" \
    "$(calc "$tool / $copy")" "$rss"
  rm -f "$scratch/copy.out" "$scratch/out.msp"
done

small="$scratch/bench100m.mgf"
[ -f "$small" ] || python3 "$generator" "$small" 100 1 >/dev/null
valgrind --tool=callgrind --callgrind-out-file="$scratch/callgrind.out" \
  "$binary" "$small" "$scratch/out.msp" 2> "$scratch/callgrind.log" >/dev/null
instructions=$(grep -oE 'refs: +[0-9,]+' "$scratch/callgrind.log" | tr -dc 0-9)
echo "instructions per input byte (callgrind, 100 MB file): $(calc "$instructions / $(stat -c %s "$small")")"
rm -f "$scratch/out.msp"
