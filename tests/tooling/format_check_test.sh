#!/usr/bin/env bash
# The format check fails on a misformatted file (checked with the repository's .clang-format) and
# passes on the same file once clang-format has written it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/.clang-format" "$work/.clang-format"
cp "$here/format/Misformatted.cpp.txt" "$work/Misformatted.cpp"
if bash "$root/scripts/check_format.sh" "$work/Misformatted.cpp"; then
    echo "the check passed a misformatted file"
    exit 1
fi
"${CLANG_FORMAT:-clang-format-16}" -i "$work/Misformatted.cpp"
bash "$root/scripts/check_format.sh" "$work/Misformatted.cpp" || { echo "the check failed a formatted file"; exit 1; }
