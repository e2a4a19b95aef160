#!/usr/bin/env bash
# Large turn files: a whole send run (`turnpost --no-gui -X`) to Postfix's smtp-sink on loopback.
#  1. peak resident memory of a run that sends one player a file of 1, 50 and 200 MiB (SIZES_MIB);
#  2. time per MiB for files of 1 to 50 MiB (the slope between the smallest and the largest, so the
#     start-up and the connection do not count);
#  3. four players with a 50 MiB file each against smtp-source sending four messages of the same size
#     over four connections, taking turns, ROUNDS times (default 3).
# Peak memory is the child's ru_maxrss (getrusage), so it covers the whole process. Turnpost is built
# for release in build-bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
py=/usr/bin/python3
build=${BENCH_BUILD:-build-bench}
rounds=${ROUNDS:-3}
sizes=${SIZES_MIB:-1 50 200}

scripts/install-deps.sh
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTURNPOST_TESTS=OFF >/dev/null
ninja -C "$build" -j2 turnpost >/dev/null
turnpost=$root/$build/bin/turnpost

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
start_smtp_sink "$port" 16

"$py" - "$work" "$port" "$turnpost" "$rounds" "$sizes" <<'PY'
import base64, json, os, resource, statistics, subprocess, sys, time

work, port, turnpost, rounds, sizes = sys.argv[1:]
rounds = int(rounds)
sizes = [int(s) for s in sizes.split()]
MiB = 1024 * 1024


def setup_for(name, players):
    """Writes a setup for the players [(address, file)] and returns its path."""
    setup = {
        "GameName": name, "SmtpServer": f"127.0.0.1:{port}", "ReturnAddress": "host@bench.example",
        "MessageSubject": "Your turn, player %P", "MessageText": "Your turn.\n", "SendPlayerFile": 1,
        "SendUniverseFile": 0, "DisplaySummary": 0, "SaveReportToFile": 0, "EmailReport": 0,
        "Players": [{"Selected": 1, "EmailAddress": a, "PlayerFile": f} for a, f in players],
    }
    path = os.path.join(work, name + ".json")
    json.dump(setup, open(path, "w"))
    tpf = os.path.join(work, name + ".tpf")
    subprocess.run([turnpost, "--import", path, tpf], check=True, stdout=subprocess.DEVNULL)
    return tpf


def turn_file(mib):
    path = os.path.join(work, f"large{mib}.m1")
    if not os.path.exists(path):
        with open(path, "wb") as out:
            for _ in range(mib):
                out.write(os.urandom(MiB))
    return path


def run(command):
    """Wall time in seconds and the child's peak resident set in KiB."""
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    stderr = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{command[0]} failed: {stderr}")
    return elapsed, usage.ru_maxrss


print("== peak memory, one player ==")
print(f"{'file MiB':>9}{'peak KiB':>11}{'x file':>8}{'s':>8}")
timed = {}
for mib in sorted(set(sizes + [1, 50])):
    tpf = setup_for(f"one{mib}", [("player1@bench.example", turn_file(mib))])
    samples = [run([turnpost, "--no-gui", "-X", tpf]) for _ in range(rounds)]
    elapsed = min(s[0] for s in samples)
    peak = max(s[1] for s in samples)
    timed[mib] = elapsed
    if mib in sizes:
        print(f"{mib:9}{peak:11}{peak / (mib * 1024):8.2f}{elapsed:8.2f}")

slope = (timed[50] - timed[1]) / 49
print(f"== time per MiB, 1 to 50 MiB: {slope * 1000:.1f} ms ({1 / slope:.0f} MiB/s of file) ==")

print("== four players of 50 MiB against smtp-source, four connections ==")
big = turn_file(50)
tpf = setup_for("four", [(f"player{n}@bench.example", big) for n in range(1, 5)])
encoded = len(base64.encodebytes(bytes(50 * MiB)).replace(b"\n", b"\r\n")) + 600
runs = {
    "turnpost": [turnpost, "--no-gui", "-X", tpf],
    "smtp-source": ["/usr/sbin/smtp-source", "-m", "4", "-s", "1", "-l", str(encoded),
                    "-f", "host@bench.example", "-t", "player@bench.example", f"127.0.0.1:{port}"],
}
times = {name: [] for name in runs}
for _ in range(rounds):
    for name, command in runs.items():
        times[name].append(run(command)[0])
print(f"{'':14}{'best s':>9}{'median s':>10}")
for name, samples in times.items():
    print(f"{name:14}{min(samples):9.2f}{statistics.median(samples):10.2f}")
print(f"turnpost / smtp-source: {min(times['turnpost']) / min(times['smtp-source']):.2f} best, "
      f"{statistics.median(times['turnpost']) / statistics.median(times['smtp-source']):.2f} median")
PY
