#!/usr/bin/env bash
# The test command. In order, stopping at the first failure:
#   1. the format check (clang-format 16) and the layering check, before anything is built;
#   2. g++ Release with warnings as errors: every library, program, test and benchmark (benchmarks
#      are built, not run) and the header check; every test case through ctest;
#   3. clang with AddressSanitizer + UndefinedBehaviorSanitizer (also the clang compile of the tree);
#   4. g++ with ThreadSanitizer: only the test programs of the code that runs on several threads;
#   5. a short run of every fuzzer over its corpus, when the tree has them.
# Uses ccache when it is installed and prints the time of each step.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

# Test programs whose code runs on several threads; they also run under ThreadSanitizer.
tsan_labels='platform_crt|platform_win32|platform_fmod|platform_d3d11|platform_d3dcompiler|platform_forms|framework_core|framework_threads|framework_files|framework_app|timing|audio|render'

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

timings=()
report() {
    [ ${#timings[@]} -gt 0 ] || return 0
    echo "== wall time per step =="
    printf '%s\n' "${timings[@]}"
}
trap report EXIT
# step <name> <command>...: runs the command and records its wall time.
step() {
    local name=$1 start=$SECONDS
    shift
    echo "== $name =="
    "$@"
    timings+=("$(printf '%-44s %5d s' "$name" $((SECONDS - start)))")
    echo "== $name: $((SECONDS - start)) s"
}
configure() { cmake -S . -B "$1" -DKV_WERROR=ON "${launcher[@]}" "${@:2}" >/dev/null; }
run_ctest() { ctest --test-dir "$1" --output-on-failure --no-tests=error -j "$jobs" "${@:2}"; }

checks() {
    bash scripts/check_format.sh
    python3 scripts/check_layering.py
}

release() {
    configure build/test-release -DCMAKE_BUILD_TYPE=Release
    cmake --build build/test-release -j "$jobs"
    run_ctest build/test-release
}

address() {
    CC=clang CXX=clang++ configure build/test-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE=address \
        -DKV_BUILD_BENCH=OFF
    cmake --build build/test-asan -j "$jobs"
    # The tree's own checks ran in the Release step already.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_ctest build/test-asan -LE '^tooling$'
}

thread() {
    configure build/test-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE=thread -DKV_BUILD_BENCH=OFF
    local targets
    targets=$(cmake --build build/test-tsan --target help | sed -n 's/^\.\.\. \(test_[A-Za-z0-9_]*\).*/\1/p' \
        | grep -E "^test_(${tsan_labels})$" || true)
    [ -n "$targets" ] || return 0
    # shellcheck disable=SC2086
    cmake --build build/test-tsan -j "$jobs" --target $targets
    # TSan's shadow memory needs the narrower address layout of an unrandomised process.
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        setarch "$(uname -m)" -R ctest --test-dir build/test-tsan --output-on-failure --no-tests=error \
        -j "$jobs" -L "^(${tsan_labels})$"
}

step "format and layering checks" checks
step "g++ Release: build, header check, tests" release
step "clang ASan+UBSan: build, tests" address
step "g++ ThreadSanitizer: threaded code's tests" thread
if [ -f scripts/fuzz.sh ]; then
    step "fuzzers, quick run" bash scripts/fuzz.sh --quick
fi
