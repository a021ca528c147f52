"""TDS packet layer: an 8-byte header, then up to packet size minus 8 bytes."""
import struct

HEADER_SIZE = 8

# Packet types the server reads or writes.
SQL_BATCH = 0x01
RPC = 0x03
REPLY = 0x04
ATTENTION = 0x06
TRANSACTION_MANAGER = 0x0E
LOGIN7 = 0x10
PRELOGIN = 0x12

STATUS_EOM = 0x01

# Packet size used before the login has negotiated one.
DEFAULT_PACKET_SIZE = 4096


class ConnectionClosed(Exception):
    """The peer closed the socket (or it broke) in the middle of a read."""


def recv_exact(sock, count):
    data = bytearray()
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise ConnectionClosed()
        data += chunk
    return bytes(data)


def read_packet(sock):
    """Returns (type, status, payload) of one packet."""
    header = recv_exact(sock, HEADER_SIZE)
    ptype, status, length = struct.unpack(">BBH", header[:4])
    if length < HEADER_SIZE:
        raise ConnectionClosed()
    return ptype, status, recv_exact(sock, length - HEADER_SIZE)


def read_message(sock):
    """Reads packets until end-of-message and returns (type, payload).

    A request bigger than the packet size arrives as several packets of the same
    type; only the last carries the end-of-message bit."""
    ptype, status, payload = read_packet(sock)
    parts = [payload]
    while not status & STATUS_EOM:
        more_type, status, payload = read_packet(sock)
        if more_type == ATTENTION:
            # A cancel in the middle of a request: the partial request is dropped.
            return ATTENTION, b""
        parts.append(payload)
    return ptype, b"".join(parts)


def send_message(sock, ptype, payload, packet_size, spid=0):
    """Cuts the payload into packets of at most packet_size bytes and sends them."""
    room = packet_size - HEADER_SIZE
    packet_id = 1
    offset = 0
    chunks = []
    while True:
        part = payload[offset:offset + room]
        offset += room
        last = offset >= len(payload)
        header = struct.pack(">BBHHBB", ptype, STATUS_EOM if last else 0,
                             len(part) + HEADER_SIZE, spid, packet_id & 0xFF, 0)
        chunks.append(header + part)
        packet_id += 1
        if last:
            break
    sock.sendall(b"".join(chunks))


class ReplyStream:
    """A reply sent as it is produced: whole packets go out as soon as they are full, so
    that, as with SQL Server, a client can cancel (ATTENTION) while the rest of the batch
    has not run yet. finish() sends what is left with end-of-message."""

    def __init__(self, sock, packet_size, spid=0):
        self.sock = sock
        self.room = packet_size - HEADER_SIZE
        self.spid = spid
        self.buffer = bytearray()
        self.packet_id = 1

    def write(self, data):
        self.buffer += data

    def _send(self, part, last):
        header = struct.pack(">BBHHBB", REPLY, STATUS_EOM if last else 0,
                             len(part) + HEADER_SIZE, self.spid, self.packet_id & 0xFF, 0)
        self.packet_id += 1
        self.sock.sendall(header + part)

    def flush_full(self):
        """Sends every full packet; True when at least one went out."""
        sent = False
        while len(self.buffer) > self.room:
            self._send(bytes(self.buffer[:self.room]), False)
            del self.buffer[:self.room]
            sent = True
        return sent

    def finish(self):
        self.flush_full()
        self._send(bytes(self.buffer), True)
        self.buffer = bytearray()
