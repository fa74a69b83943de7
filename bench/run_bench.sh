#!/usr/bin/env bash
# Measures mspforge against the copy floor on generated MGF files, the way
# docs/performance.md reports it. For each size and for the output on
# tmpfs (/dev/shm) and on disk (SCRATCH):
#   - wall time of `dd if=F of=OUT bs=1M`, of `mspforge F OUT` (one thread
#     per core), of `mspforge -T 1 F OUT` (one converting thread beside the
#     reading and writing ones), alternating, warm page cache, medians of
#     RUNS runs; MB/s of input and the ratios to dd;
#   - peak resident memory of mspforge (GNU time);
# then, on the first size with the output on tmpfs:
#   - -T 1, 2, 4 and 8 against each other;
#   - each size with the output to /dev/null, dd beside: MB/s, and the
#     last size's against the first's;
#   - the input through a pipe (`cat F | mspforge - OUT`) and with
#     --progress logged to a file, against the file path;
#   - the gzip-compressed input against `gzip -dc F > /dev/null` alone;
#   - a gigabyte of bytes without a line end before the first record, as
#     a file, gzip-compressed and through a pipe: MB/s and peak memory;
#   - the input truncated at random moments of a default run, TRIES times:
#     how many ended with exit 3 and the message of a file cut short;
#   - the instructions per input byte (callgrind, the whole process and
#     all its threads) on a 10 MB file.
# The inputs are made by make_mgf.py (MAKE_MGF, by default the copy beside
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
tries=${TRIES:-20}
generator=${MAKE_MGF:-"$here/../shared/bench/make_mgf.py"}
binary="$here/build/release/mspforge"

mkdir -p "$scratch"
[ -x "$binary" ] || cmake --workflow --preset test >/dev/null

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
seconds() {
  local start end
  start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N)
  calc "$end - $start"
}
calc() { awk "BEGIN { print $1 }"; }

printf '%-8s %-6s %9s %14s %7s %10s %14s %7s\n' input output "dd MB/s" \
  "mspforge MB/s" ratio "peak RSS" "-T 1 MB/s" ratio
first=""
for mb in "${sizes[@]}"; do
  input="$scratch/bench${mb}m.mgf"
  [ -f "$input" ] || python3 "$generator" "$input" "$mb" 1 >/dev/null
  [ -n "$first" ] || first=$input
  bytes=$(stat -c %s "$input")
  for place in tmpfs disk; do
    if [ "$place" = tmpfs ]; then outdir=/dev/shm; else outdir=$scratch; fi
    cat "$input" >/dev/null  # warm the page cache
    copy=(); tool=(); single=()
    for _ in $(seq "$runs"); do
      copy+=("$(seconds dd if="$input" of="$outdir/copy.out" bs=1M)")
      rm -f "$outdir/copy.out"
      tool+=("$(seconds "$binary" "$input" "$outdir/out.msp")")
      rm -f "$outdir/out.msp"
      single+=("$(seconds "$binary" -T 1 "$input" "$outdir/out.msp")")
      rm -f "$outdir/out.msp"
    done
    c=$(printf '%s\n' "${copy[@]}" | median)
    t=$(printf '%s\n' "${tool[@]}" | median)
    s=$(printf '%s\n' "${single[@]}" | median)
    rss=$(/usr/bin/time -f %M "$binary" "$input" "$outdir/out.msp" 2>&1 >/dev/null | tail -1)
    rm -f "$outdir/out.msp"
    printf '%-8s %-6s %9.0f %14.0f %7.2f %6.1f MiB %14.0f %7.2f\n' \
      "${mb}MB" "$place" "$(calc "$bytes / $c / 1000000")" \
      "$(calc "$bytes / $t / 1000000")" "$(calc "$t / $c")" \
      "$(calc "$rss / 1024")" "$(calc "$bytes / $s / 1000000")" "$(calc "$s / $c")"
  done
done

# Thread counts, against each other, on tmpfs.
bytes=$(stat -c %s "$first")
declare -A byThreads
for _ in $(seq "$runs"); do
  for threads in 1 2 4 8; do
    byThreads[$threads]+="$(seconds "$binary" -T "$threads" "$first" /dev/shm/out.msp) "
  done
done
line="threads ($(nproc) cores):"
two=$(printf '%s\n' ${byThreads[2]} | median)
for threads in 1 2 4 8; do
  t=$(printf '%s\n' ${byThreads[$threads]} | median)
  line+=" -T $threads $(calc "$bytes / $t / 1000000" | cut -d. -f1) MB/s ($(printf %.2f "$(calc "$t / $two")") x -T 2);"
done
echo "$line"

# Each size with the output thrown away (/dev/null), alternating, dd
# beside: the conversion's own scaling with the input's size, without the
# kernel's allocation of a large file on tmpfs, which slows dd too.
line="output to /dev/null:"
declare -A nullRate
for mb in "${sizes[@]}"; do
  input="$scratch/bench${mb}m.mgf"
  cat "$input" >/dev/null
  copy=(); tool=()
  for _ in $(seq "$runs"); do
    copy+=("$(seconds dd if="$input" of=/dev/null bs=1M)")
    tool+=("$(seconds "$binary" "$input" /dev/null)")
  done
  bytes=$(stat -c %s "$input")
  nullRate[$mb]=$(calc "$bytes / $(printf '%s\n' "${tool[@]}" | median) / 1000000")
  line+=" ${mb}MB $(printf %.0f "${nullRate[$mb]}") MB/s (dd $(printf %.0f "$(calc "$bytes / $(printf '%s\n' "${copy[@]}" | median) / 1000000")"));"
done
last=${sizes[${#sizes[@]}-1]}
line+=" ${last}MB against ${sizes[0]}MB: $(printf %.2f "$(calc "${nullRate[$last]} / ${nullRate[${sizes[0]}]}")") x the MB/s"
echo "$line"
bytes=$(stat -c %s "$first")

# The pipe, the progress display and gzip, against the file path, on tmpfs.
compressed="$first.gz"
[ -f "$compressed" ] || gzip -1 -c "$first" >"$compressed"
file=(); pipe=(); progress=(); gz=(); gunzip=()
for _ in $(seq "$runs"); do
  file+=("$(seconds "$binary" "$first" /dev/shm/out.msp)")
  pipe+=("$(seconds sh -c 'cat "$1" | "$2" - /dev/shm/out.msp' _ "$first" "$binary")")
  progress+=("$(seconds sh -c '"$2" --progress "$1" /dev/shm/out.msp 2>/dev/shm/progress.log' _ "$first" "$binary")")
  gz+=("$(seconds "$binary" "$compressed" /dev/shm/out.msp)")
  gunzip+=("$(seconds sh -c 'gzip -dc "$1" >/dev/null' _ "$compressed")")
done
rm -f /dev/shm/out.msp /dev/shm/progress.log
f=$(printf '%s\n' "${file[@]}" | median)
p=$(printf '%s\n' "${pipe[@]}" | median)
g=$(printf '%s\n' "${progress[@]}" | median)
z=$(printf '%s\n' "${gz[@]}" | median)
u=$(printf '%s\n' "${gunzip[@]}" | median)
printf 'file %.0f MB/s, through a pipe %.0f MB/s (%.2f x the file), with --progress %.0f MB/s (%.2f x)\n' \
  "$(calc "$bytes / $f / 1000000")" "$(calc "$bytes / $p / 1000000")" "$(calc "$p / $f")" \
  "$(calc "$bytes / $g / 1000000")" "$(calc "$g / $f")"
printf 'gzip input %.2f s, gzip -dc alone %.2f s (%.2f x)\n' "$z" "$u" "$(calc "$z / $u")"

# A gigabyte without a line end before the first record.
junk="$scratch/junk1000m.mgf"
if [ ! -f "$junk" ]; then
  head -c 1000000000 /dev/zero >"$junk"
  cat "$first" >>"$junk"
  gzip -1 -c "$junk" >"$junk.gz"
fi
junkBytes=$(stat -c %s "$junk")
cat "$junk" "$junk.gz" >/dev/null  # warm the page cache, as for the rest
for form in file gzip pipe; do
  case $form in
    file) run=("$binary" "$junk" /dev/shm/out.msp) ;;
    gzip) run=("$binary" "$junk.gz" /dev/shm/out.msp) ;;
    pipe) run=(sh -c 'cat "$1" | "$2" - /dev/shm/out.msp' _ "$junk" "$binary") ;;
  esac
  t=$(seconds "${run[@]}")
  rss=$(/usr/bin/time -f %M "${run[@]}" 2>&1 >/dev/null | tail -1)
  printf 'junk before the first record, %s: %.0f MB/s, peak %.1f MiB\n' "$form" \
    "$(calc "$junkBytes / $t / 1000000")" "$(calc "$rss / 1024")"
done
rm -f /dev/shm/out.msp

# Truncation at random moments of a default run.
cut_ok=0
for _ in $(seq "$tries"); do
  cp "$first" "$scratch/cut.mgf"
  "$binary" "$scratch/cut.mgf" /dev/shm/out.msp >/dev/null 2>"$scratch/cut.err" &
  pid=$!
  # Cut only once the run holds the file open: a file cut before it is
  # opened is a shorter file, read whole.
  for _ in $(seq 500); do
    ls -l "/proc/$pid/fd" 2>/dev/null | grep -q 'cut\.mgf$' && break
    sleep 0.01
  done
  sleep "0.$((RANDOM % 5 + 1))"
  truncate -s "$((RANDOM * 20000))" "$scratch/cut.mgf"
  status=0
  wait "$pid" || status=$?
  if [ "$status" = 3 ] && grep -q 'cut short or rewritten while it was read' "$scratch/cut.err"; then
    cut_ok=$((cut_ok + 1))
  else
    echo "truncated run: exit $status: $(cat "$scratch/cut.err")"
  fi
done
rm -f "$scratch/cut.mgf" "$scratch/cut.err" /dev/shm/out.msp
echo "truncated at random moments: $cut_ok of $tries runs ended with exit 3 and the message of a file cut short"

small="$scratch/bench10m.mgf"
[ -f "$small" ] || python3 "$generator" "$small" 10 1 >/dev/null
for threads in 0 1; do
  valgrind --tool=callgrind --callgrind-out-file="$scratch/callgrind.out" \
    "$binary" -T "$([ "$threads" = 0 ] && nproc || echo 1)" "$small" "$scratch/out.msp" \
    2> "$scratch/callgrind.log" >/dev/null
  instructions=$(grep -oE 'refs: +[0-9,]+' "$scratch/callgrind.log" | tr -dc 0-9)
  echo "instructions per input byte (callgrind, all threads, 10 MB file," \
    "$([ "$threads" = 0 ] && echo "$(nproc) threads" || echo "1 thread")):" \
    "$(calc "$instructions / $(stat -c %s "$small")")"
done
rm -f "$scratch/out.msp"
