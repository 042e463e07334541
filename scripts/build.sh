#!/usr/bin/env bash
# Configures and builds one tree: native (sanitized tests), release (front end, benchmarks),
# tsan (ThreadSanitizer tests), fuzz (clang, libFuzzer targets) or win32 (mingw-w64,
# tamber.exe and the Wine suites).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?usage: build.sh native|tsan|release|fuzz|win32 [targets...]}
shift
dir="$ROOT/build/$kind"
case $kind in
native) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBER_SANITIZE=ON) ;;
tsan) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread) ;;
release) args=(-DCMAKE_BUILD_TYPE=Release -DTAMBER_BENCH=ON -DTAMBER_TESTS=OFF) ;;
fuzz) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBER_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang) ;;
win32) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake") ;;
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
