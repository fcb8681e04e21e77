#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ file differs from what .clang-format makes of
# it. `scripts/check-format.sh --fix` rewrites those files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i --style=file "${files[@]}"
    exit 0
fi
unformatted=()
for f in "${files[@]}"; do
    clang-format --style=file --dry-run --Werror "$f" > /dev/null 2>&1 || unformatted+=("$f")
done
if [ ${#unformatted[@]} -ne 0 ]; then
    echo "not formatted by .clang-format (run scripts/check-format.sh --fix):"
    printf '  %s\n' "${unformatted[@]}"
    exit 1
fi
echo "format: ${#files[@]} files match .clang-format"
