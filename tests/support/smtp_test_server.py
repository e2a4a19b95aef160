"""An aiosmtpd server on a free loopback port for the transport tests.

Prints the port on the first line of standard output, then serves until SIGTERM. Everything it
sees goes to the record file as JSON lines, written before the reply to it is sent:
  {"line": "EHLO host", "tls": false}           every command line the client sent (not DATA lines)
  {"auth": "user", "success": true}              every login attempt
  {"message": "...", "from": "...", "to": [..], "tls": true, "user": "user"}   every accepted message
  {"handshake": true, "resumed": false}          every completed TLS handshake, and whether it resumed
"""

import argparse
import asyncio
import base64
import json
import signal
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--cert", help="certificate chain (PEM) for TLS")
    parser.add_argument("--key", help="private key (PEM) for TLS")
    parser.add_argument("--starttls", action="store_true", help="offer STARTTLS")
    parser.add_argument("--require-starttls", action="store_true")
    parser.add_argument("--refuse-starttls", action="store_true", help="offer STARTTLS, answer it with 454")
    parser.add_argument("--implicit-tls", action="store_true", help="TLS from the first byte")
    parser.add_argument("--login", help="USER:PASSWORD that AUTH accepts")
    parser.add_argument("--mechanisms", default="PLAIN,LOGIN",
                        help="AUTH mechanisms offered (PLAIN, LOGIN, XOAUTH2, OAUTHBEARER), or NONE")
    parser.add_argument("--auth-in-clear", action="store_true", help="offer and accept AUTH without TLS")
    parser.add_argument("--refuse-ehlo", action="store_true", help="answer EHLO with 502")
    parser.add_argument("--smtputf8", action="store_true", help="offer SMTPUTF8")
    parser.add_argument("--pipelining", action="store_true", help="offer PIPELINING (RFC 2920)")
    parser.add_argument("--refuse-once", help="refuse RCPT TO this address the first time only")
    parser.add_argument("--close-after", type=int, default=0,
                        help="close each connection without a word after this many messages")
    parser.add_argument("--421-after", dest="end_421_after", type=int, default=0,
                        help="answer MAIL with 421 and close once a connection has carried this many messages")
    parser.add_argument("--abrupt", action="store_true",
                        help="end those connections by closing the socket under TLS, without its goodbye")
    return parser.parse_args()


class Recorder:
    def __init__(self, path):
        self.file = open(path, "a", encoding="utf-8")

    def write(self, entry):
        self.file.write(json.dumps(entry) + "\n")
        self.file.flush()


class Handler:
    def __init__(self, options, recorder):
        self.options = options
        self.recorder = recorder
        self.user, _, self.secret = (options.login or "").partition(":")

    async def check_bearer(self, server, mechanism, args, user_key):
        """XOAUTH2 ("user=U^Aauth=Bearer T^A^A") and OAUTHBEARER (RFC 7628: "n,a=U,^Aauth=Bearer T^A^A")
        with the token as the secret of --login; a refusal first sends the JSON error challenge and
        reads the client's empty (or ^A) answer, as the large providers do."""
        try:
            blob = base64.b64decode(args[1], validate=True).decode("utf-8") if len(args) > 1 else ""
        except Exception:
            await server.push("501 5.5.2 Can't decode base64")
            return AuthResult(success=False, handled=True)
        fields = {}
        for part in blob.split("\x01"):
            if part.startswith(user_key):
                fields["user"] = part[len(user_key):].split(",")[0]
            elif part.startswith("auth=Bearer "):
                fields["token"] = part[len("auth=Bearer "):]
            elif "n,a=" in part:
                fields["user"] = part.split("n,a=", 1)[1].split(",")[0]
        user = fields.get("user", "")
        success = user == self.user and fields.get("token") == self.secret and blob.endswith("\x01\x01")
        self.recorder.write({"auth": user, "success": success, "mechanism": mechanism})
        if success:
            return AuthResult(success=True, auth_data=LoginPassword(user.encode(), b""))
        await server.challenge_auth('{"status":"401","schemes":"bearer","scope":"https://mail.example/"}')
        return AuthResult(success=False, handled=False)

    async def auth_XOAUTH2(self, server, args):
        return await self.check_bearer(server, "XOAUTH2", args, "user=")

    async def auth_OAUTHBEARER(self, server, args):
        return await self.check_bearer(server, "OAUTHBEARER", args, "n,a=")

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if not self.options.login:
            responses = [r for r in responses if not r.startswith("250-AUTH")]
        if self.options.pipelining:
            # aiosmtpd reads commands one by one from its stream, so it takes groups; it only does
            # not say so.
            responses.insert(1, "250-PIPELINING")
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address == self.options.refuse_once and not getattr(self, "refused", False):
            self.refused = True
            return "550 5.1.1 Mailbox unavailable, try again later"
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.recorder.write({
            "message": envelope.content.decode("latin-1"),
            "from": envelope.mail_from,
            "to": envelope.rcpt_tos,
            "tls": server.is_tls(),
            "user": session.auth_data.login.decode() if session.authenticated else None,
        })
        # A queue id, as a postmaster would ask for it.
        self.queued = getattr(self, "queued", 0) + 1
        return f"250 2.0.0 Message accepted: queued as Q{self.queued}"


class RecordingSMTP(SMTP):
    def __init__(self, handler, options, recorder, **kwargs):
        super().__init__(handler, **kwargs)
        self.options = options
        self.recorder = recorder
        self.in_data = False
        # Wrap the command handlers for the behaviours real servers show that aiosmtpd lacks.
        original_ehlo = self._smtp_methods["EHLO"]
        original_starttls = self._smtp_methods["STARTTLS"]
        original_data = self._smtp_methods["DATA"]

        async def ehlo(arg):
            if options.refuse_ehlo:
                await self.push("502 5.5.2 Error: command not recognized")
            else:
                await original_ehlo(arg)

        async def starttls(arg):
            if options.refuse_starttls:
                await self.push("454 4.7.0 TLS not available due to temporary reason")
            else:
                await original_starttls(arg)

        original_mail = self._smtp_methods["MAIL"]
        self.messages_here = 0

        async def data(arg):
            queued = getattr(handler, "queued", 0)
            self.in_data = True
            try:
                await original_data(arg)
            finally:
                self.in_data = False
            if getattr(handler, "queued", 0) > queued:
                self.messages_here += 1
            # A server that limits the messages per connection, or drops idle ones, without a word.
            if options.close_after and self.messages_here >= options.close_after:
                self.end_connection()

        async def mail(arg):
            if options.end_421_after and self.messages_here >= options.end_421_after:
                await self.push("421 4.7.0 too many messages on this connection")
                self.end_connection()
                return
            await original_mail(arg)

        self._smtp_methods.update(EHLO=ehlo, STARTTLS=starttls, DATA=data, MAIL=mail)

    def end_connection(self):
        ssl_protocol = getattr(self.transport, "_ssl_protocol", None)
        if self.options.abrupt and ssl_protocol is not None and ssl_protocol._transport is not None:
            # The socket closed under TLS without its goodbye (close_notify), as a server that is
            # killed or that drops the connection does.
            ssl_protocol._transport.abort()
        else:
            self.transport.close()

    def connection_made(self, transport):
        super().connection_made(transport)
        # Called again with the protected transport once STARTTLS's handshake is done.
        ssl_object = transport.get_extra_info("ssl_object")
        if ssl_object is not None:
            self.recorder.write({"handshake": True, "resumed": ssl_object.session_reused})

    def is_tls(self):
        return self.options.implicit_tls or self._tls_protocol is not None

    def _client_connected_cb(self, reader, writer):
        super()._client_connected_cb(reader, writer)
        for name in ("readuntil", "readline"):
            original = getattr(reader, name)

            def wrap(original):
                async def read(*args, **kwargs):
                    line = await original(*args, **kwargs)
                    if not self.in_data:
                        text = line.decode("latin-1").rstrip("\r\n")
                        self.recorder.write({"line": text, "tls": self.is_tls()})
                    return line
                return read

            setattr(reader, name, wrap(original))


def main():
    options = parse_arguments()
    recorder = Recorder(options.record)
    context = None
    if options.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(options.cert, options.key)

    user, _, password = (options.login or "").partition(":")

    def authenticator(server, session, envelope, mechanism, auth_data):
        success = auth_data.login.decode() == user and auth_data.password.decode() == password
        recorder.write({"auth": auth_data.login.decode(), "success": success})
        # handled=False lets aiosmtpd answer a refusal with its own 535 reply.
        return AuthResult(success=success, handled=False, auth_data=auth_data)

    offered = set(options.mechanisms.split(",")) if options.login else set()
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(options, recorder)

    def factory():
        return RecordingSMTP(
            handler, options, recorder,
            hostname="localhost",
            loop=loop,
            tls_context=context if (options.starttls or options.refuse_starttls) else None,
            require_starttls=options.require_starttls,
            # Over implicit TLS the whole connection is protected, which aiosmtpd does not see.
            auth_require_tls=not (options.auth_in_clear or options.implicit_tls),
            auth_exclude_mechanism=[m for m in ("PLAIN", "LOGIN", "XOAUTH2", "OAUTHBEARER") if m not in offered],
            authenticator=authenticator,
            enable_SMTPUTF8=options.smtputf8,
        )

    server = loop.run_until_complete(loop.create_server(
        factory, host="127.0.0.1", port=0, ssl=context if options.implicit_tls else None))
    print(server.sockets[0].getsockname()[1], flush=True)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
