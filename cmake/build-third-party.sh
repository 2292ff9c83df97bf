#!/bin/sh
# Builds the third-party libraries the Windows binaries link statically (libpng, libsndfile) from
# Debian's source packages with the MinGW toolchain, into OUT/prefix. Done once; later runs reuse it.
# usage: build-third-party.sh OUT
set -eu
out=$(realpath -m "$1")
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/mingw-w64-x86_64.cmake
prefix=$out/prefix
stamp=$prefix/.built-1
[ -f "$stamp" ] && exit 0

mingw=/usr/x86_64-w64-mingw32
mkdir -p "$out/src" "$prefix"
cd "$out/src"
for package in libpng1.6 libsndfile; do
  if ! ls -d "$out/src/$package"-*/ >/dev/null 2>&1 && ! ls -d "$out/src/${package%1.6}"-*/ >/dev/null 2>&1; then
    apt-get source -qq "$package" >/dev/null 2>&1 || {
      echo "apt-get source $package failed: is a deb-src entry configured? (make deps adds one)" >&2
      exit 1
    }
  fi
done
png_src=$(ls -d "$out"/src/libpng1.6-*/ | head -n 1)
sndfile_src=$(ls -d "$out"/src/libsndfile-*/ | head -n 1)

common="-G Ninja -DCMAKE_TOOLCHAIN_FILE=$toolchain -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$prefix
  -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON -Wno-dev -Wno-deprecated"

# shellcheck disable=SC2086
cmake -S "$png_src" -B "$out/build-png" $common -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF -DPNG_BUILD_ZLIB=OFF -DZLIB_INCLUDE_DIR=$mingw/include -DZLIB_LIBRARY=$mingw/lib/libz.a \
  -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON >/dev/null
cmake --build "$out/build-png" --target install -j "${JOBS:-2}" >/dev/null

# No external codec libraries: WAV, AIFF and the other uncompressed formats.
# shellcheck disable=SC2086
cmake -S "$sndfile_src" -B "$out/build-sndfile" $common -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF \
  -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_REGTEST=OFF -DENABLE_CPACK=OFF \
  -DINSTALL_MANPAGES=OFF -DENABLE_PACKAGE_CONFIG=OFF -DINSTALL_PKGCONFIG_MODULE=OFF >/dev/null
cmake --build "$out/build-sndfile" --target install -j "${JOBS:-2}" >/dev/null
touch "$stamp"
