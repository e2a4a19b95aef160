"""A TCP proxy on loopback that delays every byte by a fixed time in each direction, so that a round
trip through it costs twice that delay, as on a long link. Bandwidth is not limited: only latency.

    delay_proxy.py TARGET_PORT DELAY_MS [LIFETIME_S]

Listens on a free port of 127.0.0.1, prints it on the first line of standard output, forwards every
connection to 127.0.0.1:TARGET_PORT, and stops by itself after LIFETIME_S seconds (default 600).
"""

import asyncio
import sys
import time


async def pipe(reader, writer, delay):
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
            queue.put_nowait((time.monotonic() + delay, data or None))
            if not data:
                break
        await sender
    except (ConnectionError, asyncio.CancelledError):
        sender.cancel()


async def serve(target_port, delay, lifetime):
    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, delay), pipe(server_reader, client_writer, delay),
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
    asyncio.run(serve(target_port, delay_ms / 1000.0, lifetime))


if __name__ == "__main__":
    main()
