#!/usr/bin/env python3
"""Pins the two build times that chmcmd writes into a .chm, so that the same
sources give the same bytes:

  pin_chm_time.py FILE.chm

With SOURCE_DATE_EPOCH set (seconds since 1970, as reproducible builds use
it) both times become the milliseconds of that day (UTC), the unit chmcmd
writes; without it the file is left alone. The two places:
  * the ITSF header, offset 0x10, big-endian;
  * the #SYSTEM file's record 10, little-endian.
#SYSTEM is found through the archive's directory (PMGL listing chunks);
nothing else in the file depends on these bytes, so no checksum changes.
"""
import os
import struct
import sys


class ChmError(Exception):
    pass


def read_encint(data, pos):
    """A CHM variable-length integer: 7 bits a byte, high bit 'more follows',
    most significant group first."""
    value = 0
    while True:
        if pos >= len(data):
            raise ChmError("directory entry runs past its chunk")
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos


def directory_entries(data):
    """(name, section, offset, length) of every file in the directory."""
    dir_offset, dir_length = struct.unpack_from("<QQ", data, 0x48)
    itsp = data[dir_offset:dir_offset + dir_length]
    if itsp[:4] != b"ITSP":
        raise ChmError("no ITSP directory header")
    header_length, = struct.unpack_from("<I", itsp, 0x08)
    chunk_size, = struct.unpack_from("<I", itsp, 0x10)
    chunk_count, = struct.unpack_from("<I", itsp, 0x2C)
    for n in range(chunk_count):
        chunk = itsp[header_length + n * chunk_size:header_length + (n + 1) * chunk_size]
        if chunk[:4] != b"PMGL":
            continue  # index chunks (PMGI) repeat names only
        free, = struct.unpack_from("<I", chunk, 4)
        pos, end = 20, chunk_size - free
        while pos < end:
            name_length, pos = read_encint(chunk, pos)
            name = chunk[pos:pos + name_length].decode("utf-8")
            pos += name_length
            section, pos = read_encint(chunk, pos)
            offset, pos = read_encint(chunk, pos)
            length, pos = read_encint(chunk, pos)
            yield name, section, offset, length


def pin(data, stamp):
    if data[:4] != b"ITSF":
        raise ChmError("not a CHM file (no ITSF header)")
    version, = struct.unpack_from("<I", data, 4)
    if version != 3:
        raise ChmError("ITSF version %d; only 3 is known" % version)
    struct.pack_into(">I", data, 0x10, stamp)
    content0, = struct.unpack_from("<Q", data, 0x58)
    for name, section, offset, length in directory_entries(data):
        if name != "/#SYSTEM":
            continue
        if section != 0:
            raise ChmError("#SYSTEM is compressed")
        pos, end = content0 + offset + 4, content0 + offset + length  # after its version
        while pos + 4 <= end:
            code, size = struct.unpack_from("<HH", data, pos)
            if code == 10 and size >= 4:
                struct.pack_into("<I", data, pos + 4, stamp)
                return
            pos += 4 + size
        raise ChmError("#SYSTEM has no time record")
    raise ChmError("no #SYSTEM file")


def main():
    if len(sys.argv) != 2:
        print("usage: pin_chm_time.py FILE.chm", file=sys.stderr)
        return 2
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        return 0
    stamp = (int(epoch) % 86400) * 1000
    with open(sys.argv[1], "rb") as f:
        data = bytearray(f.read())
    try:
        pin(data, stamp)
    except (ChmError, struct.error, UnicodeDecodeError) as e:
        print("pin_chm_time: %s: %s" % (sys.argv[1], e), file=sys.stderr)
        return 1
    with open(sys.argv[1], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
