#!/usr/bin/env python3
"""Writes samples/Strandel.lst, the demo address book: a headerless run of 344-byte records."""
import struct
import sys
from pathlib import Path


def field(text: str, size: int) -> bytes:
    raw = text.encode("latin-1")[: size - 1]
    return raw + b"\0" * (size - len(raw))


def record(kind, serial_port, ip, port, baud, user, password, name, description, folder=""):
    r = struct.pack("<BB4s6sBBii", kind, serial_port, bytes(ip), bytes(6), 0, 0, port, baud)
    r += field(user, 17) + field(password, 17) + field(name, 32) + field(description, 128) + field(folder, 128)
    assert len(r) == 344
    return r


entries = [
    # The recorder simulator that ./strandel.sh run starts on loopback.
    record(0, 0, (127, 0, 0, 1), 5400, 9600, "", "", "Demo recorder (simulator)", "dvrsim on 127.0.0.1:5400"),
    # The demo recording, played by the recorded-file kind: naming the file opens its time
    # search beside it with the recording chosen.
    record(3, 0, (0, 0, 0, 0), 5400, 9600, "", "", "Demo recording", "demo.dvr beside the viewer", "demo.dvr"),
]

out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "samples" / "Strandel.lst"
out.write_bytes(b"".join(entries))
print(f"wrote {out} ({len(entries)} records)")
