#!/usr/bin/env python3
"""Writes two_records.lst: two 344-byte address-book records.

Record 0: a network entry with ordinary NUL-terminated texts and baud rate 0.
Record 1: an RS-232C entry on Com 3 with port 0 whose text fields are filled to the last byte
(no NUL anywhere), so readers must stop at the field widths.
"""
import struct
import sys


def record(kind, com, ip, mac, drive, use_server, port, baud, user, password, name, desc, folder):
    def text(value, width):
        raw = value.encode('latin-1')
        assert len(raw) <= width
        return raw + b'\0' * (width - len(raw))

    data = struct.pack('<BB4s6sBBii', kind, com, bytes(ip), bytes(mac), drive, use_server, port, baud)
    data += text(user, 17) + text(password, 17) + text(name, 32) + text(desc, 128) + text(folder, 128)
    assert len(data) == 344
    return data


def main(path):
    with open(path, 'wb') as f:
        f.write(record(0, 0, [192, 168, 0, 7], [0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E], 0, 1, 5401, 0,
                       'admin', '1234', 'Gate', 'Front gate camera', ''))
        f.write(record(1, 3, [0, 0, 0, 0], [0] * 6, 0, 0, 0, 38400,
                       'U' * 17, 'P' * 17, 'N' * 32, 'D' * 128, 'F' * 128))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'two_records.lst')
