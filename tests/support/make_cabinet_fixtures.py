#!/usr/bin/env python3
"""Writes the cabinet fixtures that gcab cannot make into tests/data/cabinet/.

gcab writes well-formed stored and MSZIP cabinets only, with UTF-8 names and the files' own
times. The tests also need hostile names, Windows-1250 names, fixed DOS dates, LZX and Quantum
framing, and damaged or truncated cabinets, so this small writer builds them byte by byte. Run it again after changing
it; the outputs are committed.
"""
import os
import struct
import sys
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "cabinet")

COMP_NONE, COMP_MSZIP, COMP_QUANTUM, COMP_LZX = 0, 1, 2, 3
BLOCK = 32768


def checksum(data, seed=0):
    csum = seed
    n = len(data) // 4
    for i in range(n):
        csum ^= struct.unpack_from("<I", data, 4 * i)[0]
    rest = data[4 * n:]
    ul = 0
    if len(rest) == 3:
        ul = (rest[0] << 16) | (rest[1] << 8) | rest[2]
    elif len(rest) == 2:
        ul = (rest[0] << 8) | rest[1]
    elif len(rest) == 1:
        ul = rest[0]
    return csum ^ ul


def dos_date(y, m, d):
    return ((y - 1980) << 9) | (m << 5) | d


def dos_time(h, mi, s):
    return (h << 11) | (mi << 5) | (s // 2)


DEFAULT_DATE = dos_date(2024, 2, 29)
DEFAULT_TIME = dos_time(14, 30, 0)


class Entry:
    def __init__(self, name, data, date=DEFAULT_DATE, time=DEFAULT_TIME, attribs=0x20):
        self.name = name if isinstance(name, bytes) else name.encode("utf-8")
        self.data = data
        self.date, self.time, self.attribs = date, time, attribs


def mszip_blocks(raw):
    blocks = []
    for at in range(0, max(len(raw), 1), BLOCK):
        chunk = raw[at:at + BLOCK]
        co = zlib.compressobj(9, zlib.DEFLATED, -15)
        blocks.append((b"CK" + co.compress(chunk) + co.flush(), len(chunk)))
    return blocks if raw else []


def lzx_uncompressed_blocks(raw):
    """LZX stream made of one uncompressed block: the framing without any compression."""
    # Bits, most significant first in little-endian 16-bit words: E8 translation off (1 bit),
    # block type 3 (3 bits), block length (24 bits), 4 bits of padding to the word boundary.
    bits = (0 << 31) | (3 << 28) | (len(raw) << 4)
    header = struct.pack("<HH", bits >> 16, bits & 0xFFFF)
    stream = header + struct.pack("<III", 1, 1, 1) + raw + (b"\0" if len(raw) % 2 else b"")
    # One CFDATA per 32 KiB of output; the stream bytes are shared out so that each block
    # carries its frame's raw bytes (the first also the header, the last the padding).
    blocks = []
    pos = 0
    frames = [(at, min(BLOCK, len(raw) - at)) for at in range(0, len(raw), BLOCK)]
    for i, (at, size) in enumerate(frames):
        end = 16 + at + size if i < len(frames) - 1 else len(stream)
        blocks.append((stream[pos:end], size))
        pos = end
    return blocks


class QuantumModel:
    """An adaptive frequency model as the Quantum decoder keeps it; the encoder must change it
    in exactly the same way."""

    def __init__(self, start, entries):
        self.shifts_left = 4
        self.entries = entries
        self.sym = [start + i for i in range(entries + 1)]
        self.cum = [entries - i for i in range(entries + 1)]

    def update(self):
        n = self.entries
        self.shifts_left -= 1
        if self.shifts_left:
            for i in range(n - 1, -1, -1):
                self.cum[i] >>= 1
                if self.cum[i] <= self.cum[i + 1]:
                    self.cum[i] = self.cum[i + 1] + 1
            return
        self.shifts_left = 50
        for i in range(n):
            self.cum[i] = ((self.cum[i] - self.cum[i + 1]) + 1) >> 1
        for i in range(n - 1):  # the decoder's selection sort, same stability
            for j in range(i + 1, n):
                if self.cum[i] < self.cum[j]:
                    self.cum[i], self.cum[j] = self.cum[j], self.cum[i]
                    self.sym[i], self.sym[j] = self.sym[j], self.sym[i]
        for i in range(n - 1, -1, -1):
            self.cum[i] += self.cum[i + 1]


def quantum_blocks(raw, window_bits):
    """Quantum with literals only: an arithmetic coder that mirrors the decoder, one frame of
    32 KiB output per data block (the cabinet reader adds the 0xFF that ends a frame)."""
    selector = QuantumModel(0, 7)
    literals = [QuantumModel(64 * m, 64) for m in range(4)]
    blocks = []
    for at in range(0, len(raw), BLOCK):
        frame = raw[at:at + BLOCK]
        bits = []
        state = {"L": 0, "H": 0xFFFF, "pending": 0, "shifts": 0}

        def emit(bit):
            bits.append(bit)
            bits.extend([1 - bit] * state["pending"])
            state["pending"] = 0

        def encode(model, symbol):
            k = model.sym.index(symbol, 0, model.entries)
            low, high = state["L"], state["H"]
            rng = high - low + 1
            total = model.cum[0]
            high = (low + (model.cum[k] * rng) // total - 1) & 0xFFFF
            low = (low + (model.cum[k + 1] * rng) // total) & 0xFFFF
            for j in range(k + 1):
                model.cum[j] += 8
            if model.cum[0] > 3800:
                model.update()
            while True:
                if (low & 0x8000) == (high & 0x8000):
                    emit((high >> 15) & 1)
                elif (low & 0x4000) and not (high & 0x4000):
                    state["pending"] += 1
                    low &= 0x3FFF
                    high |= 0x4000
                else:
                    break
                low = (low << 1) & 0xFFFF
                high = ((high << 1) | 1) & 0xFFFF
                state["shifts"] += 1
            state["L"], state["H"] = low, high

        for byte in frame:
            encode(selector, byte >> 6)
            encode(literals[byte >> 6], byte)
        # Termination: a value inside the final interval, then zeros for the 16 bits the
        # decoder holds, then up to the next byte.
        state["pending"] += 1
        emit(0 if state["L"] < 0x4000 else 1)
        assert len(bits) <= state["shifts"] + 16
        bits.extend([0] * (state["shifts"] + 16 - len(bits)))
        bits.extend([0] * (-len(bits) % 8))
        payload = bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))
        blocks.append((payload, len(frame)))
    return blocks


def build(entries, comp=COMP_NONE, with_checksums=True, comp_type=None, corrupt=None,
          corrupt_after_checksum=None, reserve=None, next_cabinet=None):
    """reserve: (header, folder, data) sizes of the reserved areas, as signed cabinets carry;
    next_cabinet: (cabinet, disk) names of a following cabinet of a set."""
    raw = b"".join(e.data for e in entries)
    if comp == COMP_NONE:
        blocks = [(raw[at:at + BLOCK], len(raw[at:at + BLOCK])) for at in range(0, len(raw), BLOCK)]
    elif comp == COMP_MSZIP:
        blocks = mszip_blocks(raw)
    elif comp == COMP_QUANTUM:
        blocks = quantum_blocks(raw, 16)
    else:
        blocks = lzx_uncompressed_blocks(raw)
    if corrupt:
        blocks = corrupt(blocks)
    files = b""
    offset = 0
    for e in entries:
        files += struct.pack("<IIHHHH", len(e.data), offset, 0, e.date, e.time, e.attribs) + e.name + b"\0"
        offset += len(e.data)
    header_res, folder_res, data_res = reserve or (0, 0, 0)
    extra = b""
    flags = 0
    if reserve:
        flags |= 4
        extra += struct.pack("<HBB", header_res, folder_res, data_res) + b"\xAA" * header_res
    if next_cabinet:
        flags |= 2
        extra += next_cabinet[0] + b"\0" + next_cabinet[1] + b"\0"
    header_size, folder_size = 36 + len(extra), 8 + folder_res
    coff_files = header_size + folder_size
    data_start = coff_files + len(files)
    data = b""
    for payload, uncomp in blocks:
        head = struct.pack("<HH", len(payload), uncomp)
        csum = checksum(head, checksum(payload)) if with_checksums else 0
        if corrupt_after_checksum:
            payload = corrupt_after_checksum(payload, uncomp)
        data += struct.pack("<I", csum) + head + b"\xBB" * data_res + payload
    total = data_start + len(data)
    type_compress = comp_type if comp_type is not None else comp
    folders = 1 if entries else 0
    if not entries:
        coff_files = data_start = total = header_size
    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, coff_files, 0, 3, 1, folders,
                         len(entries), flags, 0x1234, 0) + extra
    folder = (struct.pack("<IHH", data_start, len(blocks), type_compress) + b"\xCC" * folder_res
              if entries else b"")
    return header + folder + files + data


def write(name, content):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(content)


def pattern(size, seed):
    out = bytearray()
    word = seed
    while len(out) < size:
        word = (word * 1103515245 + 12345) & 0x7FFFFFFF
        out += ("%d " % (word % 1000)).encode()
    return bytes(out[:size])


def flip_in_block(index, at=10):
    def corrupt(blocks):
        payload, uncomp = blocks[index]
        b = bytearray(payload)
        b[at] ^= 0x55
        blocks[index] = (bytes(b), uncomp)
        return blocks
    return corrupt


def flip_in_third_block(payload, uncomp):
    # The third block is the only one of its size: the 40000 - 32768 bytes ending the second
    # file and the third file's 15.
    return payload[:10] + bytes([payload[10] ^ 0x55]) + payload[11:] if uncomp == 40000 - BLOCK + 15 else payload


def main():
    os.makedirs(OUT, exist_ok=True)
    ok = Entry("ok.txt", b"written before the bad name\r\n")

    # Hostile names: each cabinet holds a good file, then one whose name climbs out.
    for label, name in [("dotdot", b"..\\evil.txt"), ("nested_dotdot", b"sub\\..\\..\\evil.txt"),
                        ("absolute", b"\\evil.txt"), ("drive", b"C:\\evil.txt"),
                        ("forward_slash_dotdot", b"sub/../../evil.txt")]:
        write("traversal_%s.cab" % label, build([ok, Entry(name, b"must never be written\r\n")]))

    # Control characters: each cabinet holds a good file, then one whose name carries a terminal
    # escape, a line break, a NUL-less bell or a C1 control (UTF-8 flagged).
    for label, name, attribs in [("esc", b"red\x1b[31m.txt", 0x20),
                                 ("crlf", b"forged\r\nline.txt", 0x20),
                                 ("bell_in_folder", b"sub\x07\\b.txt", 0x20),
                                 ("c1_utf8", "csi\u009b2J.txt".encode("utf-8"), 0x20 | 0x80)]:
        write("control_%s.cab" % label,
              build([ok, Entry(name, b"must never be written\r\n", attribs=attribs)]))

    # Names: one in Windows-1250 bytes (no flag), one flagged UTF-8, with Croatian letters.
    write("names_cp1250_and_utf8.cab", build([
        Entry("Čćžšđ\\Šđ.txt".encode("cp1250"), b"cp1250 name\r\n", attribs=0x20),
        Entry("Čćžšđ\\Žč.txt".encode("utf-8"), b"utf-8 name\r\n", attribs=0x20 | 0x80),
    ]))

    # Dates: an afternoon time, midnight, the last second a DOS time can hold, and a date the
    # calendar does not have (31 February).
    write("dates_fixed.cab", build([
        Entry("afternoon.txt", b"a", dos_date(2024, 2, 29), dos_time(14, 30, 0)),
        Entry("midnight.txt", b"b", dos_date(2001, 12, 31), dos_time(0, 0, 0)),
        Entry("last_second.txt", b"c", dos_date(2107, 12, 31), dos_time(23, 59, 58)),
        Entry("invalid_date.txt", b"d", dos_date(2020, 2, 31), dos_time(10, 0, 0)),
    ]))

    # LZX framing with uncompressed blocks: a file across three 32 KiB frames, an odd length
    # (the padding byte), and a small file after it in the same folder.
    write("lzx_uncompressed_blocks.cab", build([
        Entry("big.txt", pattern(70001, 7)), Entry("sub\\small.txt", b"after the big one\r\n")],
        comp=COMP_LZX, comp_type=COMP_LZX | (16 << 8)))

    # Quantum, literals only, over the same files: two frames and a file after them.
    write("quantum_literals.cab", build([
        Entry("big.txt", pattern(40001, 7)), Entry("sub\\small.txt", b"after the big one\r\n")],
        comp=COMP_QUANTUM, comp_type=COMP_QUANTUM | (4 << 4) | (16 << 8)))

    # MSZIP cabinets with faults. The first file fills the first block exactly; the second
    # spans the second and third blocks, so a fault in the third comes after part of the second
    # file has been written.
    faulty = [Entry("first.txt", pattern(BLOCK, 1)), Entry("second.txt", pattern(40000, 2)),
              Entry("third.txt", b"never reached\r\n")]
    good = build(faulty, comp=COMP_MSZIP)
    write("mszip_three_files.cab", good)
    # A data byte changed after the block's checksum was taken.
    write("damaged_mszip_bad_checksum.cab",
          build(faulty, comp=COMP_MSZIP, corrupt_after_checksum=flip_in_third_block))
    write("damaged_mszip_bad_deflate.cab",
          build(faulty, comp=COMP_MSZIP, with_checksums=False, corrupt=flip_in_block(2, at=2)))
    write("truncated_mszip_in_third_block.cab", good[:len(good) - 200])
    write("truncated_header.cab", good[:20])
    write("bad_signature.cab", b"MSCX" + good[4:])
    write("empty_no_files.cab", build([]))

    # Names an installation must refuse (or see as one file): each cabinet holds a new
    # Tarvik.exe, then the name. The tool's own bookkeeping in the program folder, names that
    # Windows reads as a device or as another name, and names that spell one file twice.
    program = Entry("Tarvik.exe", b"MZ from the cabinet\r\n")
    for label, name in [("backup_program", b"Tarvik_Upg.bak\\3.0.2\\Tarvik.exe"),
                        ("backup_manifest", b"tarvik_upg.BAK\\3.0.2.lst"),
                        ("staging_journal", b".Tarvik_Upg.stage\\journal.txt"),
                        ("lock_file", b".TARVIK_UPG.LOCK"),
                        ("short_backup", b"TARVIK~1.BAK\\x"),
                        ("device_con", b"con.txt"),
                        ("device_com_superscript", "COM\u00b9".encode("utf-8")),
                        ("device_conin", b"Izvjestaji\\CONIN$"),
                        ("trailing_dot", b"Izvjestaji\\racun."),
                        ("trailing_blank", b"racun.rpt "),
                        ("less", b"a<b"), ("greater", b"a>b"), ("colon", b"a:b"),
                        ("quote", b"a\"b"), ("bar", b"a|b"), ("question", b"a?b"), ("star", b"a*b")]:
        write("name_%s.cab" % label, build([program, Entry(name, b"must never be written\r\n",
                                                          attribs=0x20 | 0x80)]))
    for label, names in [("dot_level", [b"Tarvik.exe", b".\\Tarvik.exe"]),
                         ("empty_level", [b"Izvjestaji\\racun.rpt", b"Izvjestaji\\\\racun.rpt"])]:
        write("twice_%s.cab" % label, build([Entry(n, b"copy %d\r\n" % i) for i, n in enumerate(names)]))

    # A file that cannot be unpacked because its folder cannot be made: a file of the
    # cabinet stands where the folder should be.
    write("unpack_file_where_folder.cab", build(
        [program] + [Entry(n, b"picture\r\n") for n in [b"Slike", b"Slike\\Pod\\logo.bmp"]]))

    # Reserved areas (as a signed cabinet has) and the names of a next cabinet of a set stand
    # between the header and the folders, and a reserved area inside each data block: the
    # folder and file records must still be found, and a wrong checksum still told.
    set_member = dict(comp=COMP_MSZIP, reserve=(20, 3, 5), next_cabinet=(b"Tn2.cab", b"disk 2"))
    write("reserve_and_next_cabinet.cab", build(faulty, **set_member))
    write("reserve_and_next_cabinet_bad_checksum.cab",
          build(faulty, corrupt_after_checksum=flip_in_third_block, **set_member))


if __name__ == "__main__":
    sys.exit(main())
