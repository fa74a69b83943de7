"""mspforge: MGF peak lists into MSP spectral-library text.

The conversion is the mspforge command's, byte for byte, run by the same
C++ library; the GIL is released while it runs.

    import mspforge
    tally = mspforge.convert("spectra.mgf", "library.msp")
    print(tally)            # Total spectra = 76
    print(tally.summary)    # what was not written and why, if anything

    for record in mspforge.read_mgf("spectra.mgf.gz"):
        mz, intensity = record.peaks[:, 0], record.peaks[:, 1]

Text: MGF keys and values are bytes. ``Record.fields`` gives them as str,
decoded as UTF-8 with every byte that is not valid UTF-8 kept as a lone
surrogate ("surrogateescape"), so ``value.encode("utf-8",
"surrogateescape")`` gives back the bytes; ``Record.raw_fields`` gives the
bytes themselves.
"""
from __future__ import annotations

import os
from typing import IO, Iterator, Mapping, Optional, Union

from . import _mspforge
from ._mspforge import Tally

__all__ = ["Converter", "MgfReader", "Record", "Tally", "Translation", "convert",
           "convert_bytes", "read_mgf", "translate", "__version__"]
__version__ = _mspforge.__version__

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Defaults = Optional[Mapping[str, str]]
Record = _mspforge.Record
MgfReader = _mspforge.MgfReader


def _defaults(defaults: Defaults) -> list[tuple[str, str]]:
    """--default KEY=VALUE pairs, in the order given."""
    if defaults is None:
        return []
    pairs = list(defaults.items())
    for key, value in pairs:
        if not isinstance(key, str) or not isinstance(value, str):
            raise TypeError("defaults maps str keys to str values")
        if not key or "=" in key or "\n" in key + value or "\r" in key + value:
            raise ValueError(f"not a header line: {key}={value}")
    return pairs


def _name(name: Optional[str]) -> str:
    """The --name template: "" for none."""
    if name is None:
        return ""
    if not isinstance(name, str):
        raise TypeError("name is a str template, such as 'Feature {FEATURE_ID}'")
    if not name.strip(" \t") or "\n" in name or "\r" in name:
        raise ValueError(f"not a name template: {name!r}")
    return name


def _target(target: str) -> str:
    """The --for layout: "nist", "msdial", "matchms" or "openms"."""
    if not isinstance(target, str):
        raise TypeError('target is a str: "nist", "msdial", "matchms" or "openms"')
    return target


def _path(path: PathLike) -> str:
    path = os.fspath(path)
    return os.fsdecode(path) if isinstance(path, bytes) else path


def convert(input: PathLike, output: PathLike, *,
            defaults: Defaults = None, name: Optional[str] = None,
            target: str = "nist") -> Tally:
    """Converts the MGF file at input into the MSP file at output, as
    ``mspforge [--default K=V...] [--name TEMPLATE] [--for TARGET] input
    output`` does.

    The rules are the command's: gzip and UTF-16 input is decoded, "-" is
    standard input or output, and an output that holds MGF spectra (the
    paths swapped) or is the input itself is refused untouched.
    ``defaults`` gives records without a header line of a key that line,
    as ``--default``: ``{"MSLEVEL": "2"}``. ``name`` names the records
    that have no name (no NAME, COMPOUND_NAME or TITLE), as ``--name``:
    ``"Feature {FEATURE_ID}"``, each ``{KEY}`` replaced by the value of the
    record's header line KEY. ``target`` is the tool the library is for,
    as ``--for``: "nist" (NIST MS Search, mssearchr; the default),
    "msdial", "matchms" or "openms", each a layout that tool reads whole.

    Raises an OSError subclass, with errno and filename, when a file cannot
    be opened (FileNotFoundError, IsADirectoryError, PermissionError;
    FileExistsError for an output that holds MGF spectra) or when reading
    or writing fails (OSError with errno EIO for damaged gzip data).
    """
    return _mspforge.convert(_path(input), _path(output), _defaults(defaults),
                             _name(name), _target(target))


def convert_bytes(data: bytes, *, defaults: Defaults = None,
                  name: Optional[str] = None,
                  target: str = "nist") -> tuple[bytes, Tally]:
    """Converts MGF bytes (gzip or UTF-16 too) in memory: (MSP bytes, tally),
    with convert's options."""
    return _mspforge.convert_bytes(bytes(data), _defaults(defaults), _name(name),
                                   _target(target))


class Converter:
    """Converts MGF bytes that arrive in pieces, giving MSP bytes as they
    are made: the bytes of convert_bytes on the whole input.

        converter = mspforge.Converter()
        with gzip_file:   # or any pieces; gzip is decompressed as the command does
            for piece in iter(lambda: stream.read(1 << 20), b""):
                out.write(converter.feed(piece))
        tally = converter.finish()
        out.write(converter.rest())
    """

    def __init__(self, *, defaults: Defaults = None,
                 name: Optional[str] = None, target: str = "nist") -> None:
        self._converter = _mspforge.Converter(_defaults(defaults), _name(name),
                                              _target(target))

    def feed(self, data: bytes) -> bytes:
        """Takes the next piece; returns the MSP bytes of the records it
        completed."""
        return self._converter.feed(bytes(data))

    def finish(self) -> Tally:
        """Ends the input and returns the tally; the last MSP bytes are then
        in rest(). Raises OSError (EIO) for damaged gzip data."""
        return self._converter.finish()

    def rest(self) -> bytes:
        """The MSP bytes that finish() made."""
        return self._converter.rest()


class Translation:
    """What the command makes of a record: the Name line, the named fields
    and the Comments fields (each in the order they are written), whether
    the record would be written, and if not, why: ``reasons`` in the
    summary's words, one for each thing it lacks ("without an MS level
    (MSLEVEL or MS_LEVEL)", "without peaks (peak lines below 1.0 do not
    count)", ...).

    It is true when the record would be written, and unpacks into its
    three parts::

        t = mspforge.translate(record)
        if not t:
            print(record.line, "; ".join(t.reasons))
        name, library_fields, comments = t
    """
    __slots__ = ("name", "library_fields", "comments", "written", "reasons")

    def __init__(self, name: str, library_fields: dict[str, str],
                 comments: dict[str, str], written: bool,
                 reasons: list[str]) -> None:
        self.name = name
        self.library_fields = library_fields
        self.comments = comments
        self.written = written
        self.reasons = tuple(reasons)

    def __bool__(self) -> bool:
        return self.written

    def __iter__(self) -> Iterator[object]:
        return iter((self.name, self.library_fields, self.comments))

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Translation):
            return NotImplemented
        return all(getattr(self, key) == getattr(other, key) for key in self.__slots__)

    def __repr__(self) -> str:
        return (f"Translation(name={self.name!r}, written={self.written}, "
                f"reasons={self.reasons!r}, library_fields={self.library_fields!r}, "
                f"comments={self.comments!r})")


def translate(record: Record) -> Translation:
    """What the command makes of a record, with the defaults and name
    template of the reader it came from: its MSP parts, and whether it would
    be written, and if not, why (see Translation). A record that would not
    be written is translated as far as it goes."""
    return Translation(*record.translate())


def read_mgf(source: Union[PathLike, IO[bytes]], *, defaults: Defaults = None,
             name: Optional[str] = None) -> MgfReader:
    """Iterates the records of an MGF file, one at a time, in constant
    memory: a path (gzip and UTF-16 decoded, as the command reads it) or a
    binary file object. A file at a path is read ahead on a thread of its
    own while Python takes the records before.

    ``defaults`` and ``name`` mean what they mean to convert: each record
    without a header line of a key in ``defaults`` gets that line (in
    ``fields`` too), and a record without a name is named from the
    ``name`` template when it is translated (``to_msp()``, ``translate``).

    Each Record has ``fields`` (dict of str, in the order of the record's
    header lines, a key given twice with its last value; see the module's
    note on text), ``raw_fields`` (dict of bytes), ``peaks`` (NumPy float64 array,
    one row of m/z and intensity per peak line, NaN where a line holds no
    second number), ``peak_lines`` (the lines as bytes, with their line
    feed), ``number`` (from 1), ``line`` (of its BEGIN IONS, from 1) and
    ``to_msp()`` (its MSP bytes, or None when it would not be written).
    ``fields`` and ``peaks`` are made when first asked for, and are then
    the same objects each time. A record keeps what it needs: records may
    be kept, or the reader closed, in any order.

    The reader closes the file when the records run out, on ``close()``,
    or at the end of a ``with`` block::

        with mspforge.read_mgf("library.mgf") as records:
            first = next(records)
    """
    options = {}
    if defaults is not None:
        options["defaults"] = _defaults(defaults)
    if name is not None:
        options["name"] = _name(name)
    if hasattr(source, "read"):
        return _mspforge.MgfReader(source, **options)
    return _mspforge.MgfReader(_path(source), **options)
