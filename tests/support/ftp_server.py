#!/usr/bin/python3
"""A small FTP server for the online update's tests and the demo, on loopback.

Serves one folder read-only to the update account (velmorauser / QxmPl47Tzd), prints
"port N" on its first line once it listens (ask for --port 0 to get a free port), and logs
every command it receives, one per line, to --log, so that tests can check the conversation.

Fault modes, for the tests of the client's failure handling:
  --refuse-login      every login is refused (530)
  --no-size           the SIZE command is unknown (the client cannot learn the size)
  --truncate-after N  a download ends cleanly (226) after N bytes
  --cut-after N       a download's data connection is dropped after N bytes
  --stall-after N     a download sends N bytes and then nothing, keeping the connection open
  --endless-file      SIZE is unknown and a download sends the file, then more bytes for ever
  --endless-list      a listing sends the folder's entries, then further entries for ever
  --trickle-list      as --endless-list, but one further entry every 0.1 s (bytes keep coming,
                      too slowly for any limit on bytes)
  --silent            connections are accepted but never answered
  --silent-after-login  the login is answered, then no command at all, the connection kept open
  --mute-quit         QUIT is taken but never answered, and the connection is kept open
  --order A,B,...     the listing names these entries first, in this order (others follow)
"""
import argparse
import itertools
import logging
import os
import socket
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer

USER = "velmorauser"
PASSWORD = "QxmPl47Tzd"


class CommandLog:
    def __init__(self, path):
        self._lock = threading.Lock()
        self._file = open(path, "a", encoding="utf-8") if path else None

    def write(self, line):
        if self._file is None:
            return
        with self._lock:
            self._file.write(line + "\n")
            self._file.flush()


class FaultyFile:
    """A file whose reads end, fail or hang after a number of bytes."""

    def __init__(self, inner, limit, mode):
        self._inner = inner
        self._left = limit
        self._mode = mode
        self.name = inner.name

    @property
    def closed(self):
        return self._inner.closed

    def read(self, size=-1):
        if self._mode == "endless":
            data = self._inner.read(size if size > 0 else 65536)
            return data if data else b"\x5a" * (size if size > 0 else 65536)
        if self._left <= 0:
            if self._mode == "cut":
                raise OSError("data connection cut on purpose")
            if self._mode == "stall":
                time.sleep(3600)
            return b""
        if size < 0 or size > self._left:
            size = self._left
        data = self._inner.read(size)
        self._left -= len(data)
        return data

    def seek(self, *args):
        return self._inner.seek(*args)

    def tell(self):
        return self._inner.tell()

    def close(self):
        self._inner.close()


class UnsortedList(list):
    """A listing that keeps its order: the server sorts listings, the tests want theirs."""

    def sort(self, *args, **kwargs):
        pass


def make_handler(options, log):
    class Handler(FTPHandler):
        use_sendfile = False
        passive_ports = None

        def pre_process_command(self, line, cmd, arg):
            log.write(line if cmd != "PASS" else "PASS " + (arg or ""))
            if cmd == "QUIT" and options.mute_quit:
                return  # a server that hangs at the goodbye
            if options.silent_after_login and self.authenticated:
                return  # a server that hangs once the client is in
            return super().pre_process_command(line, cmd, arg)

    if options.no_size or options.endless_file:
        Handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k != "SIZE"}

    class FaultyFS(AbstractedFS):
        def open(self, filename, mode):
            inner = super().open(filename, mode)
            if options.endless_file and "r" in mode:
                return FaultyFile(inner, 0, "endless")
            for flag, kind in (("truncate_after", "end"), ("cut_after", "cut"),
                               ("stall_after", "stall")):
                limit = getattr(options, flag)
                if limit is not None and "r" in mode:
                    return FaultyFile(inner, limit, kind)
            return inner

        def format_list(self, basedir, listing, ignore_err=True):
            lines = super().format_list(basedir, listing, ignore_err)
            if not (options.endless_list or options.trickle_list):
                return lines
            return itertools.chain(lines, endless_listing(options.trickle_list))

        def listdir(self, path):
            names = super().listdir(path)
            if not options.order:
                return names
            first = [n for n in options.order.split(",") if n in names]
            rest = sorted(n for n in names if n not in first)
            return UnsortedList(first + rest)

    Handler.abstracted_fs = FaultyFS
    return Handler


def endless_listing(trickle):
    """Listing lines of files that never end: names that no mask of the tests matches."""
    for number in itertools.count():
        if trickle:
            time.sleep(0.1)
        yield ("-rw-r--r--   1 owner    group        1024 Dec 08 14:00 filler-%d.txt\r\n"
               % number).encode("ascii")


def serve_silently(port):
    """Accepts connections and never says a word: a server that has hung."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(8)
    print("port %d" % listener.getsockname()[1], flush=True)
    held = []
    while True:
        connection, _ = listener.accept()
        held.append(connection)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--log")
    parser.add_argument("--refuse-login", action="store_true")
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--truncate-after", type=int)
    parser.add_argument("--cut-after", type=int)
    parser.add_argument("--stall-after", type=int)
    parser.add_argument("--endless-file", action="store_true")
    parser.add_argument("--endless-list", action="store_true")
    parser.add_argument("--trickle-list", action="store_true")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--mute-quit", action="store_true")
    parser.add_argument("--silent-after-login", action="store_true")
    parser.add_argument("--order")
    options = parser.parse_args()

    if options.silent:
        serve_silently(options.port)
        return

    logging.basicConfig(level=logging.ERROR, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    password = PASSWORD + "-refused" if options.refuse_login else PASSWORD
    authorizer.add_user(USER, password, os.path.abspath(options.root), perm="elr")
    handler = make_handler(options, CommandLog(options.log))
    handler.authorizer = authorizer
    handler.banner = "Velmora test FTP server ready."
    server = ThreadedFTPServer(("127.0.0.1", options.port), handler)
    print("port %d" % server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
