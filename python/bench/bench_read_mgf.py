#!/usr/bin/env python3
"""read_mgf against a plain-Python MGF reader, on the same file.

Usage: bench_read_mgf.py FILE.mgf [RUNS]

Both readers do the same work per record: the header fields as a dict of
str, and the peaks as an n x 2 float64 NumPy array. The runs of the two
alternate, so that both meet the same machine; the figure is the fastest
of RUNS runs of each (default 3), in MB/s, and the ratio. read_mgf's CPU
time shows how much of a second core its reading thread took.
"""
import os
import sys
import time

import numpy as np

import mspforge


def plain_python_records(path):
    """A straightforward MGF reader: what a script would do by hand."""
    with open(path, "rb") as stream:
        fields, peaks, inside = {}, [], False
        for raw in stream:
            line = raw.decode("utf-8", "surrogateescape").rstrip("\r\n")
            if not inside:
                if line.startswith("BEGIN IONS"):
                    fields, peaks, inside = {}, [], True
                continue
            if "=" in line:
                key, _, value = line.partition("=")
                fields[key] = value
            elif line.startswith("END IONS"):
                inside = False
                yield fields, np.array(peaks, dtype=np.float64).reshape(-1, 2)
            else:
                words = line.split()
                if words:
                    try:
                        mz = float(words[0])
                    except ValueError:
                        continue
                    if mz >= 1.0:
                        peaks.append((mz, float(words[1]) if len(words) > 1 else float("nan")))


# Each loop takes every record's fields and peaks, as a script would, and
# counts them, so that nothing read goes unused.

def loop_read_mgf(path):
    count = peaks = 0
    for record in mspforge.read_mgf(path):
        fields, array = record.fields, record.peaks
        count += len(fields) > 0
        peaks += array.shape[0]
    return count, peaks


def loop_plain_python(path):
    count = peaks = 0
    for fields, array in plain_python_records(path):
        count += len(fields) > 0
        peaks += array.shape[0]
    return count, peaks


def timed(loop, path):
    start, cpu = time.perf_counter(), time.process_time()
    result = loop(path)
    return time.perf_counter() - start, time.process_time() - cpu, result


def main():
    path = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    megabytes = os.path.getsize(path) / 1e6
    fast = slow = (float("inf"), 0.0, None)
    for _ in range(runs):
        fast = min(fast, timed(loop_read_mgf, path), key=lambda run: run[0])
        slow = min(slow, timed(loop_plain_python, path), key=lambda run: run[0])
    (fast_s, fast_cpu, (records, peaks)), (slow_s, _, plain) = fast, slow
    print(f"{megabytes:.0f} MB, {records} records, {peaks} peaks")
    print(f"mspforge.read_mgf: {fast_s:.3f} s, {megabytes / fast_s:.0f} MB/s "
          f"({fast_cpu:.3f} s of CPU)")
    print(f"plain Python:      {slow_s:.3f} s, {megabytes / slow_s:.0f} MB/s "
          f"({plain[0]} records, {plain[1]} peaks)")
    print(f"ratio: {slow_s / fast_s:.1f}x")


if __name__ == "__main__":
    main()
