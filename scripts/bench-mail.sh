#!/usr/bin/env bash
# Times the mail transport against the tools a host would otherwise use, in one run on this machine:
#  1. base64: tp_base64 vs coreutils `base64 -w 76` vs Python's base64.encodebytes on one 64 MiB file
#     (whole processes, best of several runs), plus the encoder alone (Google Benchmark);
#  2. delivery: one message with two 100 KiB attachments to smtp-sink, time per message, vs
#     Postfix's smtp-source sending messages of the same size, one connection per message;
#  3. peak memory while sending one message with a 50 MiB attachment, vs three times the file size.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTURNPOST_TESTS=OFF >/dev/null
ninja -C "$build" -j2 base64_bench tp_base64 tp_deliver >/dev/null
bin="$build/bin"
python=/usr/bin/python3
runs=${RUNS:-5}
work=$(mktemp -d)
source scripts/smtp-sink.sh
sink_pid=
cleanup() {
    stop_smtp_sink
    rm -rf "$work"
}
trap cleanup EXIT

# Best wall time of $runs runs, in seconds.
best_time() {
    local best= t
    for _ in $(seq "$runs"); do
        local start=$(date +%s%N)
        "$@" >/dev/null
        t=$(( $(date +%s%N) - start ))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

echo "== base64, 64 MiB, best of $runs =="
head -c $((64 << 20)) /dev/urandom >"$work/input.bin"
# Same text apart from the CR of each line end.
cmp <("$bin/tp_base64" "$work/input.bin" | tr -d '\r') <(base64 -w 76 "$work/input.bin")
cat >"$work/encode.py" <<'PY'
import base64, sys
sys.stdout.buffer.write(base64.encodebytes(open(sys.argv[1], "rb").read()))
PY
t_ours=$(best_time "$bin/tp_base64" "$work/input.bin")
t_core=$(best_time base64 -w 76 "$work/input.bin")
t_py=$(best_time "$python" "$work/encode.py" "$work/input.bin")
mib() { awk -v t="$1" 'BEGIN { printf "%.0f", 64 / t }'; }
printf '%-28s %8s s %6s MiB/s\n' "tp_base64" "$t_ours" "$(mib "$t_ours")" \
    "base64 -w 76 (coreutils)" "$t_core" "$(mib "$t_core")" \
    "Python base64.encodebytes" "$t_py" "$(mib "$t_py")"
echo "speed-up vs coreutils: $(ratio "$t_core" "$t_ours")x (target >= 2)"
echo "speed-up vs Python:    $(ratio "$t_py" "$t_ours")x (target >= 10)"
"$bin/base64_bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
    grep -E 'median' || true

echo "== delivery to smtp-sink, one connection per message =="
port=$(free_loopback_port)
start_smtp_sink "$port" 256
head -c $((100 << 10)) /dev/urandom >"$work/game.xy"
head -c $((100 << 10)) /dev/urandom >"$work/game.m1"
messages=${MESSAGES:-100}
# Our message: two encoded attachments of 140,130 bytes each, plus headers and part headers.
size=281000
"$bin/tp_deliver" "127.0.0.1:$port" 5 "$work/game.xy" "$work/game.m1" >/dev/null # warm up
t_deliver=$(best_time "$bin/tp_deliver" "127.0.0.1:$port" "$messages" "$work/game.xy" "$work/game.m1")
t_source=$(best_time /usr/sbin/smtp-source -s 1 -m "$messages" -l "$size" "127.0.0.1:$port")
per() { awk -v t="$1" -v n="$messages" 'BEGIN { printf "%.2f", t * 1000 / n }'; }
printf '%-28s %8s ms per message\n' "tp_deliver" "$(per "$t_deliver")" "smtp-source" "$(per "$t_source")"
echo "time vs smtp-source: $(ratio "$t_deliver" "$t_source")x (target <= 1.5)"

echo "== peak memory, one message with a 50 MiB attachment =="
head -c $((50 << 20)) /dev/urandom >"$work/big.xy"
if [ -x /usr/bin/time ]; then
    peak=$(/usr/bin/time -v "$bin/tp_deliver" "127.0.0.1:$port" 1 "$work/big.xy" 2>&1 >/dev/null |
        awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')
else
    peak=$("$bin/tp_deliver" "127.0.0.1:$port" 1 "$work/big.xy" | awk '/peak_rss_kib/ { print $2 }')
fi
limit=$((3 * 50 * 1024))
echo "peak resident set: $peak KiB, limit 3 x file size = $limit KiB ($(ratio "$peak" $((50 * 1024)))x the file)"
