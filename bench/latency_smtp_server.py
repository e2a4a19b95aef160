"""An aiosmtpd server for the latency benchmark: STARTTLS, AUTH PLAIN and LOGIN for one user, and
PIPELINING announced (aiosmtpd reads pipelined commands in order; it only does not say so).
Messages are accepted and dropped.

    latency_smtp_server.py CERT KEY USER:PASSWORD [LIFETIME_S]

Prints its port on the first line of standard output; stops by itself after LIFETIME_S (default 600).
"""

import asyncio
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult


class Handler:
    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        return responses[:1] + ["250-PIPELINING"] + responses[1:]

    async def handle_DATA(self, server, session, envelope):
        return "250 2.0.0 accepted"


def main():
    cert, key, login = sys.argv[1], sys.argv[2], sys.argv[3]
    lifetime = float(sys.argv[4]) if len(sys.argv) > 4 else 600.0
    user, _, password = login.partition(":")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login.decode() == user and auth_data.password.decode() == password
        return AuthResult(success=ok, handled=False)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler()
    server = loop.run_until_complete(loop.create_server(
        lambda: SMTP(handler, hostname="localhost", loop=loop, tls_context=context, require_starttls=True,
                     authenticator=authenticator, data_size_limit=64 * 1024 * 1024),
        host="127.0.0.1", port=0))
    print(server.sockets[0].getsockname()[1], flush=True)
    loop.call_later(lifetime, loop.stop)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
