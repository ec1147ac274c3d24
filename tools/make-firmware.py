#!/usr/bin/env python3
"""Writes the stand-in for the built-in KOV-1 rev7 firmware image.

We do not ship the maker's firmware, so the tool carries a generated image
of the same shape: an Intel HEX text file with CR LF line ends, 16-byte data
records, extended linear address records where the data crosses a 64 KiB
boundary, a small version block at the end of flash, and the end-of-file
record. The bytes are pseudo-random but fixed, so every run writes the same
file, and its size is exactly that of the original image (161,302 bytes).

usage: make-firmware.py [OUTPUT]   (default: standard output)
"""
import hashlib
import sys

TARGET_SIZE = 161302
CODE_BASE = 0x08008000       # application area, after the boot loader
VERSION_BASE = 0x0803FF00    # version block near the end of flash
VERSION_TEXT = b"KOV-1 rev7 1.7.0"
RECORD_BYTES = 16


def record(rtype, address, payload):
    body = bytes([len(payload), (address >> 8) & 0xFF, address & 0xFF, rtype]) + payload
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes([checksum])).hex().upper() + "\r\n"


def code_bytes(length):
    out = bytearray()
    counter = 0
    while len(out) < length:
        out += hashlib.sha256(b"kov-1 rev7 stand-in %d" % counter).digest()
        counter += 1
    return bytes(out[:length])


def section(base, payload, upper):
    """Data records for payload at base; returns (lines, current upper 16 bits)."""
    lines = []
    offset = 0
    while offset < len(payload):
        address = base + offset
        if address >> 16 != upper:
            upper = address >> 16
            lines.append(record(4, 0, upper.to_bytes(2, "big")))
        room = 0x10000 - (address & 0xFFFF)
        n = min(RECORD_BYTES, len(payload) - offset, room)
        lines.append(record(0, address & 0xFFFF, payload[offset:offset + n]))
        offset += n
    return lines, upper


def image(code_length, pad_length):
    lines, upper = section(CODE_BASE, code_bytes(code_length), None)
    version = VERSION_TEXT + b"\0" * pad_length
    more, upper = section(VERSION_BASE, version, upper)
    lines += more
    lines.append(":00000001FF\r\n")
    return "".join(lines)


def main():
    # The code length fixes the size to within a record; the zero padding of
    # the version block makes up the rest. A 16-byte record takes 45
    # characters, so start a little below the estimate.
    estimate = TARGET_SIZE * RECORD_BYTES // 45
    for code_length in range(estimate - 64, estimate + 64):
        for pad_length in range(0, 17):
            text = image(code_length, pad_length)
            if len(text) == TARGET_SIZE:
                data = text.encode("ascii")
                if len(sys.argv) > 1:
                    with open(sys.argv[1], "wb") as f:
                        f.write(data)
                else:
                    sys.stdout.buffer.write(data)
                return 0
    sys.stderr.write("no arrangement of records gives %d bytes\n" % TARGET_SIZE)
    return 1


if __name__ == "__main__":
    sys.exit(main())
