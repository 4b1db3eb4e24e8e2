#!/usr/bin/env bash
# The layering check fails on its fixture tree and names both upward includes: a library file's and
# a test's through a support file that needs a higher library.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
output=$(python3 "$here/../../scripts/check_layering.py" --root "$here/layering" 2>&1)
status=$?
echo "$output"
[ "$status" -eq 1 ] || { echo "expected exit code 1, got $status"; exit 1; }
for expected in "low/Low.cpp: includes high/High.h" "tests/low/LowTest.cpp: includes tests/support/HighHelper.h"; do
    grep -qF "$expected" <<<"$output" || { echo "missing: $expected"; exit 1; }
done
# Only those two: the includes that keep the order are not reported.
[ "$(grep -c ': includes ' <<<"$output")" -eq 2 ] || { echo "expected exactly two reports"; exit 1; }
