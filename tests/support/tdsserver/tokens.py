"""Encoders of the reply tokens (TDS 7.2+ layouts)."""
import struct

# Token types.
COLMETADATA = 0x81
ERROR = 0xAA
INFO = 0xAB
LOGINACK = 0xAD
FEATUREEXTACK = 0xAE
ROW = 0xD1
ENVCHANGE = 0xE3
DONE = 0xFD
DONEPROC = 0xFE
DONEINPROC = 0xFF
RETURNSTATUS = 0x79
RETURNVALUE = 0xAC

# DONE status bits.
DONE_FINAL = 0x00
DONE_MORE = 0x01
DONE_ERROR = 0x02
DONE_COUNT = 0x10
DONE_ATTN = 0x20

# DONE current-command values, as SQL Server reports them.
CMD_SELECT = 0xC1
CMD_UPDATE = 0xC5

# ENVCHANGE types.
ENV_DATABASE = 1
ENV_LANGUAGE = 2
ENV_PACKET_SIZE = 4
ENV_COLLATION = 7
ENV_BEGIN_TRANSACTION = 8
ENV_COMMIT_TRANSACTION = 9
ENV_ROLLBACK_TRANSACTION = 10

NVARCHAR = 0xE7
INTN = 0x26

# Croatian_CI_AS: LCID 0x041A, ignore case/kana/width, Windows collation (sort id 0).
# The client derives the code page of non-Unicode text from it (Windows-1250).
COLLATION = bytes([0x1A, 0x04, 0xD0, 0x00, 0x00])
# Croatian_CS_AS: the same without "ignore case".
COLLATION_CS = bytes([0x1A, 0x04, 0xC0, 0x00, 0x00])

SERVER_NAME = "VELMORATEST"


def utf16(text):
    return text.encode("utf-16-le")


def b_varchar(text):
    """Text with a one-byte length in characters (UTF-16 code units)."""
    data = utf16(text)
    return struct.pack("<B", len(data) // 2) + data


def us_varchar(text):
    """Text with a two-byte length in characters."""
    data = utf16(text)
    return struct.pack("<H", len(data) // 2) + data


def done(status=DONE_FINAL, cmd=0, count=0, token=DONE):
    return struct.pack("<BHHQ", token, status, cmd, count)


def envchange(kind, new, old):
    body = struct.pack("<B", kind) + b_varchar(new) + b_varchar(old)
    return struct.pack("<BH", ENVCHANGE, len(body)) + body


def envchange_collation(collation):
    body = struct.pack("<BB", ENV_COLLATION, len(collation)) + collation + b"\x00"
    return struct.pack("<BH", ENVCHANGE, len(body)) + body


def message(number, state, severity, text, is_error=True, line=1):
    """An ERROR (or INFO) token as SQL Server sends it."""
    body = (struct.pack("<iBB", number, state, severity) + us_varchar(text)
            + b_varchar(SERVER_NAME) + b_varchar("") + struct.pack("<i", line))
    return struct.pack("<BH", ERROR if is_error else INFO, len(body)) + body


def envchange_transaction(kind, descriptor):
    """BEGIN carries the new transaction descriptor, COMMIT and ROLLBACK the old one."""
    new, old = (descriptor, b"") if kind == ENV_BEGIN_TRANSACTION else (b"", descriptor)
    body = struct.pack("<BB", kind, len(new)) + new + struct.pack("<B", len(old)) + old
    return struct.pack("<BH", ENVCHANGE, len(body)) + body


def loginack(tds_version, program="Microsoft SQL Server", version=(16, 0, 4, 0)):
    body = (struct.pack("<B", 1) + struct.pack(">I", tds_version) + b_varchar(program)
            + bytes(version))
    return struct.pack("<BH", LOGINACK, len(body)) + body


def featureextack_empty():
    """Acknowledges none of the client's feature extensions (terminator only)."""
    return bytes([FEATUREEXTACK, 0xFF])


class Int:
    """Marks a column as int (INTN of 4 bytes), as SQL Server types CAST(... AS int),
    CASE ... THEN 1 ELSE 0 END and @@TRANCOUNT."""

    def __init__(self, name):
        self.name = name


def colmetadata(names, max_chars=128):
    """Column metadata, nullable: NVARCHAR(max_chars) for a plain name, int for an Int."""
    out = bytearray(struct.pack("<BH", COLMETADATA, len(names)))
    for name in names:
        if isinstance(name, Int):
            out += struct.pack("<IHBB", 0, 0x0001, INTN, 4) + b_varchar(name.name)
        else:
            out += struct.pack("<IHBH", 0, 0x0001, NVARCHAR, max_chars * 2) + COLLATION
            out += b_varchar(name)
    return bytes(out)


def row(values, columns=None):
    """One ROW; values are text (or None for NULL), int columns (Int in columns) numbers."""
    out = bytearray([ROW])
    for index, value in enumerate(values):
        is_int = columns is not None and isinstance(columns[index], Int)
        if value is None:
            out += b"\x00" if is_int else struct.pack("<H", 0xFFFF)
        elif is_int:
            out += struct.pack("<Bi", 4, int(value))
        else:
            data = utf16(value)
            out += struct.pack("<H", len(data)) + data
    return bytes(out)


def return_status(value=0):
    return struct.pack("<Bi", RETURNSTATUS, value)


def return_int(ordinal, name, value):
    """An output parameter of type int (INTN, 4 bytes), as in a prepared statement's handle."""
    return (struct.pack("<BH", RETURNVALUE, ordinal) + b_varchar(name)
            + struct.pack("<BIHBBBi", 0x01, 0, 0x0001, 0x26, 4, 4, value))
