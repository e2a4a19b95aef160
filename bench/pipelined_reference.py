"""The reference for the latency benchmark: the least a compliant client can do for its messages over
one connection (RFC 2920 3.1). It connects, reads the greeting, says EHLO, starts TLS, says EHLO
again, logs in with AUTH PLAIN, sends the first message's MAIL, RCPT and DATA in one write; from then
on each message's content goes out in one write with the next message's MAIL, RCPT and DATA, and the
last one's with QUIT. It then reads the replies in order: one round trip a message.

    pipelined_reference.py HOST PORT USER PASSWORD CAFILE FROM MESSAGE_FILE RECIPIENT[=FILE]...

MESSAGE_FILE holds the whole message (CR LF lines, dot-stuffed, ending with CR LF . CR LF); a
recipient given as ADDRESS=FILE gets that file instead (the report, say).
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

    def group(recipient):
        return f"MAIL FROM:<{sender}>\r\nRCPT TO:<{recipient}>\r\nDATA\r\n".encode()

    mails = []
    for entry in recipients:
        address, _, path = entry.partition("=")
        mails.append((address, open(path, "rb").read() if path else message))
    stream.sendall(group(mails[0][0]))
    expect(replies, 250)
    expect(replies, 250)
    expect(replies, 354)
    for i, (_, content) in enumerate(mails):
        following = group(mails[i + 1][0]) if i + 1 < len(mails) else b"QUIT\r\n"
        stream.sendall(content + following)
        expect(replies, 250)
        if i + 1 < len(mails):
            expect(replies, 250)
            expect(replies, 250)
            expect(replies, 354)
    expect(replies, 221)
    stream.close()


if __name__ == "__main__":
    main()
