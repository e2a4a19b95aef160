#!/usr/bin/env bash
# Cross-builds turnpost.exe for 64-bit Windows into build-windows/ with Debian's MinGW-w64, and its zip,
# build-windows/package/turnpost-VERSION-windows-x86_64.zip, whose text manual is printed by the Windows
# build's own option lister under Wine. Installs what it needs when missing (as root).
#
# With --tests, the Windows tests are built too and run under Wine in a prefix of the build's own: the
# Windows code's own tests, the shared unit tests that need nothing beyond Windows, TLS against servers
# on this side, and the program end to end against the loopback servers the Linux tests use (installed
# by install-deps.sh). Extra arguments are ninja targets to build instead of the program and its zip.
# JOBS sets ninja's parallelism (default 1: the build shares the machine).
set -euo pipefail
cd "$(dirname "$0")/.."

tests=OFF
if [ "${1:-}" = "--tests" ]; then
    tests=ON
    shift
fi

packages=(g++-mingw-w64-x86-64-posix cmake ninja-build nlohmann-json3-dev wine64 groff-base)
[ "$tests" = ON ] && packages+=(googletest) && scripts/install-deps.sh
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "build-windows: these packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTURNPOST_WERROR=ON \
    -DTURNPOST_DESKTOP=OFF -DTURNPOST_TESTS=$tests -DTURNPOST_BENCH=OFF "${launcher[@]}" >/dev/null
if [ $# -gt 0 ]; then
    ninja -C build-windows -j "${JOBS:-1}" "$@"
    exit
fi

# Wine runs the option lister for the manual and the tests.
export WINEPREFIX="${WINEPREFIX:-$PWD/build-windows/wine}" WINEDEBUG="${WINEDEBUG:--all}"
# Debian keeps Wine's programs out of PATH unless the wine package's wrappers are installed.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# One server for the whole run, kept alive between Wine starts: a cold start costs seconds each time.
# Its services are started here too, away from ctest's pipes, which they would otherwise hold open.
# A new prefix is made quietly, without the offer to fetch Mono and Gecko.
mkdir -p "$WINEPREFIX"
"$wineserver" -p </dev/null >/dev/null 2>&1
# The tests' own fixture may have stopped it already.
trap '"$wineserver" -k 2>/dev/null || true; "$wineserver" -w || true' EXIT
WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i </dev/null >/dev/null 2>&1

targets=(turnpost turnpost_windows_package_files)
[ "$tests" = ON ] && targets+=(tests_windows)
ninja -C build-windows -j "${JOBS:-1}" "${targets[@]}"
[ "$tests" = ON ] && ctest --test-dir build-windows --output-on-failure
(cd build-windows && cpack -B package >/dev/null)
echo "build-windows: $(ls build-windows/package/turnpost-*-windows-x86_64.zip)"
