"""A TCP proxy on loopback that delays every byte by a fixed time in each direction, so that a round
trip through it costs twice that delay, as on a long link. Bandwidth is not limited: only latency.
A new connection reaches the server only after one and a half round trips, as the TCP handshake's
SYN, SYN-ACK and ACK would take.

    delay_proxy.py TARGET_PORT DELAY_MS [LIFETIME_S [FLIGHT_LOG]]

Listens on a free port of 127.0.0.1, prints it on the first line of standard output, forwards every
connection to 127.0.0.1:TARGET_PORT, and stops by itself after LIFETIME_S seconds (default 600).

With FLIGHT_LOG, every round trip the client waits for is appended to that file as a line: "connect"
for the TCP handshake of a new connection, "greeting" for the server's first words, and "round trip"
for each flight of the client (the bytes it sends between two answers of the server, however many
writes they take; a TLS handshake's records too) that the server answers. A flight after which the
client closes without waiting (TLS's goodbye) costs it nothing and is not counted. Each line is
written when the server's answer passes, before the client can have read it.
"""

import asyncio
import sys
import time


class Flights:
    """Counts the round trips of one connection into the log."""

    def __init__(self, log):
        self.log = log
        self.start = time.monotonic()
        self.flight = None  # (when, bytes) of the client's flight that waits for an answer
        self.greeted = False

    def note(self, line):
        if self.log:
            self.log.write(line + "\n")
            self.log.flush()

    def from_client(self, size):
        if self.flight is None:
            self.flight = (time.monotonic(), 0)
        self.flight = (self.flight[0], self.flight[1] + size)

    def client_done(self):
        self.flight = None

    def from_server(self, size):
        if self.flight is not None:
            began, sent = self.flight
            self.note(f"round trip: {sent} bytes sent at {(began - self.start) * 1000:.0f} ms, "
                      f"answered with {size}")
            self.flight = None
        elif not self.greeted:
            self.note("greeting")
        self.greeted = True


async def pipe(reader, writer, delay, seen, ended=None):
    # Each piece is written delay seconds after it arrived; a queue keeps the order without letting
    # one piece's wait hold up the reading of the next.
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            pause = due - time.monotonic()
            if pause > 0:
                await asyncio.sleep(pause)
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    sender = asyncio.ensure_future(deliver())
    try:
        while True:
            data = await reader.read(65536)
            if data:
                seen(len(data))
            queue.put_nowait((time.monotonic() + delay, data or None))
            if not data:
                if ended:
                    ended()
                break
        await sender
    except (ConnectionError, asyncio.CancelledError):
        sender.cancel()


async def serve(target_port, delay, lifetime, log):
    async def handle(client_reader, client_writer):
        flights = Flights(log)
        flights.note("connect")
        # SYN, SYN-ACK, and the ACK reaching the server.
        await asyncio.sleep(3 * delay)
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, delay, flights.from_client, flights.client_done),
                             pipe(server_reader, client_writer, delay, flights.from_server),
                             return_exceptions=True)
        for writer in (client_writer, server_writer):
            writer.close()

    server = await asyncio.start_server(handle, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await asyncio.sleep(lifetime)
    server.close()


def main():
    target_port, delay_ms = int(sys.argv[1]), float(sys.argv[2])
    lifetime = float(sys.argv[3]) if len(sys.argv) > 3 else 600.0
    log = open(sys.argv[4], "a") if len(sys.argv) > 4 else None
    asyncio.run(serve(target_port, delay_ms / 1000.0, lifetime, log))


if __name__ == "__main__":
    main()
