#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build/fuzz, writes their seeds with the project's own writers and runs every target over its
# corpus, one after another:
#   bash scripts/fuzz.sh            each target for 600 seconds (the long run)
#   bash scripts/fuzz.sh 3600       each target for 3600 seconds
#   bash scripts/fuzz.sh --quick    each target for 5 seconds, fixed random seed (the test command's run)
# Corpora grow in build/fuzz/corpus/<target> from run to run; a failing input is kept in
# build/fuzz/artifacts/ and the target's output in build/fuzz/logs/<target>.log. One line per target;
# exit code 1 when any target crashed, leaked, hung or ran out of memory, 2 on wrong usage.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
seed=()
case "${1:-}" in
--quick)
    seconds=5
    seed=(-seed=1)
    ;;
'') ;;
*[!0-9]* | 0)
    echo "usage: bash scripts/fuzz.sh [--quick | seconds per target]" >&2
    exit 2
    ;;
*) seconds=$1 ;;
esac

bash scripts/deps.sh
build=build/fuzz
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DKV_FUZZ=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF "${launcher[@]}" &&
    cmake --build "$build" -j "$(nproc)" --target kv_fuzz; } >"$build/build.log" 2>&1; then
    tail -n 40 "$build/build.log" >&2
    echo "fuzz targets: build FAILED, see $build/build.log" >&2
    exit 1
fi
export UBSAN_OPTIONS=print_stacktrace=1
# The targets' temporary files and folders stay in the build folder, also those a crash leaves.
rm -rf "$build/tmp"
mkdir -p "$build/artifacts" "$build/logs" "$build/tmp"
TMPDIR="$(cd "$build/tmp" && pwd)"
export TMPDIR KV_TEST_TMP="$TMPDIR"
"$build/fuzz/MakeFuzzCorpus" "$build/seeds" || { echo "fuzz seeds: FAILED" >&2; exit 1; }
failed=0
while read -r target; do
    [ -n "$target" ] || continue
    corpus="$build/corpus/$target"
    log="$build/logs/$target.log"
    mkdir -p "$corpus"
    dict=()
    if [ -f "fuzz/dict/$target.dict" ]; then dict=(-dict="fuzz/dict/$target.dict"); fi
    # The shader text's preprocessing limits keep any input within 2 s and 512 MB, even under the
    # sanitizers: an input that needs more has found a way around them.
    limits=(-timeout=10 -rss_limit_mb=2048)
    asan_options=${ASAN_OPTIONS:-}
    if [ "$target" = ShaderTextFuzz ]; then
        # Each input is compiled three times (see the target), each within the 2 s.
        limits=(-timeout=6 -rss_limit_mb=512)
        # The limit is for what one input needs. AddressSanitizer holds freed memory back (256 MB
        # by default) to catch late uses, which over a long run or the leak check's pass over the
        # whole corpus alone nears the limit; a smaller hold keeps the check and leaves the limit
        # to the input.
        asan_options="${asan_options:+$asan_options:}quarantine_size_mb=64"
    fi
    common=("${limits[@]}" -artifact_prefix="$build/artifacts/$target-" "${dict[@]}")
    # Fuzzing runs without libFuzzer's leak check after each input: the engine's arrays shrink and
    # grow between runs, so most runs look as if they kept memory and each check costs milliseconds.
    # Every input of the corpus is then run once more with the check.
    status=ok
    if ! ASAN_OPTIONS=$asan_options "$build/fuzz/$target" "${common[@]}" "${seed[@]}" -detect_leaks=0 \
        -max_total_time="$seconds" "$corpus" "$build/seeds/$target" >"$log" 2>&1; then
        status=FAILED
    elif ! ASAN_OPTIONS=$asan_options "$build/fuzz/$target" "${common[@]}" -detect_leaks=1 -runs=0 "$corpus" \
        "$build/seeds/$target" >>"$log" 2>&1; then
        status=FAILED
    fi
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | head -n 1)
    inputs=$(find "$corpus" -type f | wc -l)
    if [ "$status" = ok ]; then
        echo "$target: ok, ${runs:-0} runs in ${seconds} s, $inputs inputs in the corpus"
    else
        failed=1
        echo "$target: FAILED, see $log"
        grep -a -m 3 -E '^(SUMMARY|==[0-9]+== ?ERROR)|^artifact_prefix|Test unit written' "$log" | sed 's/^/    /' || true
    fi
done <"$build/fuzz_targets.txt"
exit "$failed"
