#!/usr/bin/env bash
# Times a send run over a slow link: sixteen players (a 100 KiB turn file and the 300 KiB universe file
# each) and the report mail to an aiosmtpd server that asks for STARTTLS and a login and offers
# PIPELINING, reached through bench/delay_proxy.py, which makes every round trip cost the given time
# (RTTS, default "50 100" ms) and the connect one and a half of them. In the same run, taking turns, it
# times the same seventeen messages sent by the best compliant client (bench/pipelined_reference.py:
# each content opens the next message's group, QUIT goes with the last) and by curl over one
# connection (--next). The proxy logs every round trip the client waits for; each run's count is
# printed against the reference's. ROUNDS (default 3) rounds; the best and the median of each are
# printed. Turnpost is built for release in build-bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
py=/usr/bin/python3
build=${BENCH_BUILD:-build-bench}
rounds=${ROUNDS:-3}
rtts=${RTTS:-${RTT_MS:-50 100}}

scripts/install-deps.sh
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTURNPOST_TESTS=OFF >/dev/null
ninja -C "$build" -j2 turnpost >/dev/null
turnpost=$root/$build/bin/turnpost

work=$(mktemp -d /tmp/turnpost-latency.XXXXXX)
pids=()
cleanup() {
    local status=$?
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

# A certificate authority of our own and a certificate for localhost signed by it.
quiet() { "$@" >/dev/null 2>&1; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 \
    -subj "/CN=Bench CA"
quiet openssl req -newkey rsa:2048 -nodes -keyout "$work/local.key" -out "$work/local.csr" -subj "/CN=localhost"
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' >"$work/ext.cnf"
quiet openssl x509 -req -in "$work/local.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
    -out "$work/local.pem" -days 2 -extfile "$work/ext.cnf"

# Starts a helper that prints its port first; the port goes to the named variable.
start() {
    local name=$1
    shift
    "$@" >"$work/$name.port" 2>"$work/$name.log" &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$work/$name.port" ] && break
        sleep 0.05
    done
    printf -v "$name" '%s' "$(head -n1 "$work/$name.port")"
    [ -n "${!name}" ] || { echo "$name did not start: $(cat "$work/$name.log")" >&2; exit 1; }
}
start server_port "$py" bench/latency_smtp_server.py "$work/local.pem" "$work/local.key" bench:secret 900
for rtt in $rtts; do
: >"$work/flights.log"
start proxy_port "$py" bench/delay_proxy.py "$server_port" "$(( rtt / 2 ))" 900 "$work/flights.log"

"$py" - "$work" "$proxy_port" "$turnpost" "$rounds" "$rtt" "$root/bench/pipelined_reference.py" <<'PY'
import email.mime.application, email.mime.multipart, email.mime.text
import json, os, statistics, subprocess, sys, time

work, port, turnpost, rounds, rtt, reference = sys.argv[1:]
flight_log = os.path.join(work, "flights.log")
rounds = int(rounds)
universe = os.path.join(work, "bench.xy")
open(universe, "wb").write(os.urandom(300 * 1024))
players, recipients = [], []
for n in range(1, 17):
    path = os.path.join(work, f"bench.m{n}")
    open(path, "wb").write(os.urandom(100 * 1024))
    recipients.append(f"player{n}@bench.example")
    players.append({"Selected": 1, "EmailAddress": recipients[-1], "PlayerFile": path})
setup = {
    "GameName": "Bench", "UniverseFile": universe, "SmtpServer": f"localhost:{port}",
    "ReturnAddress": "host@bench.example", "MessageSubject": "Your turn, player %P",
    "MessageText": "Your turn.\n", "SendPlayerFile": 1, "SendUniverseFile": 1,
    "SmtpSecurity": 1, "SmtpUser": "bench", "SmtpTimeout": 15000,
    "DisplaySummary": 0, "SaveReportToFile": 0, "EmailReport": 1, "ReportAddress": "host@bench.example",
    "Players": players,
}
setup_json = os.path.join(work, "bench.json")
json.dump(setup, open(setup_json, "w"))
tpf = os.path.join(work, "bench.tpf")
subprocess.run([turnpost, "--import", setup_json, tpf], check=True)

# The message the other two send: the same two attachments in base64, CR LF lines.
mime = email.mime.multipart.MIMEMultipart()
mime["From"], mime["To"], mime["Subject"] = "host@bench.example", recipients[0], "Your turn"
mime.attach(email.mime.text.MIMEText("Your turn.\n"))
for path in (universe, players[0]["PlayerFile"]):
    mime.attach(email.mime.application.MIMEApplication(open(path, "rb").read(), Name=os.path.basename(path)))
message = mime.as_bytes().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
plain = os.path.join(work, "message.eml")
open(plain, "wb").write(message)
stuffed = os.path.join(work, "message.smtp")
open(stuffed, "wb").write(message.replace(b"\r\n.", b"\r\n..") + b".\r\n")
# The report mail: the run's lines, about a kilobyte.
report_text = "".join(f"[Player {n}] Sent OK\r\n" for n in range(1, 17))
report = (f"From: host@bench.example\r\nTo: host@bench.example\r\nSubject: Bench - Send Report\r\n\r\n"
          f"{report_text}").encode()
report_plain = os.path.join(work, "report.eml")
open(report_plain, "wb").write(report)
report_stuffed = os.path.join(work, "report.smtp")
open(report_stuffed, "wb").write(report + b".\r\n")

ca = os.path.join(work, "ca.pem")
curl = ["curl", "-sS"]
for i, recipient in enumerate(recipients + ["host@bench.example"]):
    if i:
        curl.append("--next")
    curl += ["--url", f"smtp://localhost:{port}", "--ssl-reqd", "--cacert", ca, "--user", "bench:secret",
             "--mail-from", "host@bench.example", "--mail-rcpt", recipient,
             "--upload-file", plain if i < len(recipients) else report_plain]
runs = {
    "turnpost": [turnpost, "--no-gui", "-X", tpf],
    "reference": ["/usr/bin/python3", reference, "localhost", port, "bench", "secret", ca, "host@bench.example", stuffed]
                 + recipients + ["host@bench.example=" + report_stuffed],
    "curl --next": curl,
}
environment = dict(os.environ, TURNPOST_SMTP_PASSWORD="secret", SSL_CERT_FILE=ca)

def logged():
    with open(flight_log) as log:
        return sum(1 for _ in log)


times = {name: [] for name in runs}
trips = {name: [] for name in runs}
for _ in range(rounds):
    for name, command in runs.items():
        before = logged()
        start = time.perf_counter()
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=environment)
        elapsed = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit(f"{name} failed ({done.returncode}): {done.stderr.decode(errors='replace')}")
        times[name].append(elapsed)
        # Every flight is logged as it reaches the proxy, before the client can have its last reply.
        trips[name].append(logged() - before)
        if os.environ.get("SHOW_FLIGHTS"):
            print(name, "".join(open(flight_log).readlines()[before:]), sep="\n")

print(f"sixteen messages of {len(message) / 1024:.0f} KiB each and the report, STARTTLS and AUTH, "
      f"through a proxy adding {rtt} ms per round trip, {rounds} rounds")
print(f"{'':14}{'best s':>9}{'median s':>10}{'round trips':>13}")
for name, samples in times.items():
    counts = sorted(set(trips[name]))
    shown = "/".join(str(c) for c in counts)
    print(f"{name:14}{min(samples):9.2f}{statistics.median(samples):10.2f}{shown:>13}")
median = {name: statistics.median(samples) for name, samples in times.items()}
print(f"turnpost / reference: {median['turnpost'] / median['reference']:.2f} median (target <= 1.1), "
      f"round trips {max(trips['turnpost'])} against the reference's {min(trips['reference'])} (target <= 26)")
print(f"turnpost / curl:      {median['turnpost'] / median['curl --next']:.2f} median (target <= 1)")
PY
done
