"""Decoding of remote procedure calls (packet type 3).

The ODBC driver runs prepared statements through the system procedures
sp_prepexec/sp_execute/sp_executesql; only the statement text and the handle are
needed, so only the parameter types those calls use are decoded."""
import struct

EXECUTESQL = 10
PREPARE = 11
EXECUTE = 12
PREPEXEC = 13
UNPREPARE = 15

NAMES = {EXECUTESQL: "sp_executesql", PREPARE: "sp_prepare", EXECUTE: "sp_execute",
         PREPEXEC: "sp_prepexec", UNPREPARE: "sp_unprepare"}


class Call:
    def __init__(self, proc, params):
        self.proc = proc  # a number for the system procedures, else the name
        self.params = params  # decoded values; None for NULL or an undecoded type

    @property
    def name(self):
        return NAMES.get(self.proc, str(self.proc))

    def param(self, index):
        return self.params[index] if index < len(self.params) else None


class _Reader:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, count):
        part = self.data[self.at:self.at + count]
        if len(part) < count:
            raise ValueError("short RPC")
        self.at += count
        return part

    def unpack(self, fmt):
        values = struct.unpack_from(fmt, self.take(struct.calcsize(fmt)))
        return values[0] if len(values) == 1 else values


def _value(r):
    """Reads one parameter's TYPE_INFO and value."""
    kind = r.unpack("<B")
    if kind in (0x26, 0x6C, 0x6A, 0x68, 0x6D, 0x6E, 0x6F):  # byte-length types (INTN etc.)
        r.unpack("<B")
        raw = r.take(r.unpack("<B"))
        return int.from_bytes(raw, "little", signed=True) if kind == 0x26 and raw else None
    fixed = {0x30: 1, 0x34: 2, 0x38: 4, 0x7F: 8, 0x32: 1}
    if kind in fixed:
        return int.from_bytes(r.take(fixed[kind]), "little", signed=True)
    if kind in (0xE7, 0xA7, 0xEF, 0xAF):  # n/varchar, n/char
        maxlen = r.unpack("<H")
        r.take(5)  # collation
        if maxlen == 0xFFFF:
            return _plp(r, kind)
        length = r.unpack("<H")
        return None if length == 0xFFFF else _text(r.take(length), kind)
    if kind in (0x63, 0x23):  # ntext, text
        r.unpack("<I")
        r.take(5)
        length = r.unpack("<i")
        return None if length < 0 else _text(r.take(length), kind)
    raise ValueError("RPC parameter type 0x%02X not decoded" % kind)


def _plp(r, kind):
    total = r.unpack("<Q")
    if total == 0xFFFFFFFFFFFFFFFF:
        return None
    parts = []
    while True:
        size = r.unpack("<I")
        if size == 0:
            return _text(b"".join(parts), kind)
        parts.append(r.take(size))


def _text(raw, kind):
    return raw.decode("utf-16-le" if kind in (0xE7, 0xEF, 0x63) else "cp1250", errors="replace")


def parse(payload):
    r = _Reader(payload)
    total = struct.unpack_from("<I", payload, 0)[0] if len(payload) >= 4 else 0
    if 4 <= total <= len(payload):
        r.take(total)  # ALL_HEADERS
    name_length = r.unpack("<H")
    if name_length == 0xFFFF:
        proc = r.unpack("<H")
    else:
        proc = r.take(name_length * 2).decode("utf-16-le")
    r.unpack("<H")  # option flags
    params = []
    try:
        while r.at < len(payload):
            r.take(r.unpack("<B") * 2)  # parameter name
            r.unpack("<B")  # status flags
            params.append(_value(r))
    except ValueError:
        pass  # Later parameters are not needed by any call the server understands.
    return Call(proc, params)
