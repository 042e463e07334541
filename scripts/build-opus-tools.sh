#!/usr/bin/env bash
# Cross-builds the Opus decoder and encoder programs (opusdec.exe, opusenc.exe) for Windows from
# Debian's source packages of libogg, opus, opusfile, libopusenc and opus-tools: static, without
# network or URL support, without FLAC input, documentation or extra programs. Usage:
# build-opus-tools.sh <work folder> <output folder> [host: i686-w64-mingw32 (default) or
# x86_64-w64-mingw32]. A second run reuses the built programs.
set -euo pipefail
work=${1:?work folder}
out=${2:?output folder}
host=${3:-i686-w64-mingw32}
mkdir -p "$work" "$out"
work=$(cd "$work" && pwd)
if [[ -f $work/opusdec.exe && -f $work/opusenc.exe ]]; then
    cp "$work/opusdec.exe" "$work/opusenc.exe" "$out/"
    exit 0
fi
cd "$work"
prefix=$work/prefix
log=$work/build.log
: >"$log"

# A fresh tree of one package's source: Debian's patched tree when the whole source package
# could be fetched, else its upstream tarball (the part of the package the programs are built
# from). The files fetched once are kept.
unpack() {
    local pkg=$1 dsc orig
    find . -maxdepth 1 -type d -name "$pkg-[0-9]*" -exec rm -rf {} +
    if ! compgen -G "${pkg}_*.orig.tar.*" >/dev/null; then
        # Needs the deb-src entry that scripts/setup.sh adds.
        apt-get source -qq --download-only "$pkg" >>"$log" 2>&1 || true
    fi
    dsc=$(find . -maxdepth 1 -name "${pkg}_*.dsc" | head -1)
    if [[ -z $dsc ]] || ! dpkg-source -x "$dsc" >>"$log" 2>&1; then
        orig=$(find . -maxdepth 1 -name "${pkg}_*.orig.tar.*" | head -1)
        [[ -n $orig ]] || { echo "build-opus-tools: no source of $pkg" >&2; exit 1; }
        tar -xf "$orig"
    fi
    find "$work" -maxdepth 1 -type d -name "$pkg-[0-9]*" | head -1
}

# configure and install one library or program into the private prefix.
build() {
    local pkg=$1
    shift
    [[ -f $prefix/.$pkg.built ]] && return
    local src
    src=$(unpack "$pkg")
    echo "== $pkg" >>"$log"
    (cd "$src" &&
        ./configure --host="$host" --prefix="$prefix" CC="$host-gcc-posix" \
            CFLAGS="-O2 -msse2 -mfpmath=sse" LDFLAGS="-static -static-libgcc" \
            PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH= \
            --disable-shared --enable-static --disable-dependency-tracking "$@" &&
        make -j2 && make install) >>"$log" 2>&1 ||
        { tail -40 "$log" >&2; echo "build-opus-tools: $pkg failed (see $log)" >&2; exit 1; }
    touch "$prefix/.$pkg.built"
}

build libogg
build opus --disable-doc --disable-extra-programs
build opusfile --disable-http --disable-doc --disable-examples
build libopusenc --disable-doc --disable-examples
# The libraries are built with fortified string functions, which mingw keeps in libssp: its
# static archive is named, so that the programs need no DLL of it.
build opus-tools --without-flac --disable-oggtest --disable-opustest --disable-opusfiletest \
    --disable-libopusenctest LIBS="$("$host-gcc-posix" -print-file-name=libssp.a)"
for tool in opusdec opusenc; do
    "$host-strip" -o "$work/$tool.exe" "$prefix/bin/$tool.exe"
done
cp "$work/opusdec.exe" "$work/opusenc.exe" "$out/"
