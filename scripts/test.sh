#!/usr/bin/env bash
# Installs what is needed, builds and runs every test. With --sanitize the build uses AddressSanitizer
# and UndefinedBehaviorSanitizer and goes to build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTURNPOST_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
    build=build-asan
    options=(-DCMAKE_BUILD_TYPE=Debug -DTURNPOST_WERROR=ON -DTURNPOST_SANITIZE=ON -DTURNPOST_BENCH=OFF)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" -G Ninja "${options[@]}" >/dev/null
ninja -C "$build"
ctest --test-dir "$build" --output-on-failure -j2
