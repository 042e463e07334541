#!/usr/bin/env bash
# Cross-builds the LAME encoder for Windows from Debian's own LAME source package; usage:
# build-lame.sh <work folder> <output lame.exe> [host: i686-w64-mingw32 (default) or
# x86_64-w64-mingw32]. A second run reuses the built program.
set -euo pipefail
work=${1:?work folder}
out=${2:?output file}
host=${3:-i686-w64-mingw32}
mkdir -p "$work"
work=$(cd "$work" && pwd)
if [[ -f $work/lame.exe ]]; then
    cp "$work/lame.exe" "$out"
    exit 0
fi
cd "$work"
src=$(find . -maxdepth 1 -type d -name 'lame-*' | head -1)
if [[ -z $src ]]; then
    # Needs the deb-src entry that scripts/setup.sh adds.
    apt-get source -qq lame >/dev/null
    src=$(find . -maxdepth 1 -type d -name 'lame-*' | head -1)
fi
cd "$src"
# Only what the command-line encoder needs: no shared library, decoder, analyzer or extras.
./configure --host="$host" CC="$host-gcc-posix" \
    CFLAGS="-O2 -msse2 -mfpmath=sse" LDFLAGS="-static -static-libgcc" \
    --disable-shared --enable-static --disable-decoder --disable-analyzer-hooks \
    --disable-gtktest --disable-rpath --without-libiconv-prefix >configure.out 2>&1 ||
    { cat configure.out >&2; exit 1; }
make -s -j2 -C libmp3lame >/dev/null 2>&1
make -s -j2 -C frontend lame.exe >/dev/null 2>&1
"$host-strip" -o "$work/lame.exe" frontend/lame.exe
cp "$work/lame.exe" "$out"
