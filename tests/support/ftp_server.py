#!/usr/bin/python3
"""Anonymous read-only FTP server on 127.0.0.1 for the tests.

Binds port 0, prints "PORT <n>" on stdout once listening, and serves until
it is killed or its standard input closes (the test process went away).
"""
import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class NoActiveModeHandler(FTPHandler):
    def ftp_PORT(self, line):
        self.respond("502 Active mode is not allowed here.")

    def ftp_EPRT(self, line):
        self.respond("502 Active mode is not allowed here.")


def watch_stdin():
    try:
        while sys.stdin.buffer.read(4096):
            pass
    finally:
        os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--refuse-login", action="store_true")
    parser.add_argument("--refuse-active", action="store_true")
    parser.add_argument("--verbose", action="store_true", help="log every command")
    args = parser.parse_args()

    level = logging.DEBUG if args.verbose else logging.WARNING
    logging.basicConfig(level=level, stream=sys.stderr)

    authorizer = DummyAuthorizer()
    if not args.refuse_login:
        authorizer.add_anonymous(os.path.abspath(args.root), perm="elr")

    handler = NoActiveModeHandler if args.refuse_active else FTPHandler
    handler.authorizer = authorizer
    handler.banner = "test server ready"
    handler.timeout = 120
    handler.auth_failed_timeout = 0.1  # answer a refused login without the usual delay
    handler.permit_foreign_addresses = False

    server = FTPServer(("127.0.0.1", 0), handler)
    port = server.socket.getsockname()[1]
    threading.Thread(target=watch_stdin, daemon=True).start()
    print("PORT %d" % port, flush=True)
    server.serve_forever(timeout=0.2)


if __name__ == "__main__":
    main()
