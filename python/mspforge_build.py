"""The build backend of the mspforge Python package (PEP 517).

It needs nothing beyond Python's standard library, a C++20 compiler, zlib
and the pybind11 headers (Debian: g++, zlib1g-dev, pybind11-dev,
python3-dev), so `python3 -m pip install ./python` builds offline, with or
without build isolation. It compiles the mspforge library's own sources
(src/ and include/ in the directory above) with python/src/*.cc into
the extension module mspforge._mspforge, and packs the wheel.

The compiler is $CXX, else c++; extra flags may come in $CXXFLAGS.
"""
import base64
import concurrent.futures
import hashlib
import os
import re
import shlex
import subprocess
import sys
import sysconfig
import tempfile
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
NAME = "mspforge"


def _version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(mspforge VERSION (\d+)\.(\d+)\.(\d+)", text).groups()


VERSION = ".".join(_version())


def _sources():
    skipped = {"src/app/main.cc", "src/platform/windows_io.cc",
               "src/platform/wasm_memchr.cc"}
    sources = sorted((HERE / "src").glob("*.cc"))
    for path in sorted((ROOT / "src").rglob("*.cc")):
        if path.relative_to(ROOT).as_posix() not in skipped:
            sources.append(path)
    return sources


def _pybind11_include():
    try:
        import pybind11
        return pybind11.get_include()
    except ImportError:
        return "/usr/include"  # Debian's pybind11-dev


def _write_version_header(directory):
    major, minor, patch = _version()
    text = (ROOT / "cmake" / "version.h.in").read_text()
    for name, value in (("PROJECT_VERSION_MAJOR", major),
                        ("PROJECT_VERSION_MINOR", minor),
                        ("PROJECT_VERSION_PATCH", patch),
                        ("PROJECT_VERSION", VERSION)):
        text = text.replace(f"@{name}@", value)
    header = directory / "mspforge" / "version.h"
    header.parent.mkdir(parents=True, exist_ok=True)
    header.write_text(text)


def _build_extension(build):
    """Compiles and links the module in build; returns its path."""
    compiler = shlex.split(os.environ.get("CXX", "c++"))
    extra = shlex.split(os.environ.get("CXXFLAGS", ""))
    generated = build / "generated"
    _write_version_header(generated)
    paths = sysconfig.get_paths()
    includes = [generated, ROOT / "include", ROOT / "src", _pybind11_include(),
                paths["include"], paths["platinclude"]]
    flags = (["-std=c++20", "-O3", "-fPIC", "-fvisibility=hidden",
              "-DNDEBUG", "-DMSPFORGE_HAVE_ZLIB=1"]
             + [f"-I{include}" for include in dict.fromkeys(map(str, includes))]
             + extra)

    def compile_one(source):
        name = source.relative_to(ROOT).as_posix().replace("/", "_")
        target = build / "objects" / (name + ".o")
        target.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(compiler + flags + ["-c", str(source), "-o", str(target)],
                       check=True)
        return target

    jobs = os.cpu_count() or 1
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        objects = list(pool.map(compile_one, _sources()))
    module = build / ("_mspforge" + sysconfig.get_config_var("EXT_SUFFIX"))
    subprocess.run(compiler + ["-shared", "-o", str(module)]
                   + [str(o) for o in objects] + ["-lz"] + extra, check=True)
    return module


def _tag():
    python = f"cp{sys.version_info.major}{sys.version_info.minor}"
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    return f"{python}-{python}-{platform}"


def _metadata():
    readme = (HERE / "README.md").read_text()
    return (f"Metadata-Version: 2.1\nName: {NAME}\nVersion: {VERSION}\n"
            "Summary: MGF peak lists to MSP spectral-library text, and MGF "
            "records as Python objects with NumPy peaks\n"
            "License: Apache-2.0\nRequires-Python: >=3.9\nRequires-Dist: numpy\n"
            "Description-Content-Type: text/markdown\n\n" + readme)


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
    return f"{name},sha256={digest.decode()},{len(data)}"


def _pack(wheel_directory, files):
    """Writes the wheel of files (archive name -> bytes); returns its name."""
    tag = _tag()
    info = f"{NAME}-{VERSION}.dist-info"
    files = dict(files)
    files[f"{info}/METADATA"] = _metadata().encode()
    files[f"{info}/WHEEL"] = (f"Wheel-Version: 1.0\nGenerator: mspforge_build\n"
                              f"Root-Is-Purelib: false\nTag: {tag}\n").encode()
    files[f"{info}/top_level.txt"] = f"{NAME}\n".encode()
    record = [_record_line(name, data) for name, data in files.items()]
    record.append(f"{info}/RECORD,,")
    files[f"{info}/RECORD"] = ("\n".join(record) + "\n").encode()
    wheel = f"{NAME}-{VERSION}-{tag}.whl"
    with zipfile.ZipFile(Path(wheel_directory) / wheel, "w",
                         zipfile.ZIP_DEFLATED) as archive:
        for name, data in files.items():
            archive.writestr(name, data)
    return wheel


def _package_files():
    files = {}
    for name in ("__init__.py", "__init__.pyi", "py.typed"):
        files[f"{NAME}/{name}"] = (HERE / NAME / name).read_bytes()
    return files


# PEP 517 hooks.

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    info = Path(metadata_directory) / f"{NAME}-{VERSION}.dist-info"
    info.mkdir(parents=True, exist_ok=True)
    (info / "METADATA").write_text(_metadata())
    return info.name


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    with tempfile.TemporaryDirectory(prefix="mspforge-build-") as build:
        module = _build_extension(Path(build))
        files = _package_files()
        files[f"{NAME}/{module.name}"] = module.read_bytes()
        return _pack(wheel_directory, files)


def build_sdist(sdist_directory, config_settings=None):
    raise RuntimeError("mspforge is built from its source tree: "
                       "python3 -m pip install ./python")
