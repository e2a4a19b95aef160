#!/usr/bin/env bash
# Large attachments: a send run of the real program to Postfix's smtp-sink on loopback.
#  1. peak memory (the child's maximum resident set) of one player with a 1, 50 and 200 MiB turn file,
#     and of a 50 MiB turn file with a 200 MiB universe file;
#  2. time per MiB from 1 to 50 MiB: runs of several players each, less the same runs with empty
#     files (the cost of the run itself);
#  3. four players of 50 MiB each against smtp-source sending the same four messages, in turns.
# Release build in build-bench/ unless BENCH_BUILD names another; ROUNDS (default 3) runs of each.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
py=/usr/bin/python3
build=${BENCH_BUILD:-build-bench}
rounds=${ROUNDS:-3}

scripts/install-deps.sh
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTURNPOST_TESTS=OFF >/dev/null
ninja -C "$build" -j2 turnpost >/dev/null
turnpost=$root/$build/bin/turnpost
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")

work=$(mktemp -d /tmp/turnpost-large.XXXXXX)
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

"$py" - "$work" "$port" "$turnpost" "$rounds" "$build_type" <<'PY'
import base64, json, os, subprocess, sys, time

work, port, turnpost, rounds, build_type = sys.argv[1:]
port, rounds = int(port), int(rounds)
MiB = 1 << 20

def make_file(name, size):
    path = os.path.join(work, name)
    if not os.path.exists(path) or os.path.getsize(path) != size:
        with open(path, "wb") as f:
            for _ in range(size // MiB):
                f.write(os.urandom(MiB))
            f.write(os.urandom(size % MiB))
    return path

def setup_file(name, turn_sizes, universe_size=None):
    """A setup of one player per turn size; returns the .tpf path."""
    players = []
    for n, size in enumerate(turn_sizes, 1):
        players.append({"Selected": 1, "EmailAddress": f"player{n}@bench.example",
                        "PlayerFile": make_file(f"{name}.m{n}", size)})
    setup = {
        "GameName": "Bench", "SmtpServer": f"127.0.0.1:{port}", "ReturnAddress": "host@bench.example",
        "MessageSubject": "Your turn, player %P", "MessageText": "Your turn.\n", "SendPlayerFile": 1,
        "SendUniverseFile": 1 if universe_size is not None else 0, "CheckTurnFiles": 0,
        "DisplaySummary": 0, "SaveReportToFile": 0, "EmailReport": 0, "Players": players,
    }
    if universe_size is not None:
        setup["UniverseFile"] = make_file(f"{name}.xy", universe_size)
    json_path = os.path.join(work, f"{name}.json")
    json.dump(setup, open(json_path, "w"))
    tpf = os.path.join(work, f"{name}.tpf")
    subprocess.run([turnpost, "--import", json_path, tpf], check=True, stdout=subprocess.DEVNULL)
    return tpf

def run(command):
    """Wall seconds and peak resident KiB of one run of command."""
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    err = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    if status != 0:
        sys.exit(f"{command[0]} failed ({status}): {err}")
    return elapsed, usage.ru_maxrss

def send(tpf):
    return run([turnpost, "--no-gui", "-X", tpf])

print(f"turnpost built {build_type or 'without a build type'}, smtp-sink on loopback, best of {rounds}")
print("== peak memory ==")
cases = [("1 MiB turn file", [1 * MiB], None), ("50 MiB turn file", [50 * MiB], None),
         ("200 MiB turn file", [200 * MiB], None),
         ("50 MiB turn, 200 MiB universe", [50 * MiB], 200 * MiB)]
for label, turns, universe in cases:
    tpf = setup_file("mem" + str(len(label)), turns, universe)
    peak = min(send(tpf)[1] for _ in range(rounds))
    print(f"{label:32}{peak / 1024:8.1f} MiB")

print("== time per MiB ==")
# Several players per run, so that a run's own cost (start, ledger, report) and its noise are spread
# over many MiB: time per MiB = (run - the same run with empty files) / MiB sent.
per = {}
for size in (1, 5, 10, 25, 50):
    players = max(2, min(16, 100 // size))
    tpf = setup_file(f"t{size}", [size * MiB] * players)
    empty = setup_file(f"e{players}", [0] * players)
    best = min(send(tpf)[0] for _ in range(rounds))
    base = min(send(empty)[0] for _ in range(rounds))
    per[size] = (best - base) / (size * players)
    print(f"{size:4} MiB x {players:2} players{'':14}{best * 1000:8.1f} ms{per[size] * 1000:8.2f} ms/MiB")
print(f"time per MiB at 50 MiB / at 1 MiB: {per[50] / per[1]:.2f} (target <= 1.2)")

print("== four players of 50 MiB ==")
four = setup_file("four", [50 * MiB] * 4)
encoded = len(base64.encodebytes(bytes(50 * MiB)).replace(b"\n", b"\r\n"))
source = ["/usr/sbin/smtp-source", "-m", "4", "-s", "1", "-l", str(encoded + 600),
          "-f", "host@bench.example", "-t", "player@bench.example", f"127.0.0.1:{port}"]
times = {"turnpost": [], "smtp-source": []}
for _ in range(rounds):
    times["turnpost"].append(send(four)[0])
    times["smtp-source"].append(run(source)[0])
for name, samples in times.items():
    print(f"{name:32}{min(samples) * 1000:8.1f} ms")
print(f"turnpost / smtp-source: {min(times['turnpost']) / min(times['smtp-source']):.2f} (target <= 1.2)")
PY
