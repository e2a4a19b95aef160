"""The reference for the latency benchmark: the least a client can do for sixteen messages over one
connection. It connects, reads the greeting, says EHLO, starts TLS, says EHLO again, logs in with
AUTH PLAIN, then for each message sends MAIL, RCPT and DATA in one write (RFC 2920), reads the three
replies, sends the message and reads its reply; then QUIT.

    pipelined_reference.py HOST PORT USER PASSWORD CAFILE FROM MESSAGE_FILE RECIPIENT...

MESSAGE_FILE holds the whole message (CR LF lines, dot-stuffed, ending with CR LF . CR LF).
"""

import base64
import socket
import ssl
import sys


class Replies:
    def __init__(self, stream):
        self.stream = stream
        self.buffer = b""

    def read(self):
        """One whole reply: its code."""
        while True:
            while b"\r\n" not in self.buffer:
                data = self.stream.recv(65536)
                if not data:
                    raise SystemExit("connection closed")
                self.buffer += data
            line, self.buffer = self.buffer.split(b"\r\n", 1)
            if line[3:4] != b"-":
                return int(line[:3])


def expect(replies, code):
    got = replies.read()
    if got != code:
        raise SystemExit(f"expected {code}, got {got}")


def main():
    host, port, user, password, cafile, sender, message_file = sys.argv[1:8]
    recipients = sys.argv[8:]
    message = open(message_file, "rb").read()
    raw = socket.create_connection((host, int(port)))
    raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    replies = Replies(raw)
    expect(replies, 220)
    raw.sendall(b"EHLO reference.example\r\n")
    expect(replies, 250)
    raw.sendall(b"STARTTLS\r\n")
    expect(replies, 220)
    stream = ssl.create_default_context(cafile=cafile).wrap_socket(raw, server_hostname=host)
    replies = Replies(stream)
    stream.sendall(b"EHLO reference.example\r\n")
    expect(replies, 250)
    token = base64.b64encode(b"\0" + user.encode() + b"\0" + password.encode())
    stream.sendall(b"AUTH PLAIN " + token + b"\r\n")
    expect(replies, 235)
    for recipient in recipients:
        stream.sendall(f"MAIL FROM:<{sender}>\r\nRCPT TO:<{recipient}>\r\nDATA\r\n".encode())
        expect(replies, 250)
        expect(replies, 250)
        expect(replies, 354)
        stream.sendall(message)
        expect(replies, 250)
    stream.sendall(b"QUIT\r\n")
    expect(replies, 221)
    stream.close()


if __name__ == "__main__":
    main()
