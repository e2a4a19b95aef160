#!/usr/bin/env bash
# Installs what is needed, builds and runs every test; then builds again without the desktop, with
# Qt hidden from CMake, and runs the tests of that build, which are all headless; then cross-builds the
# Windows program and runs its tests under Wine (scripts/build-windows.sh). With --sanitize the
# build uses AddressSanitizer and UndefinedBehaviorSanitizer and goes to build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/check-boundary.sh
scripts/install-deps.sh
scripts/check-format.sh

run() {
    local build=$1
    shift
    cmake -S . -B "$build" -G Ninja "$@" >/dev/null
    ninja -C "$build"
    ctest --test-dir "$build" --output-on-failure -j2
}

if [ "${1:-}" = "--sanitize" ]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run build-asan -DCMAKE_BUILD_TYPE=Debug -DTURNPOST_WERROR=ON -DTURNPOST_SANITIZE=ON -DTURNPOST_BENCH=OFF
    exit
fi
run build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTURNPOST_WERROR=ON
run build-headless --no-warn-unused-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTURNPOST_WERROR=ON -DTURNPOST_DESKTOP=OFF \
    -DTURNPOST_BENCH=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt6Keychain=ON
JOBS=2 scripts/build-windows.sh --tests
