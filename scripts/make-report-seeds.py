#!/usr/bin/env python3
"""Writes the seed corpora of the report fuzz targets (tests/report/corpus/<target>/).

The saved report files and the splay-tree code are made here independently of the C++ code,
so the tests that load these seeds also check that both sides agree on the layout and the code.
Usage: scripts/make-report-seeds.py
"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'report', 'corpus')


class Splay:
    def __init__(self):
        self.up = [0] + [(i - 1) // 2 for i in range(1, 513)]
        self.left = [2 * i + 1 for i in range(256)]
        self.right = [2 * i + 2 for i in range(256)]

    def splay(self, b):
        a = b + 256
        while True:
            c = self.up[a]
            if c == 0:
                a = 0
            else:
                d = self.up[c]
                s = self.left[d]
                if c == s:
                    s = self.right[d]
                    self.right[d] = a
                else:
                    self.left[d] = a
                if self.left[c] == a:
                    self.left[c] = s
                else:
                    self.right[c] = s
                self.up[a] = d
                self.up[s] = c
                a = d
            if a == 0:
                break


def compress(data):
    t = Splay()
    out, byte, pos = bytearray(), 0, 0
    for b in data:
        bits, a = [], b + 256
        while a != 0:
            u = t.up[a]
            bits.append(1 if t.right[u] == a else 0)
            a = u
        for bit in reversed(bits):
            if bit:
                byte |= 1 << pos
            if pos == 7:
                out.append(byte)
                byte, pos = 0, 0
            else:
                pos += 1
        t.splay(b)
    if pos:
        out.append(byte)
    return bytes(out)


def record(rtype, payload):
    return struct.pack('<HHI', rtype, 0, 8 + len(payload)) + payload


def rect(l, t, r, b):
    return struct.pack('<4i', l, t, r, b)


def text16(s):
    return struct.pack('<I', len(s)) + s.encode('utf-16-le')


def metafile(caption, width=794, height=1123):
    recs = [
        record(2, struct.pack('<IB', 0xffffffff, 0)),                       # white solid brush
        record(5, rect(0, 0, width, height)),                               # fill the page
        record(1, struct.pack('<IiB', 0xff000000, 1, 0)),                   # black pen
        record(4, rect(40, 40, 300, 120)),                                  # a framed box
        record(3, struct.pack('<IiHB', 0xff000000, 16, 700, 0) + text16('Arial')),
        record(9, rect(50, 50, 290, 110) + struct.pack('<I', 2 | 8) + text16(caption)),
        record(8, struct.pack('<4i', 40, 130, 750, 130)),                   # a rule
    ]
    body = b''.join(recs)
    head = b'SPMF' + struct.pack('<HHIiiiiI', 1, 32, 32 + len(body), width, height, 96, 96, len(recs))
    return head + body


def links_blob(links):
    out = struct.pack('<I', len(links))
    for (l, t, r, b), link in links:
        raw = link.encode('utf-8')
        out += rect(l, t, r, b) + struct.pack('<I', len(raw)) + raw
    return out


def report(pages, compressed=False, links=None):
    header = bytearray(128)
    struct.pack_into('<HHi', header, 0, 0x5053, 403, 0)
    struct.pack_into('<i', header, 8, len(pages))
    struct.pack_into('<d', header, 16, 46000.5)
    header[25] = 1 if compressed else 0
    out = bytearray(header)
    for n, mf in enumerate(pages, 1):
        body = struct.pack('<I', len(mf)) + compress(mf) if compressed else mf
        if links is not None:
            body += links_blob(links.get(n, []))
        start = len(out)
        out += struct.pack('<iI', n, start + 8 + len(body) + 4) + body + struct.pack('<I', start)
    return bytes(out)


def old_header_file():
    # Format 3 with the 124-byte header and a page that looks like a Windows metafile.
    header = bytearray(124)
    struct.pack_into('<HHi', header, 0, 3, 403, 0)
    struct.pack_into('<i', header, 8, 1)
    emf = bytearray(100)
    emf[40:44] = b' EMF'
    start = 124
    return bytes(header) + struct.pack('<iI', 1, start + 8 + len(emf) + 4) + bytes(emf) + struct.pack('<I', start)


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def main():
    assert compress(b'\x00') == b'\x80'
    assert compress(b'abc') == bytes([0x46, 0x3D, 0x01])
    pages = [metafile('Page %d' % n) for n in (1, 2, 3)]
    write('report_file_fuzz', 'empty.Pgx', report([]))
    write('report_file_fuzz', 'three_pages.Pgx', report(pages))
    write('report_file_fuzz', 'compressed_links.Pgx',
          report(pages[:2], compressed=True, links={1: [((40, 40, 300, 120), 'EXT:https://example.com/')]}))
    write('report_file_fuzz', 'old_header.Pgx', old_header_file())
    write('metafile_replay_fuzz', 'page', pages[0])
    nested_body = record(13, rect(10, 10, 100, 60) + pages[1])
    write('metafile_replay_fuzz', 'nested',
          b'SPMF' + struct.pack('<HHIiiiiI', 1, 32, 32 + len(nested_body), 200, 100, 96, 96, 1) + nested_body)
    pixels = b''.join(struct.pack('<I', 0xff000000 | (x * 40) << 8 | y * 60) for y in range(3) for x in range(4))
    image_body = record(12, rect(0, 0, 40, 30) + struct.pack('<II', 4, 3) + pixels) + record(11, b'') \
        + record(10, rect(5, 5, 20, 20)) + record(6, rect(0, 0, 30, 30)) + record(7, rect(1, 1, 9, 9) + struct.pack('<ii', 4, 4))
    write('metafile_replay_fuzz', 'image_clip',
          b'SPMF' + struct.pack('<HHIiiiiI', 1, 32, 32 + len(image_body), 40, 30, 96, 96, 5) + image_body)
    for name, data in (('abc', b'abc'), ('page', pages[0]), ('run', b'x' * 300)):
        write('splay_expand_fuzz', name, struct.pack('<H', len(data)) + compress(data))


if __name__ == '__main__':
    main()
