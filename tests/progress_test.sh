#!/usr/bin/env bash
# Progress on standard error: redrawn on a terminal (a pseudo-terminal made
# by script(1)) once a run lasts more than a second, logged with
# --progress when standard error is a file, and never shown otherwise.
# Usage: tests/progress_test.sh MSPFORGE_BINARY [EMULATOR ARGS...]
set -euo pipefail
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command=("$@" "$binary")
mgf=$here/tests/data/corpus/gnps-library-pesticides.mgf

# Runs mspforge with the given options on an input that arrives through a
# FIFO after 1.5 s, so that the run lasts longer than a second.
slow_run() {
  rm -f "$work/in.fifo"
  mkfifo "$work/in.fifo"
  (sleep 1.5; cat "$mgf") > "$work/in.fifo" &
  "$@"
  wait
}

quoted=$(printf "'%s' " "${command[@]}")
slow_run script -qec "$quoted '$work/in.fifo' '$work/out.msp'" /dev/null > "$work/tty.txt"
grep -q $'\rmspforge: .* spectra, ' "$work/tty.txt" ||
  { echo "no progress line on a terminal:"; od -c "$work/tty.txt" | head; exit 1; }
grep -q $'76 spectra.*\r*\n' "$work/tty.txt"
grep -q 'Total spectra = 76' "$work/tty.txt"
echo "progress redrawn on a terminal"

slow_run script -qec "$quoted --no-progress '$work/in.fifo' '$work/out.msp'" /dev/null > "$work/tty.txt"
if grep -q 'spectra, ' "$work/tty.txt"; then
  echo "--no-progress showed progress"; exit 1
fi
echo "--no-progress: none"

slow_run "${command[@]}" "$work/in.fifo" "$work/out.msp" > /dev/null 2> "$work/err.txt"
if [ -s "$work/err.txt" ]; then
  echo "progress without a terminal:"; cat "$work/err.txt"; exit 1
fi
echo "no terminal: none"

slow_run "${command[@]}" --progress "$work/in.fifo" "$work/out.msp" > /dev/null 2> "$work/err.txt"
grep -q '^mspforge: .* 76 spectra, ' "$work/err.txt"
if grep -q $'\r' "$work/err.txt"; then echo "a log got redrawn lines"; exit 1; fi
echo "--progress into a log: $(wc -l < "$work/err.txt") lines"
cmp "$work/out.msp" <("${command[@]}" "$mgf" /dev/stdout 2>/dev/null)
