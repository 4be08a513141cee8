#!/usr/bin/env python3
"""Writes the program's message table (the binary a MESSAGETABLE resource
holds), so the program can be its own event message file without a message
compiler. Every event id from 1 to the last one EventText.h names
(kHolvEventLast) has the text "%1": the program writes the whole sentence as
the event's one string, and the id alone tells the kind of event.

usage: make_messages.py OUTPUT_FILE EVENT_TEXT_HEADER
"""
import re
import struct
import sys


def entry(text):
    # ANSI entry: its length (header included, padded to four bytes), flags 0.
    data = text.encode("ascii") + b"\0"
    data += b"\0" * (-(len(data) + 4) % 4)
    return struct.pack("<HH", len(data) + 4, 0) + data


def table(last):
    # One block, ids 1..last; its entries follow the block array.
    entries = b"".join(entry("%1\r\n") for _ in range(last))
    header = struct.pack("<I", 1) + struct.pack("<III", 1, last, 4 + 12)
    return header + entries


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[2]) as f:
        last = re.search(r"kHolvEventLast = (\d+);", f.read())
    if not last:
        sys.exit("make_messages.py: no kHolvEventLast in " + sys.argv[2])
    with open(sys.argv[1], "wb") as f:
        f.write(table(int(last.group(1))))


if __name__ == "__main__":
    main()
