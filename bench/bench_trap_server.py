#!/usr/bin/env python3
"""A loopback HTTP/1.1 server of a link trap, as a calendar or session ids
make one: every page it serves links to new addresses that were never
linked before, for ever.

Usage: bench_trap_server.py <links per page> <link length>
Answers every GET with a page of <links per page> links, each a new path of
<link length> characters ("/s/000000042-3f9a..."), with keep-alive. Prints
"PORT <n>" once listening and runs until it is ended.
"""
import asyncio
import hashlib
import sys

state = {"next": 0}


def page(links, length):
    parts = [b"<html><body>"]
    for _ in range(links):
        n = state["next"]
        state["next"] += 1
        head = "/s/%09d-" % n
        tail = hashlib.sha256(str(n).encode()).hexdigest() * (1 + length // 64)
        parts.append(b'<a href="' + (head + tail)[:length].encode() + b'">x</a>')
    parts.append(b"</body></html>")
    return b"".join(parts)


async def handle(reader, writer, links, length):
    try:
        while True:
            head = await reader.readuntil(b"\r\n\r\n")
            close = b"\r\nconnection: close" in head.lower()
            body = page(links, length)
            out = [b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: ",
                   str(len(body)).encode(), b"\r\n"]
            if close:
                out.append(b"Connection: close\r\n")
            out.append(b"\r\n")
            writer.write(b"".join(out) + body)
            await writer.drain()
            if close:
                break
    except (asyncio.IncompleteReadError, ConnectionError, ValueError, asyncio.LimitOverrunError):
        pass
    finally:
        writer.close()


async def main():
    links, length = int(sys.argv[1]), int(sys.argv[2])
    server = await asyncio.start_server(lambda r, w: handle(r, w, links, length), "127.0.0.1", 0,
                                        backlog=512)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
