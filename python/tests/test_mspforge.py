"""The Python API against the command: the same bytes, the same rules."""
import errno
import gzip
import math
import os
import pathlib
import re
import subprocess

import numpy as np
import pytest

import mspforge

ROOT = pathlib.Path(__file__).resolve().parents[2]
CORPUS = ROOT / "tests" / "data" / "corpus"
COMMAND = pathlib.Path(os.environ.get("MSPFORGE_BINARY", ROOT / "build/release/mspforge"))
GENERATOR = pathlib.Path(os.environ.get("MAKE_MGF", ROOT.parent / "shared/bench/make_mgf.py"))
CORPUS_FILES = sorted(CORPUS.glob("*.mgf"))

RECORD = (b"BEGIN IONS\nNAME=Caffeine M+H\nCHARGE=1\nMSLEVEL=2\nPEPMASS=195.0877 12\n"
          b"SMILES=caf\xe9\n138.0662\t100\n110.0713 45.5\n0.5 3\nEND IONS\n")


# A decimal as std::from_chars reads one, for the peaks' numbers.
NUMBER = re.compile(rb"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?")


def plain_peak_numbers(line):
    """The first two numbers of a peak line, NaN where one is missing."""
    numbers, at = [], 0
    for _ in range(2):
        while at < len(line) and line[at] in b" \t\n\v\f\r":
            at += 1
        found = NUMBER.match(line, at + (line[at:at + 1] == b"+"))
        if found is None:
            break
        numbers.append(float(found.group()))
        at = found.end()
    return numbers + [math.nan] * (2 - len(numbers))


def command(*args, cwd=None):
    if not COMMAND.exists():
        pytest.skip(f"no mspforge command at {COMMAND}")
    return subprocess.run([str(COMMAND), *map(str, args)], capture_output=True, cwd=cwd)


@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    if not GENERATOR.exists():
        pytest.skip(f"no generator at {GENERATOR}")
    path = tmp_path_factory.mktemp("generated") / "library.mgf"
    subprocess.run(["python3", str(GENERATOR), str(path), "5", "7"], check=True,
                   capture_output=True)
    return path


@pytest.mark.parametrize("mgf", CORPUS_FILES, ids=lambda p: p.name)
def test_convert_gives_the_commands_bytes(mgf, tmp_path):
    run = command(mgf, tmp_path / "command.msp")
    tally = mspforge.convert(mgf, tmp_path / "python.msp")
    assert (tmp_path / "python.msp").read_bytes() == (tmp_path / "command.msp").read_bytes()
    assert str(tally) + "\n" == run.stdout.decode()
    # The same summary, its remedies said to Python.
    assert "--" not in tally.summary
    def told(summary):
        return [line for line in summary.splitlines()
                if not re.search(r"--|defaults=|name=", line)]
    assert told(tally.summary) == told(run.stderr.decode())
    assert tally.summary.count("\n") == run.stderr.decode().count("\n")
    assert tally.total == tally.ignored + tally.unrecognized + tally.written
    msp, in_memory = mspforge.convert_bytes(mgf.read_bytes())
    assert msp == (tmp_path / "command.msp").read_bytes()
    assert str(in_memory) == str(tally)
    # The records one by one: the same MSP, and the peaks' numbers.
    written = []
    for record in mspforge.read_mgf(mgf):
        written.append(record.to_msp() or b"")
        expected = [plain_peak_numbers(line) for line in record.peak_lines]
        np.testing.assert_array_equal(record.peaks, np.array(expected).reshape(-1, 2))
    assert b"".join(written) == msp


def test_generated_library_and_defaults(generated, tmp_path):
    command(generated, tmp_path / "command.msp")
    mspforge.convert(str(generated), str(tmp_path / "python.msp"))
    assert (tmp_path / "python.msp").read_bytes() == (tmp_path / "command.msp").read_bytes()
    tmt = CORPUS / "proteomics-tmt-msconvert-style.mgf"
    command("--default", "MSLEVEL=2", tmt, tmp_path / "command.msp")
    tally = mspforge.convert(tmt, tmp_path / "python.msp", defaults={"MSLEVEL": "2"})
    assert tally.written == 7
    assert (tmp_path / "python.msp").read_bytes() == (tmp_path / "command.msp").read_bytes()
    # read_mgf takes the defaults with convert's meaning, fields included.
    records = list(mspforge.read_mgf(tmt, defaults={"MSLEVEL": "2", "CHARGE": "9"}))
    assert all(r.fields["MSLEVEL"] == "2" and r.raw_fields[b"MSLEVEL"] == b"2" for r in records)
    assert [r.fields.get("CHARGE") for r in records].count("9") == 1  # the one without
    records = mspforge.read_mgf(tmt, defaults={"MSLEVEL": "2"})
    assert b"".join(r.to_msp() for r in records) == (tmp_path / "command.msp").read_bytes()
    with pytest.raises(ValueError):
        mspforge.read_mgf(tmt, defaults={"MSLEVEL": "2\n"})


def test_names_for_unnamed_spectra_and_unfinished_ones(tmp_path):
    features = CORPUS / "fbmn-feature-export-openms.mgf"
    unnamed = mspforge.convert(features, tmp_path / "unnamed.msp")
    assert unnamed.written == 0
    assert 'pass name="Feature {FEATURE_ID}"' in unnamed.summary
    command("--name", "Feature {FEATURE_ID}", features, tmp_path / "command.msp")
    tally = mspforge.convert(features, tmp_path / "python.msp", name="Feature {FEATURE_ID}")
    assert tally.written == 199 and tally.adducts_from_charge == 199
    assert tally.summary == ("mspforge: 199 of 199 written spectra have a Precursor_type "
                             "guessed from their charge: check them, or state ADDUCT/ION\n")
    assert (tmp_path / "python.msp").read_bytes() == (tmp_path / "command.msp").read_bytes()
    converter = mspforge.Converter(name="Feature {FEATURE_ID}")
    streamed = converter.feed(features.read_bytes())
    assert converter.finish().written == 199
    assert streamed + converter.rest() == (tmp_path / "command.msp").read_bytes()
    records = mspforge.read_mgf(features, name="Feature {FEATURE_ID}")
    assert b"".join(r.to_msp() for r in records) == (tmp_path / "command.msp").read_bytes()
    unnamed = mspforge.translate(next(mspforge.read_mgf(features)))
    assert not unnamed and unnamed.reasons == (
        "without a compound name (NAME, COMPOUND_NAME or TITLE)",)
    with pytest.raises(ValueError):
        mspforge.convert_bytes(RECORD, name=" ")
    # A record without END IONS: left out, counted, and said.
    msp, cut = mspforge.convert_bytes(b"BEGIN IONS\nNAME=a\n100 1\n" + RECORD)
    assert (cut.total, cut.unterminated, cut.first_unterminated_line) == (1, 1, 1)
    assert msp.count(b"Name: ") == 1
    assert "line 1" in cut.summary


@pytest.mark.parametrize("target", ["msdial", "matchms", "openms"])
def test_each_target_gives_the_commands_layout(target, tmp_path):
    mgf = CORPUS / "gnps-library-pesticides.mgf"
    command("--for", target, mgf, tmp_path / "command.msp")
    mspforge.convert(mgf, tmp_path / "python.msp", target=target)
    expected = (tmp_path / "command.msp").read_bytes()
    assert expected.startswith(b"NAME: ")
    assert (tmp_path / "python.msp").read_bytes() == expected
    assert mspforge.convert_bytes(mgf.read_bytes(), target=target)[0] == expected
    converter = mspforge.Converter(target=target)
    assert converter.feed(mgf.read_bytes()) + (converter.finish(), converter.rest())[1] == expected
    with pytest.raises(ValueError):
        mspforge.convert_bytes(RECORD, target="NIST")


def test_streaming_in_pieces_with_gzip(tmp_path):
    mgf = (CORPUS / "gnps-library-pesticides.mgf").read_bytes()
    whole, tally = mspforge.convert_bytes(mgf)
    for data in (mgf, gzip.compress(mgf), gzip.compress(mgf[:5000]) + gzip.compress(mgf[5000:])):
        converter = mspforge.Converter()
        out = b"".join(converter.feed(data[i:i + 777]) for i in range(0, len(data), 777))
        streamed = converter.finish()
        out += converter.rest()
        assert out == whole
        assert str(streamed) == str(tally)
    converter = mspforge.Converter()
    with pytest.raises(OSError) as damaged:
        converter.feed(gzip.compress(mgf)[:3000])
        converter.finish()
    assert damaged.value.errno == errno.EIO
    with pytest.raises(ValueError):
        converter.feed(b"")


def test_error_paths(tmp_path):
    mgf = tmp_path / "spectra.mgf"
    mgf.write_bytes(RECORD)
    cases = [
        (tmp_path / "missing.mgf", tmp_path / "out.msp", FileNotFoundError, errno.ENOENT),
        (tmp_path, tmp_path / "out.msp", IsADirectoryError, errno.EISDIR),
        (mgf, tmp_path / "no" / "out.msp", FileNotFoundError, errno.ENOENT),
        (tmp_path / "out.msp", mgf, FileExistsError, errno.EEXIST),  # paths swapped
    ]
    (tmp_path / "out.msp").write_bytes(b"")
    for source, target, kind, code in cases:
        with pytest.raises(kind) as failure:
            mspforge.convert(source, target)
        assert failure.value.errno == code
        assert failure.value.filename in (str(source), str(target))
    assert mgf.read_bytes() == RECORD
    bad = tmp_path / "bad.mgf.gz"
    bad.write_bytes(gzip.compress(RECORD * 100)[:-10])
    with pytest.raises(OSError) as truncated:
        mspforge.convert(bad, tmp_path / "out.msp")
    assert truncated.value.errno == errno.EIO
    assert "ends early" in str(truncated.value)


def test_readme_examples_run_as_written(tmp_path, monkeypatch, capsys):
    # The README's Python blocks, one after another in one namespace, on
    # corpus files under the names they use.
    readme = (ROOT / "README.md").read_text()
    blocks = re.findall(r"^```python\n(.*?)^```", readme, re.S | re.M)
    assert len(blocks) >= 3
    monkeypatch.chdir(tmp_path)
    spectra = (CORPUS / "gnps-library-embl-mcf.mgf").read_bytes()
    (tmp_path / "spectra.mgf").write_bytes(spectra)
    (tmp_path / "spectra.mgf.gz").write_bytes(gzip.compress(spectra))
    (tmp_path / "library.mgf.gz").write_bytes(gzip.compress(spectra))
    (tmp_path / "features.mgf").write_bytes(
        (CORPUS / "fbmn-feature-export-openms.mgf").read_bytes())
    namespace = {}
    for block in blocks:
        exec(compile(block, "README.md", "exec"), namespace)
    assert (tmp_path / "features.msp").read_bytes().count(b"Name: Feature ") == 199
    assert (tmp_path / "library.msp").stat().st_size > 0
    assert (tmp_path / "for-msdial.msp").stat().st_size > 0
    assert "Total spectra = 30" in capsys.readouterr().out
