#!/usr/bin/env bash
# Cross-builds the Windows parts that build so far into build-windows/, with Debian's MinGW-w64
# (installed when missing, which needs root). Extra arguments are ninja targets; without any, the
# libraries and turnpost.exe. With --tests first, the Windows tests are built too and run under Wine
# (wine64, installed likewise), in a Wine prefix of the build's own; the TLS tests also need openssl
# and python3 on this side. JOBS sets ninja's parallelism (default 1: the build shares the machine).
set -euo pipefail
cd "$(dirname "$0")/.."

tests=OFF
if [ "${1:-}" = "--tests" ]; then
    tests=ON
    shift
fi

packages=(g++-mingw-w64-x86-64-posix cmake ninja-build nlohmann-json3-dev)
[ "$tests" = ON ] && packages+=(googletest wine64)
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
    -DTURNPOST_DESKTOP=OFF -DTURNPOST_TESTS=$tests -DTURNPOST_BENCH=OFF "${launcher[@]}"

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(turnpost_platform turnpost_game turnpost_setup turnpost_mail turnpost_send
                                     turnpost_collect turnpost_app turnpost)
# The tests come first: they need only the platform, so they run whatever state the rest is in.
if [ "$tests" = ON ]; then
    ninja -C build-windows -j "${JOBS:-1}" tests_windows
    export WINEPREFIX="${WINEPREFIX:-$PWD/build-windows/wine}" WINEDEBUG="${WINEDEBUG:--all}"
    # Debian keeps Wine's programs out of PATH unless the wine package's wrappers are installed.
    wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    # One server for the whole run, kept alive between tests: a cold start costs seconds each time.
    # Its services are started here too, away from ctest's pipes, which they would otherwise hold open.
    # A new prefix is made quietly, without the offer to fetch Mono and Gecko.
    mkdir -p "$WINEPREFIX"
    "$wineserver" -p </dev/null >/dev/null 2>&1
    trap '"$wineserver" -k 2>/dev/null; "$wineserver" -w' EXIT
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i </dev/null >/dev/null 2>&1
    ctest --test-dir build-windows --output-on-failure
fi
ninja -C build-windows -j "${JOBS:-1}" "${targets[@]}"
