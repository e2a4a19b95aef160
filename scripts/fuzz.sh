#!/usr/bin/env bash
# Builds every libFuzzer target in fuzz/ with clang and the sanitizers (in build-fuzz/, without the
# desktop) and runs each for a short, bounded time on seeds made from tests/data, so that a target that
# no longer compiles or a reader that crashes on its seeds fails CI. FUZZ_SECONDS sets the time per target
# (default 20); a longer hunt is the same command with a larger number.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
seconds="${FUZZ_SECONDS:-20}"
build=build-fuzz
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTURNPOST_FUZZ=ON \
    -DTURNPOST_TESTS=OFF -DTURNPOST_BENCH=OFF -DTURNPOST_DESKTOP=OFF --no-warn-unused-cli \
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON >/dev/null
ninja -C "$build"

# Seeds: the fixture setups, as files and as JSON, and a few replies of each kind.
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"/{setup,json,reply,none}
cp tests/data/*.tpf "$seeds/setup/"
for f in tests/data/setup-v*.tpf tests/data/setup-extension.tpf; do
    "$build/bin/turnpost" --export "$f" >"$seeds/json/$(basename "$f" .tpf).json"
done
printf '220 mx.example ESMTP\r\n' >"$seeds/reply/greeting"
printf '250-mx.example\r\n250-PIPELINING\r\n250-SIZE 35882577\r\n250-AUTH PLAIN LOGIN XOAUTH2\r\n250 SMTPUTF8\r\n' \
    >"$seeds/reply/ehlo"
printf '550-5.7.1 rejected\r\n550 5.7.1 spam\r\n' >"$seeds/reply/refusal"
[ -d fuzz/seeds ] && cp -r fuzz/seeds/. "$seeds/"

corpus_for() {
    case "$1" in
    fuzz_setup_reader) echo setup ;;
    fuzz_json_import) echo json ;;
    fuzz_smtp_reply | fuzz_ehlo_reply) echo reply ;;
    *) [ -d "$seeds/${1#fuzz_}" ] && echo "${1#fuzz_}" || echo none ;;
    esac
}

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for source in fuzz/*.cpp; do
    target=$(basename "$source" .cpp)
    work="$build/corpus/$target"
    mkdir -p "$work"
    echo "fuzz: $target for ${seconds}s"
    "$build/bin/$target" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
        "$work" "$seeds/$(corpus_for "$target")" 2>"$build/$target.log" ||
        { tail -50 "$build/$target.log"; echo "fuzz: $target failed" >&2; exit 1; }
    grep -E '^stat::number_of_executed_units' "$build/$target.log" || true
done
echo "fuzz: every target ran without a failure"
