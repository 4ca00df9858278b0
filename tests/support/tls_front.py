#!/usr/bin/python3
"""TLS in front of a plain HTTP test server on 127.0.0.1.

Usage: tls_front.py <cert.pem> <key.pem> <backend port>
Binds port 0, prints "ACCEPT 127.0.0.1:<port>" once listening, and passes
every TLS connection's bytes to the backend and back, until it is killed or
its standard input closes (the test process went away).
"""
import asyncio
import ssl
import sys


async def pipe(reader, writer):
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            writer.write(data)
            await writer.drain()
    except (ConnectionError, ssl.SSLError, OSError):
        pass
    finally:
        try:
            writer.close()
        except Exception:
            pass


async def serve(client_reader, client_writer, backend_port):
    try:
        reader, writer = await asyncio.open_connection("127.0.0.1", backend_port)
    except OSError:
        client_writer.close()
        return
    await asyncio.gather(pipe(client_reader, writer), pipe(reader, client_writer))


async def main():
    cert, key, backend_port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    context.set_alpn_protocols(["http/1.1"])
    server = await asyncio.start_server(
        lambda r, w: serve(r, w, backend_port), "127.0.0.1", 0, ssl=context)
    port = server.sockets[0].getsockname()[1]
    print("ACCEPT 127.0.0.1:%d" % port, flush=True)
    loop = asyncio.get_running_loop()
    # Ends when the test process closes our standard input.
    await loop.run_in_executor(None, sys.stdin.buffer.read)


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
