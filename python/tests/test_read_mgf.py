"""read_mgf: records, their fields and peaks, as a script reads them."""
import errno
import gzip
import io
import os
import subprocess
import sys
import tracemalloc

import numpy as np
import pytest

import mspforge
from test_mspforge import GENERATOR, RECORD, generated  # noqa: F401 (a fixture)

def test_records_fields_peaks_and_msp(tmp_path):
    path = tmp_path / "one.mgf"
    path.write_bytes(b"COM=x\n" + RECORD + b"BEGIN IONS\nTITLE=t\nEND IONS\n")
    records = list(mspforge.read_mgf(path))
    assert [r.number for r in records] == [1, 2]
    assert [r.line for r in records] == [2, 12]
    first = records[0]
    assert list(first.fields) == ["NAME", "CHARGE", "MSLEVEL", "PEPMASS", "SMILES"]
    assert first.fields["NAME"] == "Caffeine M+H"
    assert first.fields["SMILES"].encode("utf-8", "surrogateescape") == b"caf\xe9"
    assert first.raw_fields[b"SMILES"] == b"caf\xe9"
    assert first.peaks.dtype == np.float64
    assert first.peaks.tolist() == [[138.0662, 100.0], [110.0713, 45.5]]
    assert first.peak_lines == [b"138.0662\t100\n", b"110.0713 45.5\n"]
    msp, _ = mspforge.convert_bytes(RECORD)
    assert first.to_msp() == msp
    assert records[1].to_msp() is None
    parts = mspforge.translate(first)
    assert parts.name == "Caffeine M+H"
    assert parts.library_fields["Precursor_type"] == "[M+H]+"
    assert parts.library_fields["PrecursorMZ"] == "195.0877"
    assert parts.comments == {"CHARGE": "1", "SMILES": "caf\udce9"}
    assert parts and parts.written and parts.reasons == ()
    name, library_fields, comments = parts
    assert (name, library_fields, comments) == (parts.name, parts.library_fields, parts.comments)
    # A record that would not be written says why, in the summary's words.
    rejected = mspforge.translate(records[1])
    assert not rejected and rejected.name == "t"
    assert rejected.reasons == ("without an MS level (MSLEVEL or MS_LEVEL)",
                                "without a precursor m/z (PEPMASS or PRECURSOR_MZ)",
                                "without peaks (peak lines below 1.0 do not count)")
    # A binary file object, and a gzip one, read the same.
    for source in (io.BytesIO(path.read_bytes()), io.BytesIO(gzip.compress(path.read_bytes()))):
        again = list(mspforge.read_mgf(source))
        assert [r.to_msp() for r in again] == [r.to_msp() for r in records]
    with pytest.raises(TypeError):
        list(mspforge.read_mgf(io.StringIO("BEGIN IONS\n")))
    with pytest.raises(FileNotFoundError):
        list(mspforge.read_mgf(tmp_path / "missing.mgf"))


def test_records_outlive_their_batch_and_the_reader(generated):
    # Records are handed out from batches that are reused: one that is
    # kept must keep its own bytes, however the reader moves on or closes.
    streamed = [(r.number, r.to_msp(), r.peaks.tolist()) for r in mspforge.read_mgf(generated)]
    kept = list(mspforge.read_mgf(generated))
    assert len(kept) > 1000
    assert [(r.number, r.to_msp(), r.peaks.tolist()) for r in kept] == streamed
    with mspforge.read_mgf(generated) as reader:
        first = next(reader)
        fields = first.fields
    assert fields is first.fields and first.fields["MSLEVEL"] == "2"
    assert (first.number, first.to_msp(), first.peaks.tolist()) == streamed[0]
    assert list(reader) == []


def test_reading_stops_cleanly_early_or_on_damage(generated, tmp_path):
    fds = len(os.listdir("/proc/self/fd")) if os.path.isdir("/proc/self/fd") else None
    for _ in range(20):
        for record in mspforge.read_mgf(generated):
            break
    if fds is not None:
        assert len(os.listdir("/proc/self/fd")) == fds
    data = generated.read_bytes()
    bad = tmp_path / "cut.mgf.gz"
    bad.write_bytes(gzip.compress(data)[: len(data) // 8])
    count = 0
    with pytest.raises(OSError) as cut:
        for _ in mspforge.read_mgf(bad):
            count += 1
    assert cut.value.errno == errno.EIO and cut.value.filename == str(bad)
    assert count > 100


def test_reading_a_large_file_takes_constant_memory(tmp_path):
    if not GENERATOR.exists():
        pytest.skip(f"no generator at {GENERATOR}")
    path = tmp_path / "large.mgf"
    subprocess.run(["python3", str(GENERATOR), str(path), "60", "3"], check=True,
                   capture_output=True)
    tracemalloc.start()
    count = 0
    peaks = 0
    for record in mspforge.read_mgf(path):
        count += 1
        peaks += len(record.peaks)
    _, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    assert count > 30000
    # Python objects alive at once: one record, not the file.
    assert peak < 2 << 20, peak
    # And the process as a whole, records read ahead included: its peak
    # resident memory grows by a few MiB, not by the 60 MB of the file.
    script = ("import resource, sys, numpy, mspforge\n"
              "if len(sys.argv) > 1:\n"
              "    for r in mspforge.read_mgf(sys.argv[1]): r.fields; r.peaks\n"
              "print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)\n")
    def peak_kib(*args):
        run = subprocess.run([sys.executable, "-c", script, *map(str, args)],
                             check=True, capture_output=True, text=True)
        return int(run.stdout)
    assert peak_kib(path) - peak_kib() < 24 << 10
