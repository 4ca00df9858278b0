#!/usr/bin/env python3
"""A loopback HTTP/1.1 server that waits before each answer, standing in for
a distant site (this kernel has no netem).

Usage: bench_slow_server.py <folder> <delay ms>
Serves the files below <folder> (a folder answers with its index.html), kept
in memory as whole responses, with keep-alive. Each request is answered <delay ms> after it has
arrived, concurrently with every other: the waits overlap, so parallel
clients get parallel answers. Prints "PORT <n>" once listening and runs
until it is ended. On SIGUSR1 it prints the number of requests so far, the
most it was answering at once, and how many picture bodies and 304 answers
it sent. Every file is sent with an ETag and its Last-Modified time, and a
request whose If-None-Match or If-Modified-Since says it has the file gets
304. On SIGUSR2 it reads the folder again (files changed on the disk).
"""
import asyncio
import email.utils
import hashlib
import os
import signal
import sys
from urllib.parse import unquote

TYPES = {".html": b"text/html", ".css": b"text/css", ".js": b"application/javascript",
         ".jpg": b"image/jpeg", ".jpeg": b"image/jpeg", ".png": b"image/png",
         ".gif": b"image/gif"}

# Whole responses, made once: path -> (keep-alive response, closing response,
# ETag, Last-Modified in seconds, content type).
responses = {}
stats = {"requests": 0, "now": 0, "most": 0, "bodies": 0, "not_modified": 0}


def response(status, kind, body, close, validators=b""):
    head = [b"HTTP/1.1 ", status, b"\r\nContent-Type: ", kind,
            b"\r\nContent-Length: ", str(len(body)).encode(), b"\r\n", validators]
    if close:
        head.append(b"Connection: close\r\n")
    head.append(b"\r\n")
    return b"".join(head), body


def add(path, status, kind, body, mtime):
    etag = b'"' + hashlib.sha1(body).hexdigest()[:16].encode() + b'"'
    modified = int(mtime)
    validators = (b"ETag: " + etag + b"\r\nLast-Modified: " +
                  email.utils.formatdate(modified, usegmt=True).encode() + b"\r\n")
    responses[path.encode()] = (response(status, kind, body, False, validators),
                                response(status, kind, body, True, validators),
                                etag, modified, kind)


def load(root):
    responses.clear()
    for folder, _, names in os.walk(root):
        for name in names:
            full = os.path.join(folder, name)
            path = "/" + os.path.relpath(full, root).replace(os.sep, "/")
            with open(full, "rb") as f:
                data = f.read()
            mtime = os.stat(full).st_mtime
            kind = TYPES.get(os.path.splitext(name)[1].lower(), b"application/octet-stream")
            add(path, b"200 OK", kind, data, mtime)
            if name == "index.html":
                add(path[: -len("index.html")], b"200 OK", kind, data, mtime)


def header(head, name):
    for line in head.split(b"\r\n")[1:]:
        key, _, value = line.partition(b":")
        if key.strip().lower() == name:
            return value.strip()
    return None


def not_modified(head, found):
    """Whether the request's validators say the client has this version."""
    match = header(head, b"if-none-match")
    if match is not None:
        return found[2] in [tag.strip() for tag in match.split(b",")] or match == b"*"
    since = header(head, b"if-modified-since")
    if since is not None:
        try:
            return found[3] <= email.utils.parsedate_to_datetime(since.decode()).timestamp()
        except (TypeError, ValueError):
            return False
    return False


NOT_FOUND = (response(b"404 Not Found", b"text/html", b"<html>not here</html>", False),
             response(b"404 Not Found", b"text/html", b"<html>not here</html>", True))


async def handle(reader, writer, delay):
    try:
        while True:
            head = await reader.readuntil(b"\r\n\r\n")
            method, target = head[:head.index(b"\r\n")].split(b" ")[:2]
            close = b"\r\nconnection: close" in head.lower()
            stats["requests"] += 1
            stats["now"] += 1
            stats["most"] = max(stats["most"], stats["now"])
            try:
                await asyncio.sleep(delay)
            finally:
                stats["now"] -= 1
            path = target.split(b"?")[0].split(b"#")[0]
            found = responses.get(path) or responses.get(unquote(path.decode("latin-1")).encode())
            if found and not_modified(head, found):
                stats["not_modified"] += 1
                writer.write(b"HTTP/1.1 304 Not Modified\r\nETag: " + found[2] + b"\r\n" +
                             (b"Connection: close\r\n" if close else b"") + b"\r\n")
                if close:
                    await writer.drain()
                    break
                continue
            head_bytes, body = (found or NOT_FOUND)[1 if close else 0]
            if found and found[4].startswith(b"image/") and method != b"HEAD":
                stats["bodies"] += 1
            writer.write(head_bytes if method == b"HEAD" else head_bytes + body)
            if writer.transport.get_write_buffer_size() > 1 << 20:
                await writer.drain()
            if close:
                await writer.drain()
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
        "served requests=%d most_at_once=%d bodies=%d not_modified=%d" % (
            stats["requests"], stats["most"], stats["bodies"], stats["not_modified"]),
        flush=True))
    loop.add_signal_handler(signal.SIGUSR2, lambda: (load(root), print("reloaded", flush=True)))
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
