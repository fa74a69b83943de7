#!/usr/bin/env python3
"""read_mgf against a plain-Python MGF reader, on the same file.

Usage: bench_read_mgf.py FILE.mgf [RUNS]

Both readers do the same work per record: the header fields as a dict of
str, and the peaks as an n x 2 float64 NumPy array. The figure is the
fastest of RUNS runs (default 3), in MB/s, and the ratio.
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


def with_read_mgf(path):
    for record in mspforge.read_mgf(path):
        yield record.fields, record.peaks


def measure(reader, path, runs):
    best = float("inf")
    count = peaks = 0
    for _ in range(runs):
        start = time.perf_counter()
        count = peaks = 0
        for fields, array in reader(path):
            count += 1
            peaks += array.shape[0]
        best = min(best, time.perf_counter() - start)
    return best, count, peaks


def main():
    path = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    megabytes = os.path.getsize(path) / 1e6
    fast, records, peaks = measure(with_read_mgf, path, runs)
    slow, records_plain, peaks_plain = measure(plain_python_records, path, runs)
    print(f"{megabytes:.0f} MB, {records} records, {peaks} peaks")
    print(f"mspforge.read_mgf: {fast:.2f} s, {megabytes / fast:.0f} MB/s")
    print(f"plain Python:      {slow:.2f} s, {megabytes / slow:.0f} MB/s "
          f"({records_plain} records, {peaks_plain} peaks)")
    print(f"ratio: {slow / fast:.1f}x")


if __name__ == "__main__":
    main()
