"""PRELOGIN answer and LOGIN7 decoding."""
import struct

# PRELOGIN option tokens.
PL_VERSION = 0x00
PL_ENCRYPTION = 0x01
PL_INSTOPT = 0x02
PL_THREADID = 0x03
PL_MARS = 0x04
PL_TERMINATOR = 0xFF

ENCRYPT_NOT_SUP = 0x02

# LOGIN7 OptionFlags3 bit: a feature-extension block follows.
F_EXTENSION = 0x10


def prelogin_reply():
    """Version 16.0, encryption not supported, no instance, no MARS."""
    options = [
        (PL_VERSION, bytes([16, 0, 0x10, 0x00, 0, 0])),
        (PL_ENCRYPTION, bytes([ENCRYPT_NOT_SUP])),
        (PL_INSTOPT, b"\x00"),
        (PL_THREADID, b""),
        (PL_MARS, b"\x00"),
    ]
    offset = len(options) * 5 + 1
    head = bytearray()
    body = bytearray()
    for token, data in options:
        head += struct.pack(">BHH", token, offset + len(body), len(data))
        body += data
    return bytes(head) + bytes([PL_TERMINATOR]) + bytes(body)


def decode_password(data):
    """Undoes the LOGIN7 obfuscation: each byte had its nibbles swapped, then XOR 0xA5."""
    plain = bytes((((b ^ 0xA5) << 4) & 0xF0) | ((b ^ 0xA5) >> 4) for b in data)
    return plain.decode("utf-16-le", errors="replace")


class Login:
    """The fields of a LOGIN7 request the server uses."""

    def __init__(self, payload):
        (self.length, self.tds_version, self.packet_size, _prog, _pid, _conn,
         _f1, _f2, _tf, self.flags3, _tz, _lcid) = struct.unpack_from("<IIIIIIBBBBiI", payload, 0)
        self.host = self._text(payload, 36)
        self.user = self._text(payload, 40)
        self.password = decode_password(self._raw(payload, 44))
        self.app = self._text(payload, 48)
        self.server = self._text(payload, 52)
        self.language = self._text(payload, 64)
        self.database = self._text(payload, 68)

    @staticmethod
    def _raw(payload, at):
        offset, chars = struct.unpack_from("<HH", payload, at)
        return payload[offset:offset + chars * 2]

    def _text(self, payload, at):
        return self._raw(payload, at).decode("utf-16-le", errors="replace")

    @property
    def wants_feature_ack(self):
        return bool(self.flags3 & F_EXTENSION)
