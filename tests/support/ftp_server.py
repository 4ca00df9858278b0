#!/usr/bin/python3
"""Read-only FTP server on 127.0.0.1 for the tests.

Binds port 0, prints "PORT <n>" on stdout once listening, and serves until
it is killed or its standard input closes (the test process went away).

Files whose names start with these prefixes misbehave when retrieved (keep
them small: such a file is sent in one go):
  partial-  half the file, then "226 Transfer complete." (SIZE tells the whole)
  abort-    the file, then "426 Connection closed; transfer aborted."
  dropctl-  the file, then the control connection is dropped unanswered
  endless-  no size told (SIZE is refused), and bytes are sent for ever
  cut-      the first time it is fetched from the start: half the file, then
            "426" (as if the line broke); after that, or from a REST offset,
            as any file
  oversize- SIZE tells 100 bytes, whatever the file holds; the file is sent
            whole

Every file transfer that ends prints "SENT <name> <bytes>" on stdout, so a
test can count what the server gave.
"""
import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import ActiveDTP, DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

MISBEHAVING = ("partial-", "abort-", "dropctl-", "endless-", "cut-", "oversize-")


CUT_ALREADY = set()


def report_sent(path, count):
    print("SENT %s %d" % (os.path.basename(path), count), flush=True)


def cue_of(path):
    name = os.path.basename(path)
    for prefix in MISBEHAVING:
        if name.startswith(prefix):
            return prefix[:-1]
    return None


class HandOverActiveDTP(ActiveDTP):
    """pyftpdlib keeps the connector after handing its socket to the data
    channel, and closes it at the session's next PORT or at QUIT. By then the
    descriptor number may belong to another session's new data connection,
    whose poller registration that late close removes: the other session's
    PORT then never completes and its client waits for ever. Once the socket
    is handed over, the session forgets the connector."""

    def handle_connect(self):
        ActiveDTP.handle_connect(self)
        channel = self.cmd_channel
        handed_over = (not self._closed and channel.data_channel is not None
                       and channel.data_channel.socket is self.socket)
        if handed_over and channel._dtp_connector is self:
            channel._dtp_connector = None


class CountingDTP(DTPHandler):
    """Reports how much of a file went out when its data connection ends."""

    def close(self):
        if not self._closed and self.file_obj is not None and not self.receive:
            report_sent(self.file_obj.name, self.get_transmitted_bytes())
        DTPHandler.close(self)


class Endless:
    """A producer that never runs dry."""
    block = b"x" * 65536

    def more(self):
        return self.block


class TestHandler(FTPHandler):
    active_dtp = HandOverActiveDTP
    dtp_handler = CountingDTP
    refuse_active = False
    never_connect_data = False
    quit_delay = 0.0

    def ftp_PORT(self, line):
        if self.refuse_active:
            self.respond("502 Active mode is not allowed here.")
        else:
            FTPHandler.ftp_PORT(self, line)

    def ftp_EPRT(self, line):
        if self.refuse_active:
            self.respond("502 Active mode is not allowed here.")
        else:
            FTPHandler.ftp_EPRT(self, line)

    def _make_eport(self, ip, port):
        if self.never_connect_data:
            # Claims the connection is made and never makes it.
            self.respond("200 Active data connection established.")
        else:
            FTPHandler._make_eport(self, ip, port)

    def ftp_QUIT(self, line):
        if self.quit_delay > 0:
            self.ioloop.call_later(self.quit_delay, FTPHandler.ftp_QUIT, self, line)
        else:
            FTPHandler.ftp_QUIT(self, line)

    def ftp_SIZE(self, path):
        if cue_of(path) == "endless":
            self.respond("502 SIZE not implemented here.")
        elif cue_of(path) == "oversize":
            self.respond("213 100")
        else:
            FTPHandler.ftp_SIZE(self, path)

    def ftp_RETR(self, file):
        cue = cue_of(file)
        if cue is None or cue == "oversize":
            return FTPHandler.ftp_RETR(self, file)
        if cue == "endless":
            self.push_dtp_data(Endless(), isproducer=True, cmd="RETR")
            return file
        if cue == "cut" and (self._restart_position > 0 or file in CUT_ALREADY):
            return FTPHandler.ftp_RETR(self, file)
        CUT_ALREADY.add(file)
        channel = self.data_channel
        if channel is None:
            self.respond("425 Can't open data connection.")
            return None
        with open(file, "rb") as f:
            data = f.read()
        self.respond("125 Data connection already open. Transfer starting.")
        self._restart_position = 0
        channel.socket.setblocking(True)
        sent = data[: len(data) // 2] if cue in ("partial", "cut") else data
        channel.socket.sendall(sent)
        report_sent(file, len(sent))
        channel.close()  # closed without a reply of its own
        if cue == "partial":
            self.respond("226 Transfer complete.")
        elif cue == "cut":
            # Late, so the client has taken the data connection first.
            self.ioloop.call_later(
                0.3, self.respond, "426 Connection closed; transfer aborted.")
        elif cue == "abort":
            self.respond("426 Connection closed; transfer aborted.")
        else:
            self.close_when_done()
        return file


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
    parser.add_argument("--never-connect-data", action="store_true",
                        help="answer PORT and EPRT without ever connecting")
    parser.add_argument("--user", help="the only user allowed in (no anonymous)")
    parser.add_argument("--password", default="")
    parser.add_argument("--quit-delay", type=float, default=0.0,
                        help="seconds before QUIT is answered")
    parser.add_argument("--verbose", action="store_true", help="log every command")
    args = parser.parse_args()

    level = logging.DEBUG if args.verbose else logging.WARNING
    logging.basicConfig(level=level, stream=sys.stderr)

    root = os.path.abspath(args.root)
    authorizer = DummyAuthorizer()
    if args.user:
        authorizer.add_user(args.user, args.password, root, perm="elr")
    elif not args.refuse_login:
        authorizer.add_anonymous(root, perm="elr")

    handler = TestHandler
    handler.authorizer = authorizer
    handler.refuse_active = args.refuse_active
    handler.never_connect_data = args.never_connect_data
    handler.quit_delay = args.quit_delay
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
