#!/usr/bin/env bash
# Fails when a C++ file is not as clang-format 16 writes it with the repository's .clang-format.
# Without arguments it checks every tracked *.cpp and *.h; with arguments, the files named.
set -euo pipefail
format=${CLANG_FORMAT:-clang-format-16}
if [ $# -gt 0 ]; then
    files=("$@")
else
    cd "$(dirname "$0")/.."
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        mapfile -t files < <(git ls-files '*.cpp' '*.h')
    else
        mapfile -t files < <(find platform framework timing audio render tools production tests bench fuzz \
            \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort)
    fi
fi
if [ ${#files[@]} -eq 0 ]; then
    echo "check_format: no files to check" >&2
    exit 1
fi
if ! printf '%s\0' "${files[@]}" | xargs -0 -n 40 -P "$(nproc)" "$format" --dry-run -Werror; then
    echo "check_format: files differ from $format's layout; run $format -i on them" >&2
    exit 1
fi
echo "check_format: ${#files[@]} files as $format writes them"
