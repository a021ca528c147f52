"""Command line, listening socket and shutdown."""
import argparse
import signal
import socket
import sys
import threading

from .catalog import Catalog
from .connection import Connection
from .journal import Journal


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description="TDS 7.4 server that plays SQL Server for tests")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--catalog", required=True, help="catalog JSON")
    parser.add_argument("--journal", help="journal file (JSON lines), appended to")
    parser.add_argument("--state", help="catalog state written after every change")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--packet-size", type=int, default=32767,
                        help="largest packet size granted at login (the client asks for its own)")
    return parser.parse_args(argv)


def main(argv=None):
    args = parse_arguments(sys.argv[1:] if argv is None else argv)
    catalog = Catalog(args.catalog, args.state)
    journal = Journal(args.journal)
    stopping = threading.Event()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.host, args.port))
    listener.listen(16)
    listener.settimeout(0.2)

    def stop(_signum, _frame):
        stopping.set()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    print("port %d" % listener.getsockname()[1], flush=True)

    connections = []
    number = 0
    while not stopping.is_set():
        try:
            sock, _ = listener.accept()
        except socket.timeout:
            continue
        except OSError:
            if stopping.is_set():
                break
            raise
        sock.settimeout(None)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        number += 1
        conn = Connection(sock, number, catalog, journal, stopping, args.packet_size)
        connections = [c for c in connections if c.is_alive()] + [conn]
        conn.start()

    listener.close()
    for conn in connections:
        conn.close()
    for conn in connections:
        conn.join(timeout=2)
    journal.close()
    return 0
