#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it (the committed .clang-format), so
# that the code stays in one layout; `clang-format -i FILE` mends it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests fuzz bench desktop -name '*.cpp' -o -name '*.h')
clang-format --dry-run --Werror "${files[@]}"
