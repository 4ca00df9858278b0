#!/usr/bin/env python3
"""A loopback HTTP/1.1 server that waits before each answer, standing in for
a distant site (this kernel has no netem).

Usage: bench_slow_server.py <folder> <delay ms>
Serves the files below <folder> (a folder answers with its index.html), kept
in memory, with keep-alive. Each request is answered <delay ms> after it has
arrived, concurrently with every other: the waits overlap, so parallel
clients get parallel answers. Prints "PORT <n>" once listening and runs
until it is ended. On SIGUSR1 it prints the number of requests so far and
the most it was answering at once.
"""
import asyncio
import os
import signal
import sys
from urllib.parse import unquote

TYPES = {".html": b"text/html", ".css": b"text/css", ".js": b"application/javascript",
         ".jpg": b"image/jpeg", ".jpeg": b"image/jpeg", ".png": b"image/png",
         ".gif": b"image/gif"}

files = {}
stats = {"requests": 0, "now": 0, "most": 0}


def load(root):
    for folder, _, names in os.walk(root):
        for name in names:
            full = os.path.join(folder, name)
            path = "/" + os.path.relpath(full, root).replace(os.sep, "/")
            with open(full, "rb") as f:
                data = f.read()
            kind = TYPES.get(os.path.splitext(name)[1].lower(), b"application/octet-stream")
            files[path] = (data, kind)
            if name == "index.html":
                files[path[: -len("index.html")]] = (data, kind)


async def handle(reader, writer, delay):
    try:
        while True:
            head = await reader.readuntil(b"\r\n\r\n")
            lines = head.decode("latin-1").split("\r\n")
            method, target = lines[0].split(" ")[:2]
            close = any(l.lower() == "connection: close" for l in lines[1:])
            stats["requests"] += 1
            stats["now"] += 1
            stats["most"] = max(stats["most"], stats["now"])
            try:
                await asyncio.sleep(delay)
            finally:
                stats["now"] -= 1
            path = unquote(target.split("?")[0].split("#")[0])
            found = files.get(path)
            if found:
                body, kind = found
                status = b"200 OK"
            else:
                body, kind, status = b"<html>not here</html>", b"text/html", b"404 Not Found"
            out = [b"HTTP/1.1 ", status, b"\r\nContent-Type: ", kind,
                   b"\r\nContent-Length: ", str(len(body)).encode(), b"\r\n"]
            if close:
                out.append(b"Connection: close\r\n")
            out.append(b"\r\n")
            if method != "HEAD":
                out.append(body)
            writer.write(b"".join(out))
            await writer.drain()
            if close:
                break
    except (asyncio.IncompleteReadError, ConnectionError, ValueError, asyncio.LimitOverrunError):
        pass
    finally:
        writer.close()


async def main():
    root, delay = sys.argv[1], int(sys.argv[2]) / 1000.0
    load(root)
    server = await asyncio.start_server(lambda r, w: handle(r, w, delay), "127.0.0.1", 0,
                                        backlog=512)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGUSR1, lambda: print(
        "served requests=%d most_at_once=%d" % (stats["requests"], stats["most"]), flush=True))
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
