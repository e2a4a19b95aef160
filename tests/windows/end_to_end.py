"""The headless program run from the outside, as a host runs it: real SMTP servers on the loopback,
mail read back with Python's email parser, setups made with --import.

The program comes from the environment, so that the same cases check the Linux build and the Windows
one under Wine:
  TURNPOST_PROGRAM        the program to run (build/bin/turnpost, or turnpost.exe)
  TURNPOST_RUNNER         what runs it ("wine64"), empty to run it directly
  TURNPOST_TRUST_ROOT     under a runner: the program that makes the runner's system trust a CA
                          certificate, given its PEM file (without it the TLS cases are skipped)
  TURNPOST_LINUX_PROGRAM  a Linux build, for setup files carried between the two (default: the
                          program itself when it runs directly)
"""

import email
import email.policy
import json
import os
import secrets
import shlex
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SUPPORT = os.path.join(HERE, "..", "support")
SINK = "/usr/sbin/smtp-sink"
# Debian's interpreter has aiosmtpd; another one on PATH may not.
SERVER_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
RUN_LIMIT = 120  # seconds; a Wine start is slow, a hang is a failure


class Program:
    """A build of turnpost and how it is started; paths are handed over as that system names them."""

    def __init__(self, path, runner=""):
        self.path = path
        self.runner = shlex.split(runner)

    @property
    def emulated(self):
        return bool(self.runner)

    def native(self, path):
        # Wine shows the Unix root as drive Z:.
        return "Z:" + path if self.emulated else path

    def command(self, arguments):
        return self.runner + [self.path] + list(arguments)

    def run(self, arguments, env=None, cwd=None):
        return subprocess.run(self.command(arguments), capture_output=True, env=environment(env), cwd=cwd,
                              timeout=RUN_LIMIT)

    def start(self, arguments, folder, env=None):
        """A run in the background; its output goes to files in folder, so that it can be watched."""
        return Run(self, arguments, folder, env)


class Run:
    def __init__(self, program, arguments, folder, env):
        self.stderr_path = os.path.join(folder, "stderr-%d.txt" % time.monotonic_ns())
        with open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(program.command(arguments), stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=err, env=environment(env))

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_for_stderr(self, text, seconds=60):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if text in self.stderr():
                return True
            if self.process.poll() is not None:
                return text in self.stderr()
            time.sleep(0.05)
        return False

    def signal(self, number):
        self.process.send_signal(number)

    def wait(self, seconds):
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None


def environment(extra):
    env = dict(os.environ)
    # No window, whatever the machine has.
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env.setdefault("WINEDEBUG", "-all")
    env.update(extra or {})
    return env


def target_program():
    path = os.environ.get("TURNPOST_PROGRAM", "")
    return Program(path, os.environ.get("TURNPOST_RUNNER", "")) if os.path.isfile(path) else None


def linux_program(target):
    path = os.environ.get("TURNPOST_LINUX_PROGRAM", "")
    if path and os.path.isfile(path):
        return Program(path)
    return target if target and not target.emulated else None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and process.poll() is None:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.02)
    return False


# --- game files, as the game writes their headers ---------------------------------------------------

GAME_ID, TURN = 0x5EA5011, 42
UNIVERSE, HOST, TURN_FILE = 0, 2, 3


def game_file(file_type, player, size, turn=TURN):
    header = struct.pack("<H4sIHHHBB", 0x2010, b"J3J3", GAME_ID, 0x2A1C, turn, (0x5A3 << 5) | player,
                         file_type, 0)
    return header + bytes((i * 37 + player) & 0xFF for i in range(len(header), size))


def write_game(folder, players):
    """NAME.xy, NAME.hst at turn 42 and a turn file per player; the paths of the universe and turns."""
    def write(name, data):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    write("alpha.hst", game_file(HOST, 31, 3000))
    universe = write("alpha.xy", game_file(UNIVERSE, 31, 6000, turn=0))
    turns = [write("alpha.m%d" % n, game_file(TURN_FILE, n - 1, 1500 + 700 * n)) for n in range(1, players + 1)]
    return universe, turns


def setup_json(program, folder, server, players=3, **fields):
    """A setup mailing each player his turn file and the universe, with a report file beside it."""
    universe, turns = write_game(folder, players)
    slots = [{"Selected": 0, "EmailAddress": "", "PlayerFile": ""} for _ in range(16)]
    for n, turn in enumerate(turns, start=1):
        slots[n - 1] = {"Selected": 1, "EmailAddress": "p%d@example.org" % n, "PlayerFile": program.native(turn)}
    setup = {
        "GameName": "Alpha",
        "UniverseFile": program.native(universe),
        "SmtpServer": server,
        "ReturnAddress": "host@example.org",
        "MessageSubject": "%G for player %P",
        "UseDefaultMessage": 0,
        "MessageText": "Your turn.\n",
        "SendPlayerFile": 1,
        "SendUniverseFile": 1,
        "SmtpTimeout": 15000,
        "PauseAfterConnection": 0,
        "SaveReportToFile": 1,
        "ReportFile": program.native(os.path.join(folder, "report.txt")),
        "Players": slots,
    }
    setup.update(fields)
    return setup, universe, turns


def import_setup(program, folder, setup, name="game.tpf"):
    source = os.path.join(folder, name + ".json")
    with open(source, "w", encoding="utf-8") as f:
        json.dump(setup, f, indent=2, ensure_ascii=False)
    target = os.path.join(folder, name)
    result = program.run(["--import", program.native(source), program.native(target)])
    if result.returncode != 0:
        raise AssertionError("--import failed: " + result.stderr.decode("utf-8", "replace"))
    return target


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except OSError:
        return ""


# --- servers ----------------------------------------------------------------------------------------

class SmtpSink:
    """Postfix's smtp-sink, keeping each message in a file of its own."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="turnpost-sink-")
        self.port = free_port()
        arguments = [SINK]
        if os.geteuid() == 0:
            # smtp-sink will not keep root's rights; the user it becomes writes the dumps.
            arguments += ["-u", "nobody"]
            os.chmod(self.folder, 0o777)
        arguments += ["-d", self.folder + "/%Y%m%d%H%M%S.", "127.0.0.1:%d" % self.port, "64"]
        self.process = subprocess.Popen(arguments, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for_port(self.port, self.process):
            self.close()
            raise RuntimeError("smtp-sink did not start")

    def address(self):
        return "127.0.0.1:%d" % self.port

    def messages(self, count, seconds=10):
        """The messages once count of them are there, parsed; fewer after the wait when fewer came."""
        deadline = time.monotonic() + seconds
        while True:
            names = sorted(os.listdir(self.folder))
            if len(names) >= count or time.monotonic() > deadline:
                break
            time.sleep(0.05)
        time.sleep(0.3)  # smtp-sink closes a dump after the transaction's last reply
        return [parse_mail(os.path.join(self.folder, name)) for name in sorted(os.listdir(self.folder))]

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


class AiosmtpdServer:
    """The tests' aiosmtpd server, recording every message as a JSON line."""

    def __init__(self, folder, *options):
        self.record = os.path.join(folder, "record-%d.jsonl" % time.monotonic_ns())
        self.log = open(os.path.join(folder, "server.log"), "ab")
        self.process = subprocess.Popen(
            [SERVER_PYTHON, os.path.join(SUPPORT, "smtp_test_server.py"), "--record", self.record] + list(options),
            stdout=subprocess.PIPE, stderr=self.log)
        line = self.process.stdout.readline()
        if not line.strip().isdigit():
            self.close()
            raise RuntimeError("the SMTP test server did not start: " + read_text(self.log.name))
        self.port = int(line)

    def address(self, host="127.0.0.1"):
        return "%s:%d" % (host, self.port)

    def messages(self):
        entries = [json.loads(line) for line in read_text(self.record).splitlines() if line.strip()]
        return [entry for entry in entries if "message" in entry]

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.process.stdout.close()
        self.log.close()


class SilentListener:
    """Takes connections and never says a word: a server that stalls."""

    def __init__(self):
        self.socket = socket.socket()
        self.socket.bind(("127.0.0.1", 0))
        self.socket.listen(8)
        self.connections = []

    def address(self):
        return "127.0.0.1:%d" % self.socket.getsockname()[1]

    def wait_for_connection(self, seconds=60):
        self.socket.settimeout(seconds)
        try:
            self.connections.append(self.socket.accept()[0])
            return True
        except OSError:
            return False

    def close(self):
        for connection in self.connections:
            connection.close()
        self.socket.close()


def parse_mail(path):
    with open(path, "rb") as f:
        return email.message_from_bytes(f.read(), policy=email.policy.default)


def attachments(message):
    return {part.get_filename(): part.get_payload(decode=True) for part in message.walk()
            if part.get_content_disposition() == "attachment"}


class Certificates:
    """A trusted authority with certificates for this machine and for another host name, and an
    authority nobody trusts with one for this machine."""

    OTHER_HOST = "other.example"

    def __init__(self, folder):
        self.folder = folder
        # Names of their own: every case trusts its own authority in the same store, and a chain engine
        # that looks an issuer up by name alone may otherwise take an earlier case's key.
        tag = secrets.token_hex(4)
        self.authority("ca", "Turnpost Test Authority " + tag)
        self.authority("stranger", "Turnpost Unknown Authority " + tag)
        self.issue("local", "ca", "DNS:localhost,IP:127.0.0.1,IP:::1")
        self.issue("other", "ca", "DNS:" + self.OTHER_HOST)
        self.issue("untrusted", "stranger", "DNS:localhost,IP:127.0.0.1,IP:::1")

    def file(self, name):
        return os.path.join(self.folder, name)

    def openssl(self, *arguments):
        subprocess.run(["openssl"] + list(arguments), check=True, capture_output=True)

    def key_options(self, name):
        # RSA: Wine's check of ECDSA signatures now and then calls a good one bad.
        return ["-newkey", "rsa:2048", "-nodes",
                "-keyout", self.file(name + ".key")]

    def authority(self, name, subject):
        self.openssl("req", "-x509", *self.key_options(name), "-out", self.file(name + ".pem"), "-days", "2",
                     "-subj", "/CN=" + subject, "-addext", "basicConstraints=critical,CA:TRUE",
                     "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def issue(self, name, authority, alternative_names):
        extensions = self.file(name + ".ext")
        with open(extensions, "w") as f:
            f.write("subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n"
                    % alternative_names)
        self.openssl("req", *self.key_options(name), "-out", self.file(name + ".csr"), "-subj", "/CN=" + name)
        self.openssl("x509", "-req", "-in", self.file(name + ".csr"), "-CA", self.file(authority + ".pem"),
                     "-CAkey", self.file(authority + ".key"), "-CAcreateserial", "-out", self.file(name + ".pem"),
                     "-days", "2", "-extfile", extensions)


# --- the cases --------------------------------------------------------------------------------------

class ProgramCase(unittest.TestCase):
    def setUp(self):
        self.program = target_program()
        if self.program is None:
            self.skipTest("TURNPOST_PROGRAM names no program")
        folder = tempfile.TemporaryDirectory(prefix="turnpost-e2e-")
        self.addCleanup(folder.cleanup)
        self.folder = folder.name

    def sink(self):
        if not os.access(SINK, os.X_OK):
            self.skipTest(SINK + " is not installed (Debian package postfix)")
        sink = SmtpSink()
        self.addCleanup(sink.close)
        return sink

    def make_setup(self, server, **fields):
        setup, universe, turns = setup_json(self.program, self.folder, server, **fields)
        return import_setup(self.program, self.folder, setup), universe, turns

    def send(self, setup_path, env=None):
        return self.program.run(["--no-gui", "-X", self.program.native(setup_path)], env=env)

    def report(self):
        return read_text(os.path.join(self.folder, "report.txt"))


class PlainSend(ProgramCase):
    def test_every_player_gets_his_turn_and_the_universe(self):
        sink = self.sink()
        setup, universe, turns = self.make_setup(sink.address())
        result = self.send(setup)
        self.assertEqual(result.returncode, 0, result.stderr)

        messages = sink.messages(len(turns))
        self.assertEqual(len(messages), len(turns))
        with open(universe, "rb") as f:
            universe_bytes = f.read()
        by_recipient = {str(m["To"]): m for m in messages}
        for n, turn in enumerate(turns, start=1):
            with self.subTest(player=n):
                message = by_recipient["p%d@example.org" % n]
                self.assertEqual(str(message["Subject"]), "Alpha for player %d" % n)
                self.assertEqual([type(d).__name__ for part in message.walk() for d in part.defects], [])
                with open(turn, "rb") as f:
                    expected = {os.path.basename(turn): f.read(), "alpha.xy": universe_bytes}
                self.assertEqual(attachments(message), expected)
                self.assertIn("[Player %d] Sent OK" % n, self.report())

    def test_a_switch_alone_sends_and_no_switch_asks_for_one(self):
        # Without --no-gui, as a scheduled task on Windows, where there is never a window, gives it.
        sink = self.sink()
        setup, _, turns = self.make_setup(sink.address())
        result = self.program.run(["-X", self.program.native(setup)])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(sink.messages(len(turns))), len(turns))
        result = self.program.run([])
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"give -S or -X to send", result.stderr)


class SecureSend(ProgramCase):
    """STARTTLS against aiosmtpd: a certificate that verifies is taken, the others are refused."""

    def setUp(self):
        super().setUp()
        if not os.path.exists(SERVER_PYTHON) or subprocess.run(
                [SERVER_PYTHON, "-c", "import aiosmtpd"], capture_output=True).returncode != 0:
            self.skipTest("aiosmtpd is not installed (Debian package python3-aiosmtpd)")
        self.certificates = Certificates(self.folder)
        self.env = {}
        if self.program.emulated:
            self.trust(self.certificates.file("ca.pem"))
        else:
            # OpenSSL's defaults follow it: the tests' authority is the only one trusted.
            self.env["SSL_CERT_FILE"] = self.certificates.file("ca.pem")

    def trust(self, authority):
        tool = os.environ.get("TURNPOST_TRUST_ROOT", "")
        if not tool:
            self.skipTest("TURNPOST_TRUST_ROOT is not set: no way to trust the tests' authority")
        result = subprocess.run(self.program.runner + shlex.split(tool) + [self.program.native(authority)],
                                capture_output=True, env=environment(None), timeout=RUN_LIMIT)
        self.assertEqual(result.returncode, 0, result.stderr)

    def server(self, certificate):
        server = AiosmtpdServer(self.folder, "--starttls", "--require-starttls",
                                "--cert", self.certificates.file(certificate + ".pem"),
                                "--key", self.certificates.file(certificate + ".key"))
        self.addCleanup(server.close)
        return server

    def test_a_verified_certificate_carries_every_mail_under_tls(self):
        server = self.server("local")
        setup, _, turns = self.make_setup(server.address(), SmtpSecurity=1)
        result = self.send(setup, self.env)
        self.assertEqual(result.returncode, 0, result.stderr)
        messages = server.messages()
        self.assertEqual(sorted(m["to"][0] for m in messages),
                         ["p%d@example.org" % n for n in range(1, len(turns) + 1)])
        self.assertTrue(all(m["tls"] for m in messages))

    def test_certificates_that_do_not_verify_are_refused(self):
        # The report's reason, in the words of this system's TLS library: any of them will do.
        cases = [
            ("a certificate for another host name", "other", ("mismatch", "name")),
            ("a certificate from an authority nobody trusts", "untrusted", ("issuer", "trust", "authority")),
        ]
        for name, certificate, reasons in cases:
            with self.subTest(name):
                server = self.server(certificate)
                setup, _, _ = self.make_setup(server.address(), SmtpSecurity=1)
                result = self.send(setup, self.env)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(server.messages(), [])
                report = self.report()
                self.assertNotIn("Sent OK", report)
                line = next((l for l in report.splitlines() if l.startswith("[Player 1]")), "").lower()
                self.assertIn("tls", line, report)
                self.assertTrue(any(reason in line for reason in reasons), report)


class RunLock(ProgramCase):
    def test_a_second_run_of_a_setup_being_sent_is_refused(self):
        # The first run holds the lock while it waits for a server that never greets.
        listener = SilentListener()
        self.addCleanup(listener.close)
        setup, _, _ = self.make_setup(listener.address(), SmtpTimeout=60000)
        first = self.program.start(["--no-gui", "-X", self.program.native(setup)], self.folder)
        self.addCleanup(first.wait, 1)
        self.assertTrue(listener.wait_for_connection(), first.stderr())

        second = self.send(setup)
        self.assertEqual(second.returncode, 1, second.stderr)
        self.assertIn(b"is being sent by another run", second.stderr)
        self.assertFalse(listener.wait_for_connection(1), "the refused run connected")

        # The server goes away: the first run ends on its own, having mailed nobody.
        listener.close()
        self.assertEqual(first.wait(60), 1, first.stderr())
        self.assertNotIn("Sent OK", self.report())


class Interrupt(ProgramCase):
    def test_ctrl_c_between_players_cancels_the_rest_and_the_report_follows(self):
        sink = self.sink()
        # A long pause after each player leaves time to interrupt after the first one.
        setup, _, _ = self.make_setup(sink.address(), PauseAfterConnection=60000)
        run = self.program.start(["--no-gui", "-X", self.program.native(setup)], self.folder)
        self.assertTrue(run.wait_for_stderr("[Player 1] Sent OK"), run.stderr())
        run.signal(signal.SIGINT)
        started = time.monotonic()
        self.assertEqual(run.wait(20), 1, run.stderr())
        self.assertLess(time.monotonic() - started, 10)
        self.assertIn("Operation cancelled!", run.stderr())
        report = self.report()
        self.assertIn("[Player 1] Sent OK", report)
        self.assertNotIn("[Player 2] Sent OK", report)
        self.assertEqual(len(sink.messages(1)), 1)

    def test_a_second_ctrl_c_ends_the_run_while_a_server_stalls(self):
        listener = SilentListener()
        self.addCleanup(listener.close)
        setup, _, _ = self.make_setup(listener.address(), SmtpTimeout=60000)
        run = self.program.start(["--no-gui", "-X", self.program.native(setup)], self.folder)
        self.assertTrue(listener.wait_for_connection(), run.stderr())
        run.signal(signal.SIGINT)
        time.sleep(0.5)
        self.assertIsNone(run.process.poll(), "the first Ctrl+C lets the player being mailed finish")
        run.signal(signal.SIGINT)
        started = time.monotonic()
        self.assertEqual(run.wait(20), 128 + signal.SIGINT, run.stderr())
        self.assertLess(time.monotonic() - started, 10)
        self.assertIn("interrupted", run.stderr())


class SetupFilesAcrossSystems(ProgramCase):
    """A setup written by one build reads the same in the other: the file and its JSON alike."""

    SETUP = {
        "GameName": "Andr\u00f6meda \u2605 \u00c6on",
        "SmtpServer": "smtp.example.org:587",
        "SmtpSecurity": 1,
        "SmtpUser": "host",
        "ReturnAddress": "host@example.org",
        "MessageSubject": "%G: year %Y, player %P",
        "UseDefaultMessage": 0,
        "MessageText": "Dear player %P,\r\n\r\nyour turn \u2014 caf\u00e9.\n",
        "UniverseFile": "C:\\Games\\Stars\\andromeda.xy",
        "ReportFile": "/home/host/report.txt",
        "SendAdditionalFiles": 1,
        "AdditionalFiles": ["/home/host/rules.txt", "C:\\Games\\race%P.r1"],
        "Players": [{"Selected": n % 2, "EmailAddress": "p%d@example.org" % n if n < 9 else "",
                     "PlayerFile": "C:\\Games\\andromeda.m%d" % n if n < 9 else ""} for n in range(1, 17)],
    }

    def test_import_and_export_agree_byte_for_byte(self):
        linux = linux_program(self.program)
        if linux is None:
            self.skipTest("TURNPOST_LINUX_PROGRAM names no Linux build")
        source = os.path.join(self.folder, "setup.json")
        with open(source, "w", encoding="utf-8") as f:
            json.dump(self.SETUP, f, ensure_ascii=False)

        programs = {"linux": linux, "target": self.program}
        files, exports = {}, {}
        for name, program in programs.items():
            files[name] = os.path.join(self.folder, name + ".tpf")
            result = program.run(["--import", program.native(source), program.native(files[name])])
            self.assertEqual(result.returncode, 0, result.stderr)
        with open(files["linux"], "rb") as a, open(files["target"], "rb") as b:
            self.assertEqual(a.read(), b.read(), "the two builds wrote different setup files")
        for writer in programs:
            for reader, program in programs.items():
                result = program.run(["--export", program.native(files[writer])])
                self.assertEqual(result.returncode, 0, result.stderr)
                # Windows programs end their printed lines as Windows does; the JSON is the same.
                exports[writer, reader] = (result.stdout.replace(b"\r\n", b"\n") if program.runner
                                           else result.stdout)
        self.assertEqual(json.loads(exports["linux", "linux"])["GameName"], self.SETUP["GameName"])
        for key, exported in exports.items():
            with self.subTest(written_by=key[0], read_by=key[1]):
                self.assertEqual(exported, exports["linux", "linux"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
