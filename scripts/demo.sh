#!/usr/bin/env bash
# Turnpost's main job on a sample game, on this machine, without any setup: builds Turnpost if needed,
# makes a small game (made-up bytes, not real game files) in a temporary folder, writes its setup with
# --import, checks it with --check, sends the turn headless to Postfix's smtp-sink on a free loopback
# port, and prints the send report and every message that arrived with its subject and attachments.
# Then the players answer: two orders and one refused file arrive in a private Dovecot's mailbox on
# another loopback port, --collect takes them into the game folder, and --status shows the board: the
# deadline, what the delivery ledger says and whose orders are in. --remind then chases the two
# players whose orders are missing, and --turn-done says the turn is not done yet.
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
source scripts/dovecot.sh
sink_pid=
dovecot_pid=
cleanup() {
    local status=$?
    stop_dovecot
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
"$py" - "$game" "$work/orders" <<'PY'
import os, random, struct, sys
folder, orders = sys.argv[1], sys.argv[2]
rng = random.Random(7)
def junk(n): return bytes(rng.randrange(256) for _ in range(n))
GAME_ID, TURN = 0x5EA5011, 42
UNIVERSE, ORDERS, HOST, TURN_FILE = 0, 1, 2, 3
def header(file_type, player, turn=TURN):
    salt = rng.randrange(2048)
    return struct.pack("<H4sIHHHBB", 0x2010, b"J3J3", GAME_ID, 0x2A1C, turn, (salt << 5) | player, file_type, 0)
open(f"{folder}/demo.xy", "wb").write(header(UNIVERSE, 31, turn=0) + junk(6000))
open(f"{folder}/demo.hst", "wb").write(header(HOST, 31) + junk(3000))
for n in range(1, 5):
    open(f"{folder}/demo.m{n}", "wb").write(header(TURN_FILE, n - 1) + junk(1500 + 700 * n))
# What the players will send back: this turn's orders of Ann and Bo, and Cy's orders of the turn before.
os.makedirs(orders)
open(f"{orders}/demo.x1", "wb").write(header(ORDERS, 0) + junk(400))
open(f"{orders}/demo.x2", "wb").write(header(ORDERS, 1) + junk(500))
open(f"{orders}/demo.x3", "wb").write(header(ORDERS, 2, turn=TURN - 1) + junk(450))
PY

port=$(free_loopback_port)
imap_port=$(free_loopback_port)

# The setup, as JSON turned into a .tpf by Turnpost itself.
"$py" - "$game" "$port" "$work" "$imap_port" >"$work/game.json" <<'PY'
import json, sys
folder, port, work, imap_port = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
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
    # The mailbox the orders arrive in; plain text, which Turnpost allows only to this machine. Its
    # password comes from TURNPOST_IMAP_PASSWORD below, so no command needs approving.
    "CollectServer": f"127.0.0.1:{imap_port}", "CollectSecurity": 0, "CollectUser": "host",
    "CollectPasswordCommand": "", "CollectFolder": "INBOX",
    "ProcessedFolder": "Turnpost/Processed", "RejectedFolder": "Turnpost/Rejected",
    "AcknowledgeOrders": 1,
    # A week to answer from the first turn mail; reminders a week before, so the demo's go at once.
    "TurnDeadlineHours": 168, "RemindHoursBefore": 168,
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
echo "== the players answer: three messages in the mailbox of a private Dovecot on 127.0.0.1:$imap_port"
start_dovecot "$work/dovecot" "$imap_port" host demo-password
"$py" - "$work/orders" <<'PY'
import email.message, email.utils, os, sys
folder = sys.argv[1]
for n, name in [(1, "Ann"), (2, "Bo"), (3, "Cy")]:
    message = email.message.EmailMessage()
    message["From"] = f"{name} <{name.lower()}@players.example>"
    message["To"] = "host@turnpost.example"
    message["Subject"] = f"Demo Galaxy: orders of player {n}"
    message["Message-ID"] = email.utils.make_msgid(domain="players.example")
    message.set_content("My orders are attached.\n")
    data = open(os.path.join(folder, f"demo.x{n}"), "rb").read()
    message.add_attachment(data, maintype="application", subtype="octet-stream", filename=f"demo.x{n}")
    open(os.path.join(folder, f"message{n}.eml"), "wb").write(message.as_bytes())
    print(f"From {name.lower()}@players.example: demo.x{n}, {len(data)} bytes")
PY
for n in 1 2 3; do
    dovecot_save host INBOX <"$work/orders/message$n.eml"
done

echo
echo "== TURNPOST_IMAP_PASSWORD=... turnpost --collect game.tpf (one line per message, then the summary)"
# Standard error repeats each line as it comes; it is shown when the collection fails.
TURNPOST_IMAP_PASSWORD=demo-password "$turnpost" --collect "$work/game.tpf" 2>"$work/collect.err" || {
    status=$?
    cat "$work/collect.err" >&2
}
echo "Order files in the game folder now: $(cd "$game" && echo demo.x[0-9]*)"
sleep 0.2 # smtp-sink closes its last dump file after the QUIT

echo
echo "== acknowledgements received by smtp-sink"
"$py" - "$work/mail" <<'PY'
import email, email.policy, os, sys
folder = sys.argv[1]
replies = []
for name in os.listdir(folder):
    message = email.message_from_bytes(open(os.path.join(folder, name), "rb").read(), policy=email.policy.compat32)
    if message["In-Reply-To"]:
        # A long subject comes folded over two lines.
        replies.append((message["X-Rcpt-Args"].strip("<>"), " ".join(message["Subject"].split())))
for to, subject in sorted(replies):
    print(f"To {to}: {subject}")
PY

echo
echo "== the mailbox after the collection"
/usr/bin/doveadm -c "$dovecot_conf" mailbox status -u host messages '*'

echo
echo "== turnpost --status game.tpf --html status.html (the status board: the deadline, the ledger, the orders in)"
"$turnpost" --status "$work/game.tpf" --html "$work/status.html" || status=$?
echo "status.html for the players: $(wc -c <"$work/status.html") bytes, no addresses: $(grep -c '@' "$work/status.html" || true) '@'"

echo
echo "== turnpost --remind game.tpf (the players whose orders are not in, once a year)"
# Standard error repeats each line as it comes; it is shown when the run fails.
"$turnpost" --remind "$work/game.tpf" 2>"$work/remind.err" || {
    status=$?
    cat "$work/remind.err" >&2
}
echo
echo "== turnpost --turn-done game.tpf (status 1 while orders are awaited)"
done_status=0
"$turnpost" --turn-done "$work/game.tpf" || done_status=$?
echo "exit status $done_status"
[ "$done_status" -eq 1 ] || status=1
exit "$status"
