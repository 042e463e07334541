#!/usr/bin/env python3
"""Writes the installer of one component: the installer program, the component's executable and
the trailer that external/win32/installer/componentpayload.h describes (name padded to 32 bytes,
the executable's size as 32-bit little-endian, the magic text).

Usage: pack-component.py <installer program> <component executable> <name> <output>"""
import os
import struct
import sys

NAME_BYTES = 32
MAGIC = b"TamberComponent1"


def main():
    installer, program, name, out = sys.argv[1:5]
    if not name.isalnum() or not name.isascii() or len(name) > NAME_BYTES:
        sys.exit(f"pack-component: unusable component name {name!r}")
    body = open(program, "rb").read()
    trailer = name.encode().ljust(NAME_BYTES, b"\0") + struct.pack("<I", len(body)) + MAGIC
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with open(out + ".new", "wb") as f:
        f.write(open(installer, "rb").read())
        f.write(body)
        f.write(trailer)
    os.replace(out + ".new", out)


if __name__ == "__main__":
    main()
