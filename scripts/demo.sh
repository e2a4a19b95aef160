#!/usr/bin/env bash
# Turnpost's main job on a sample game, on this machine, without any setup: builds Turnpost if needed,
# makes a small game (made-up bytes, not real game files) in a temporary folder, writes its setup with
# --import, checks it with --check, sends the turn headless to Postfix's smtp-sink on a free loopback
# port, and prints the send report, every message that arrived with its subject and attachments, and
# what the delivery ledger says with --status.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
py=/usr/bin/python3 # Debian's, which has the packages; a python3 on PATH may not

# Quiet unless it fails: then the whole output, so the cause is on the screen.
quietly() {
    local output
    if ! output=$("$@" 2>&1); then
        echo "$output" >&2
        echo "demo: failed: $*" >&2
        exit 1
    fi
}

scripts/install-deps.sh
# TURNPOST names another program to run the demo with, such as the one of an unpacked package.
turnpost=${TURNPOST:-}
if [ -z "$turnpost" ]; then
    if [ ! -f build/build.ninja ]; then
        echo "== building Turnpost in build/ (once)"
        quietly cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
    quietly ninja -C build -j2 turnpost
    turnpost=$root/build/bin/turnpost
fi

work=$(mktemp -d /tmp/turnpost-demo.XXXXXX)
source scripts/smtp-sink.sh
sink_pid=
cleanup() {
    local status=$?
    stop_smtp_sink
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

# The game: universe file, host file at turn 42 (game year 2442), four turn files. Each begins with
# the 18-byte header the game writes (block header 10 20, game id, turn, player, file type), which
# Turnpost checks before it mails anybody; the rest is made-up bytes.
game=$work/game
mkdir -p "$game"
"$py" - "$game" <<'PY'
import random, struct, sys
folder = sys.argv[1]
rng = random.Random(7)
def junk(n): return bytes(rng.randrange(256) for _ in range(n))
GAME_ID, TURN = 0x5EA5011, 42
UNIVERSE, HOST, TURN_FILE = 0, 2, 3
def header(file_type, player, turn=TURN):
    salt = rng.randrange(2048)
    return struct.pack("<H4sIHHHBB", 0x2010, b"J3J3", GAME_ID, 0x2A1C, turn, (salt << 5) | player, file_type, 0)
open(f"{folder}/demo.xy", "wb").write(header(UNIVERSE, 31, turn=0) + junk(6000))
open(f"{folder}/demo.hst", "wb").write(header(HOST, 31) + junk(3000))
for n in range(1, 5):
    open(f"{folder}/demo.m{n}", "wb").write(header(TURN_FILE, n - 1) + junk(1500 + 700 * n))
PY

port=$(free_loopback_port)

# The setup, as JSON turned into a .tpf by Turnpost itself.
"$py" - "$game" "$port" "$work" >"$work/game.json" <<'PY'
import json, sys
folder, port, work = sys.argv[1], sys.argv[2], sys.argv[3]
names = ["Ann", "Bo", "Cy", "Di"]
players = [{"Selected": 0, "EmailAddress": "", "PlayerFile": ""} for _ in range(16)]
for n, name in enumerate(names, start=1):
    players[n - 1] = {"Selected": 1, "EmailAddress": f"{name.lower()}@players.example",
                      "PlayerFile": f"{folder}/demo.m{n}"}
print(json.dumps({
    "GameName": "Demo Galaxy",
    "UniverseFile": f"{folder}/demo.xy",
    "SmtpServer": f"127.0.0.1:{port}",
    "ReturnAddress": "host@turnpost.example",
    "MessageSubject": "%G: your turn for %Y (player %P)",
    "UseDefaultMessage": 0,
    "MessageText": "Hello player %P,\n\nhere are the files of %G for the year %Y.\n",
    "SendPlayerFile": 1, "SendUniverseFile": 1, "SendAdditionalFiles": 0,
    "SmtpTimeout": 15000, "PauseAfterConnection": 0,
    "DisplaySummary": 1, "SaveReportToFile": 1, "EmailReport": 1,
    "ReportFile": f"{work}/report.txt", "ReportAddress": "host@turnpost.example",
    "DetailedReport": 1,
    "SmtpSecurity": 0, "SmtpUser": "", "SmtpPasswordCommand": "",
    "Players": players,
}, indent=2))
PY
"$turnpost" --import "$work/game.json" "$work/game.tpf"

# A real SMTP receiver that keeps each message in a file of its own.
mkdir -p "$work/mail"
if [ "$(id -u)" -eq 0 ]; then
    chmod 755 "$work" # smtp-sink writes as nobody
    chmod 777 "$work/mail"
fi
start_smtp_sink "$port" 16 -d "$work/mail/%H%M%S."

echo "== turnpost --check game.tpf (reads and checks every file, greets the server, mails nobody)"
"$turnpost" --check "$work/game.tpf"
echo
echo "== turnpost --no-gui -X game.tpf (summary on standard output, progress on standard error)"
status=0
"$turnpost" --no-gui -X "$work/game.tpf" || status=$?
sleep 0.2 # smtp-sink closes its last dump file after the QUIT

echo
echo "== the report file $work/report.txt"
tr -d '\r' <"$work/report.txt"

echo "== received by smtp-sink on 127.0.0.1:$port"
"$py" - "$work/mail" <<'PY'
import email, email.policy, os, sys
folder = sys.argv[1]
messages = [email.message_from_bytes(open(os.path.join(folder, name), "rb").read(), policy=email.policy.compat32)
            for name in os.listdir(folder)]
# The players in the order of their addresses (as the setup has them), the report mail last.
messages.sort(key=lambda m: ("Send Report" in m["Subject"], m["X-Rcpt-Args"]))
for message in messages:
    print(f"To {message['X-Rcpt-Args'].strip('<>')}: {message['Subject']}")
    for part in message.walk():
        filename = part.get_filename()
        if filename:
            print(f"    {filename:12} {len(part.get_payload(decode=True)):6} bytes")
PY

echo
echo "== turnpost --status game.tpf (from the delivery ledger game.tpf.ledger)"
"$turnpost" --status "$work/game.tpf" || status=$?
exit "$status"
