#!/usr/bin/env bash
# format_check.sh CLANG_FORMAT SOURCE_DIR: fails, naming each file, when a C++
# source of the tree differs from what .clang-format makes of it.
set -eu
clang_format=$1
cd "$2"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
"$clang_format" --dry-run --Werror "${files[@]}"
echo "${#files[@]} files formatted as .clang-format says"
