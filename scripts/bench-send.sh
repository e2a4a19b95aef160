#!/usr/bin/env bash
# Times a send run of sixteen selected players (each a 100 KiB turn file and the 300 KiB universe file)
# to Postfix's smtp-sink on loopback, against the same sixteen messages sent by a Python smtplib script
# and against smtp-source sending sixteen messages of the same size over sixteen connections.
# The three run in turns, ROUNDS times (default 7); the best and the median of each are printed.
# Turnpost is built for release in build-bench/ (shared with scripts/bench-mail.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
py=/usr/bin/python3
build=build-bench
rounds=${ROUNDS:-7}

scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTURNPOST_TESTS=OFF >/dev/null
ninja -C "$build" -j2 turnpost >/dev/null
turnpost=$root/$build/bin/turnpost
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")

work=$(mktemp -d /tmp/turnpost-bench.XXXXXX)
source scripts/smtp-sink.sh
sink_pid=
cleanup() {
    local status=$?
    stop_smtp_sink
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

port=$(free_loopback_port)
start_smtp_sink "$port" 64

"$py" - "$work" "$port" "$turnpost" "$rounds" "$build_type" "$root/bench/send_with_smtplib.py" <<'PY'
import base64, json, os, socket, statistics, subprocess, sys, time

work, port, turnpost, rounds, build_type, smtplib_script = sys.argv[1:]
port, rounds = int(port), int(rounds)

for _ in range(200):
    try:
        socket.create_connection(("127.0.0.1", port), 1).close()
        break
    except OSError:
        time.sleep(0.05)

rng = os.urandom
universe = os.path.join(work, "bench.xy")
open(universe, "wb").write(rng(300 * 1024))
open(os.path.join(work, "bench.hst"), "wb").write(rng(18))
players = []
for n in range(1, 17):
    path = os.path.join(work, f"bench.m{n}")
    open(path, "wb").write(rng(100 * 1024))
    players.append({"Selected": 1, "EmailAddress": f"player{n}@bench.example", "PlayerFile": path})
setup = {
    "GameName": "Bench", "UniverseFile": universe, "SmtpServer": f"127.0.0.1:{port}",
    "ReturnAddress": "host@bench.example", "MessageSubject": "Your turn, player %P",
    "MessageText": "Your turn.\n", "SendPlayerFile": 1, "SendUniverseFile": 1,
    "DisplaySummary": 0, "SaveReportToFile": 0, "EmailReport": 0, "Players": players,
}
setup_json = os.path.join(work, "bench.json")
json.dump(setup, open(setup_json, "w"))
tpf = os.path.join(work, "bench.tpf")
subprocess.run([turnpost, "--import", setup_json, tpf], check=True)

# smtp-source sends a payload of this many bytes: what one player's attachments come to in base64.
def encoded(n):
    return len(base64.encodebytes(bytes(n)).replace(b"\n", b"\r\n"))
payload = encoded(300 * 1024) + encoded(100 * 1024) + 600

runs = {
    "turnpost": [turnpost, "--no-gui", "-X", tpf],
    "python smtplib": ["/usr/bin/python3", smtplib_script, setup_json],
    "smtp-source": ["/usr/sbin/smtp-source", "-m", "16", "-s", "1", "-l", str(payload),
                    "-f", "host@bench.example", "-t", "player@bench.example", f"127.0.0.1:{port}"],
}
times = {name: [] for name in runs}
for _ in range(rounds):
    for name, command in runs.items():
        start = time.perf_counter()
        done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit(f"{name} failed ({done.returncode}): {done.stderr.decode(errors='replace')}")
        times[name].append(elapsed)

print(f"sixteen messages of {payload / 1024:.0f} KiB each to smtp-sink on loopback, "
      f"{rounds} rounds, turnpost built {build_type or 'without a build type'}")
print(f"{'':16}{'best ms':>10}{'median ms':>12}")
for name, samples in times.items():
    print(f"{name:16}{min(samples) * 1000:10.1f}{statistics.median(samples) * 1000:12.1f}")
best = {name: min(samples) for name, samples in times.items()}
median = {name: statistics.median(samples) for name, samples in times.items()}
for other, target in (("smtp-source", "<= 1.5"), ("python smtplib", "< 1")):
    print(f"turnpost / {other}: {best['turnpost'] / best[other]:.2f} best, "
          f"{median['turnpost'] / median[other]:.2f} median (target {target})")
PY
