#!/usr/bin/env python3
"""Writes face N of a TrueType collection (.ttc, .otc) as a font file of its
own, its tables copied as they are: for converters that refuse collections.

    ttc_face.py COLLECTION N OUT
"""
import struct
import sys


def main():
    src, index, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    data = open(src, "rb").read()
    if data[:4] != b"ttcf":
        sys.exit(f"{src} is not a font collection")
    count = struct.unpack_from(">I", data, 8)[0]
    if not 0 <= index < count:
        sys.exit(f"{src} has {count} faces; {index} is not one of them")
    face = struct.unpack_from(">I", data, 12 + 4 * index)[0]
    version, tables = struct.unpack_from(">IH", data, face)
    records = [struct.unpack_from(">4sIII", data, face + 12 + 16 * i) for i in range(tables)]
    header = bytearray(data[face:face + 12])
    body = bytearray()
    offset = 12 + 16 * tables
    directory = bytearray()
    for tag, checksum, start, length in records:
        directory += struct.pack(">4sIII", tag, checksum, offset + len(body), length)
        body += data[start:start + length]
        body += b"\0" * (-len(body) % 4)
    with open(out, "wb") as f:
        f.write(header + directory + body)


if __name__ == "__main__":
    main()
