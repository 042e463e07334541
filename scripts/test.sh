#!/usr/bin/env bash
# Sets up the machine, builds every tree and runs all suites: native (sanitized), fuzz (short
# runs) and Windows under Wine and Xvfb (the 32-bit product, or its x86-64 build where this
# kernel runs no 32-bit programs). Every suite runs even when an earlier one failed; the
# last line sums them all ("N passed, N failed") and the exit status is non-zero on any failure.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

if ! scripts/setup.sh; then
    echo "test.sh: set-up FAILED"
    echo "0 passed, 1 failed"
    exit 1
fi

JOBS=$(nproc)
export TAMBER_WINEPREFIX="${TAMBER_WINEPREFIX:-/var/tmp/tamber-wine}"
LOGS="$ROOT/build/logs"
mkdir -p "$LOGS"
passed=0
failed=0

# Adds the counts of a ctest log ("NN% tests passed, F tests failed out of T") to the sums; a
# log without that line means the suite did not run, which counts as one failure.
add_ctest() {
    local name=$1 log=$2 line total bad
    line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [[ -z $line ]]; then
        if grep -q 'No tests were found' "$log"; then
            echo "== $name: no tests"
            return
        fi
        echo "== $name: did not run"
        failed=$((failed + 1))
        return
    fi
    total=${line##* out of }
    bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    echo "== $name: $((total - bad)) passed, $bad failed"
}

build() {
    if ! scripts/build.sh "$@" >"$LOGS/build-$1.log" 2>&1; then
        echo "== build $1 FAILED"
        grep -E 'error|FAILED' "$LOGS/build-$1.log" | head -40
        failed=$((failed + 1))
        return 1
    fi
}

echo "== layer order of the includes"
if python3 scripts/check-layers.py >"$LOGS/layers.log" 2>&1; then
    passed=$((passed + 1))
    echo "== layers: 1 passed, 0 failed"
else
    cat "$LOGS/layers.log"
    failed=$((failed + 1))
    echo "== layers: 0 passed, 1 failed"
fi

# Every source file of the product, the tests, the fuzz targets and the benchmarks follows
# .clang-format; the files out of line are named.
echo "== clang-format"
unformatted=$(find support store tags core formats external cd convert app setup gui cli tests fuzz bench \
    -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 |
    xargs -0 -n 1 -P "$JOBS" sh -c 'clang-format --dry-run -Werror "$1" >/dev/null 2>&1 || echo "$1"' _ |
    sort)
if [[ -z $unformatted ]]; then
    passed=$((passed + 1))
    echo "== clang-format: 1 passed, 0 failed"
else
    failed=$((failed + 1))
    echo "== clang-format: 0 passed, 1 failed; not formatted (clang-format -i):"
    sed 's/^/    /' <<<"$unformatted"
fi

echo "== native build and tests"
if build native; then
    (cd build/native && ctest --output-on-failure -j "$JOBS") 2>&1 | tee "$LOGS/native.log" |
        grep -vE '^ *Start |Test +#[0-9]+: .* Passed'
    add_ctest native "$LOGS/native.log"
fi

echo "== fuzz targets (short runs)"
if build fuzz; then
    scripts/run-fuzzers.sh "${FUZZ_SECONDS:-15}" 2>&1 | tee "$LOGS/fuzz.log"
    fuzz_ok=$(grep -c '^fuzz .*clean$' "$LOGS/fuzz.log")
    fuzz_bad=$(grep -c '^fuzz .*FAILED$' "$LOGS/fuzz.log")
    passed=$((passed + fuzz_ok))
    failed=$((failed + fuzz_bad))
    echo "== fuzz: $fuzz_ok passed, $fuzz_bad failed"
fi

# The optimised front end and the benchmark programs are built (not run: benchmarks measure
# against peer tools and take minutes), so that a change cannot break them unnoticed.
echo "== release build (front end and benchmarks)"
build release && echo "== release: built"

# Both Windows builds are always built: the 32-bit product and its x86-64 twin. The Wine suites
# run on the product where this kernel runs 32-bit programs, else on the x86-64 build under the
# 64-bit loader in a 64-bit prefix (TAMBER_WINE_BUILD=win32|win64 chooses by hand). There the
# portable suites also run as 32-bit Linux programs under qemu-i386, the check of 32-bit
# arithmetic that the product's suites would otherwise make.
wine_build=$(scripts/wine-build)
wine_prefix=$TAMBER_WINEPREFIX
[[ $wine_build == win64 ]] && wine_prefix="${TAMBER_WINEPREFIX}64"

echo "== Windows builds (win32, win64)"
build win32 && echo "== win32: built"
win32_built=$?
build win64 && echo "== win64: built"
win64_built=$?

echo "== $wine_build tests under Wine ($wine_prefix, $wine_prefix-b)"
# The suites carry one of two labels; the two groups run side by side, each with its own Wine
# prefix (settings, registry, running instances) and its own X display.
run_wine() {  # label, prefix, display
    WINEPREFIX="$2" wineserver -k 2>/dev/null
    TAMBER_WINE_ARCH=$wine_build TAMBER_WINEPREFIX="$2" xvfb-run -n "$3" -s "-screen 0 1280x1024x24" bash -c '
        scripts/wine-run cmd /c exit >/dev/null 2>&1   # creates the prefix on first use
        cd "build/$1" && ctest --output-on-failure -L "$0"
        rc=$?
        WINEPREFIX="$TAMBER_WINEPREFIX" wineserver -k 2>/dev/null
        exit $rc' "$1" "$wine_build"
}
free_display() {  # the first display number from $1 on without a server
    local n=$1
    while [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]; do n=$((n + 1)); done
    echo "$n"
}
if { [[ $wine_build == win32 ]] && ((win32_built == 0)); } ||
    { [[ $wine_build == win64 ]] && ((win64_built == 0)); }; then
    display_a=$(free_display 140)
    display_b=$(free_display $((display_a + 1)))
    run_wine wine-a "$wine_prefix" "$display_a" >"$LOGS/$wine_build-a.log" 2>&1 &
    run_wine wine-b "$wine_prefix-b" "$display_b" >"$LOGS/$wine_build-b.log" 2>&1
    wait
    for group in a b; do
        grep -vE '^ *Start |Test +#[0-9]+: .* Passed' "$LOGS/$wine_build-$group.log"
        add_ctest "$wine_build ($group)" "$LOGS/$wine_build-$group.log"
    done
else
    echo "== $wine_build tests: not run (its build failed)"
    failed=$((failed + 1))
fi

if [[ $wine_build == win64 ]]; then
    echo "== linux32: the portable suites as 32-bit programs under qemu-i386"
    if build linux32; then
        (cd build/linux32 && ctest --output-on-failure) 2>&1 | tee "$LOGS/linux32.log" |
            grep -vE '^ *Start |Test +#[0-9]+: .* Passed'
        add_ctest linux32 "$LOGS/linux32.log"
    fi
fi

# Size of the tests (tests/, fuzz/, bench/) against the product code, non-blank lines.
count_lines() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.py' -o -name '*.rc' \) \
        -print0 2>/dev/null | xargs -0 cat 2>/dev/null | grep -cv '^[[:space:]]*$'
}
test_lines=$(count_lines tests fuzz bench)
product_lines=$(count_lines support store tags core formats external cd convert app setup gui cli res)
echo "test.sh: test code $test_lines lines, product code $product_lines lines, ratio" \
    "$(awk -v t="$test_lines" -v p="$product_lines" 'BEGIN { printf "%.2f", t / p }')"
echo "test.sh: the Wine suites ran the $wine_build build"
echo "test.sh: finished in $((SECONDS / 60)) min $((SECONDS % 60)) s"
if ((failed == 0)); then echo "test.sh: all suites passed"; else echo "test.sh: FAILURES (logs in build/logs)"; fi
echo "$passed passed, $failed failed"
((failed == 0))
