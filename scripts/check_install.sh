#!/usr/bin/env bash
# Installs the release build into a temporary prefix and checks what a user
# gets: the binary converts the example, the man page renders without
# warnings, a separate CMake project builds against the installed package,
# and cpack makes the two Debian packages, which lintian passes.
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
for package in mspforge libmspforge-dev; do
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
