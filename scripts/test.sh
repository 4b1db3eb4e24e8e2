#!/usr/bin/env bash
# Builds and runs every test: a normal build, an AddressSanitizer + UndefinedBehaviorSanitizer
# build, and a ThreadSanitizer build of the tests of the threaded code.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

# Test programs whose code runs on several threads; they also run under ThreadSanitizer.
tsan_labels='platform_crt|platform_win32|platform_fmod|platform_d3d11|framework_threads|framework_files|framework_app|timing|audio'

configure() { cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${@:2}" >/dev/null; }

echo "== normal build =="
configure build/release
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
configure build/asan -DKV_SANITIZE=address -DKV_BUILD_BENCH=OFF
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer =="
configure build/tsan -DKV_SANITIZE=thread -DKV_BUILD_BENCH=OFF
targets=$(cmake --build build/tsan --target help | sed -n 's/^\.\.\. \(test_[A-Za-z0-9_]*\).*/\1/p' \
    | grep -E "^test_(${tsan_labels})$" || true)
if [ -n "$targets" ]; then
    # shellcheck disable=SC2086
    cmake --build build/tsan -j "$jobs" --target $targets
    # TSan's shadow memory needs the narrower address layout of an unrandomised process.
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        setarch "$(uname -m)" -R ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L "^(${tsan_labels})$"
fi
