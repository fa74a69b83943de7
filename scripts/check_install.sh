#!/usr/bin/env bash
# Installs the release build into a temporary prefix and checks what a user
# gets: the binary converts the example, the man page renders without
# warnings, a separate CMake project builds against the installed package,
# and cpack makes the Debian packages (the command, the library and, where
# the build has Debian's Python and pybind11, the Python package), which
# lintian passes; the Python package imports and converts as unpacked.
# Usage: scripts/check_install.sh   (after cmake --workflow --preset test)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build/release"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
echo "installed into a temporary prefix:"
(cd "$prefix" && find . -type f | sort | sed 's/^/  /')

for header in "$here"/include/mspforge/*.h; do
  [ -f "$prefix/include/mspforge/$(basename "$header")" ] ||
    { echo "not installed: include/mspforge/$(basename "$header")"; exit 1; }
done

"$prefix/bin/mspforge" "$here/examples/library.mgf" "$work/library.msp"
cmp "$work/library.msp" "$here/examples/library.msp"
echo "installed binary converts the example"

MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/mspforge.1.gz" \
  > "$work/man.txt" 2> "$work/man.err"
if [ -s "$work/man.err" ]; then cat "$work/man.err"; exit 1; fi
grep -q 'EXIT STATUS' "$work/man.txt"
echo "man page renders without warnings"

cmake -S "$here/tests/consumer" -B "$work/consumer" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" "$here/examples/library.mgf" "$work/consumer.msp" \
  > "$work/consumer.out"
grep -q '^Precursor_type: \[M+H\]+$' "$work/consumer.out"
grep -qx 'Total spectra = 8 Ignored spectra(no peaks) = 1 Unrecognized format 1 spectra' \
  "$work/consumer.out"
cmp "$work/consumer.msp" "$here/examples/library.msp"
version=$(sed -n 's/^project(mspforge VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
grep -qx "mspforge $version ($version)" "$work/consumer.out"
echo "consumer project builds against find_package(mspforge) and runs"

# The README's C++ example, built as written.
cmake -S "$here/examples/cpp" -B "$work/example" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example" >/dev/null
"$work/example/convert" "$here/tests/data/corpus/proteomics-tmt-msconvert-style.mgf" \
  "$work/example.msp" > "$work/example.out"
grep -qx 'Total spectra = 7' "$work/example.out"
echo "the README's C++ example builds and runs"

(cd "$build" && rm -rf package && cpack -G DEB >/dev/null)
packages="mspforge libmspforge-dev"
python_deb=$(ls "$build"/package/python3-mspforge_*.deb 2>/dev/null || true)
if [ -n "$python_deb" ]; then
  packages="$packages python3-mspforge"
fi
for package in $packages; do
  deb=$(ls "$build"/package/${package}_*.deb)
  dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Section|Depends|Maintainer):'
  dpkg-deb --contents "$deb" >> "$work/contents.txt"
  # Any lintian error or warning fails the check.
  if ! lintian --fail-on error,warning "$deb" > "$work/lintian.txt" 2>&1; then
    cat "$work/lintian.txt"
    echo "lintian finds fault with $(basename "$deb")"
    exit 1
  fi
  echo "Debian package: $(basename "$deb"), lintian clean"
done
for path in ./usr/bin/mspforge ./usr/share/man/man1/mspforge.1.gz \
            ./usr/share/doc/mspforge/README.md ./usr/share/doc/mspforge/copyright \
            ./usr/share/doc/libmspforge-dev/copyright \
            ./usr/include/mspforge/mspforge.h ./usr/include/mspforge/version.h \
            ./usr/lib/libmspforge.a ./usr/lib/cmake/mspforge/mspforgeConfig.cmake; do
  grep -q " $path\$" "$work/contents.txt" || { echo "packages lack $path"; exit 1; }
done

# The Python package as Debian's python3 sees it once installed.
if [ -n "$python_deb" ]; then
  dpkg-deb -x "$python_deb" "$work/root"
  PYTHONPATH="$work/root/usr/lib/python3/dist-packages" /usr/bin/python3 - \
    "$here/examples/library.mgf" "$work/python.msp" "$work/root" <<'PY'
import sys
import mspforge
assert mspforge.__file__.startswith(sys.argv[3]), mspforge.__file__
tally = mspforge.convert(sys.argv[1], sys.argv[2])
assert str(tally) == "Total spectra = 8 Ignored spectra(no peaks) = 1 Unrecognized format 1 spectra", tally
assert sum(len(r.peaks) > 0 for r in mspforge.read_mgf(sys.argv[1])) == 7
PY
  cmp "$work/python.msp" "$here/examples/library.msp"
  echo "python3-mspforge imports, converts and reads the example"
fi
