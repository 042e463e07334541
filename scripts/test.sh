#!/usr/bin/env bash
# Sets up the machine, builds every tree and runs all tests: native, fuzz, and Windows under Wine.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
scripts/setup.sh

JOBS=$(nproc)
export TAMBER_WINEPREFIX="${TAMBER_WINEPREFIX:-/var/tmp/tamber-wine}"
status=0

echo "== native build and tests"
scripts/build.sh native
(cd build/native && ctest --output-on-failure -j "$JOBS") || status=1

echo "== fuzz targets (short runs)"
scripts/build.sh fuzz
scripts/run-fuzzers.sh "${FUZZ_SECONDS:-20}" || status=1

echo "== win32 build and tests under Wine"
scripts/build.sh win32
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
    'cd build/win32 && ctest --output-on-failure -j 1; rc=$?; wineserver-stable -k 2>/dev/null; exit $rc' || status=1

if ((status == 0)); then echo "test.sh: all suites passed"; else echo "test.sh: FAILURES"; fi
exit $status
