#!/usr/bin/env bash
# Configures and builds one tree: native (sanitized tests), release (front end, benchmarks),
# tsan (ThreadSanitizer tests), fuzz (clang, libFuzzer targets), win32 (mingw-w64 i686:
# tamber.exe, its setup file and the Wine suites), win64 (the same for x86-64, for machines
# whose kernel runs no 32-bit programs) or linux32 (the portable suites as static 32-bit Linux
# programs, run under qemu-i386 where Wine cannot run the 32-bit build).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?usage: build.sh native|tsan|release|fuzz|win32|win64|linux32 [targets...]}
shift
dir="$ROOT/build/$kind"
case $kind in
native) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBER_SANITIZE=ON) ;;
tsan) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread) ;;
release) args=(-DCMAKE_BUILD_TYPE=Release -DTAMBER_BENCH=ON -DTAMBER_TESTS=OFF) ;;
fuzz) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBER_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang) ;;
win32) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake") ;;
win64) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake") ;;
linux32)
    # glib's configuration header for i386, from Debian's own package (no i386 development
    # packages need installing beside the machine's own).
    glib="$dir/i386-glib"
    if [[ ! -f $glib/glibconfig.h ]]; then
        mkdir -p "$glib/deb"
        (cd "$glib/deb" && apt-get download -qq libglib2.0-dev:i386 2>/dev/null)
        dpkg-deb --fsys-tarfile "$glib"/deb/*.deb |
            tar -x -O --wildcards '*/i386-linux-gnu/glib-2.0/include/glibconfig.h' >"$glib/glibconfig.h"
    fi
    args=(-DCMAKE_BUILD_TYPE=Release -DTAMBER_PORTABLE32=ON -DTAMBER_I386_GLIB_INCLUDE="$glib"
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/linux-i386.cmake") ;;
*) echo "unknown tree $kind" >&2; exit 2 ;;
esac
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"
export CCACHE_NOHASHDIR=1
# Preprocessor mode: direct mode misses a header that __has_include finds only later.
export CCACHE_NODIRECT=1
if [[ ! -f "$dir/build.ninja" ]]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja "${args[@]}" >/dev/null
fi
if (($#)); then
    cmake --build "$dir" --target "$@"
else
    cmake --build "$dir"
fi
