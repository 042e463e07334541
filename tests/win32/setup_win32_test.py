#!/usr/bin/env python3
"""Reads the setup file's layout independently, then runs the setup suite in a fresh Wine prefix.

The setup file must be tamber.exe, tamber.hlp and lame.exe of the build, then their sizes, the
sum of their bytes and the install mode word (32-bit little-endian each). The suite gets, in
TAMBER_SETUP_VARIANTS, copies of it: whole, cut short,
with one payload byte changed, and one with a large help file to cancel during extraction.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

NAMES = ("tamber.exe", "tamber.hlp", "lame.exe")
INSTALL_MODE = 0x0F0FF0F0


def trailer(parts):
    sizes = struct.pack("<%dI" % len(parts), *(len(p) for p in parts))
    return sizes + struct.pack("<II", sum(sum(p) for p in parts) & 0xFFFFFFFF, INSTALL_MODE)


def main():
    wine_run, suite = sys.argv[1], sys.argv[2]
    build = os.path.dirname(os.path.dirname(os.path.abspath(suite)))
    with open(os.path.join(build, "tamber-setup.exe"), "rb") as f:
        setup = f.read()
    parts = []
    for name in NAMES:
        with open(os.path.join(build, name), "rb") as f:
            parts.append(f.read())
    n = len(parts)
    sizes = struct.unpack_from("<%dI" % n, setup, len(setup) - 4 * (n + 2))
    checksum, mode = struct.unpack_from("<II", setup, len(setup) - 8)
    payload = b"".join(parts)
    problems = []
    if sizes != tuple(len(p) for p in parts):
        problems.append("sizes %s, files %s" % (sizes, [len(p) for p in parts]))
    if setup[: len(payload)] != payload or len(setup) != len(payload) + 4 * (n + 2):
        problems.append("payload differs from the files")
    if checksum != sum(payload) & 0xFFFFFFFF:
        problems.append("checksum %08x, bytes sum to %08x" % (checksum, sum(payload) & 0xFFFFFFFF))
    if mode != INSTALL_MODE:
        problems.append("mode word %08x" % mode)
    if problems:
        print("setup file layout:", "; ".join(problems))
        return 1
    print("setup file layout: %d files, sizes %s, checksum %08x, mode %08x" % (n, sizes, checksum, mode))

    scratch = tempfile.mkdtemp(prefix="tamber-setup-")
    prefix = tempfile.mkdtemp(prefix="tamber-wine-setup-", dir="/var/tmp")
    try:
        changed = bytearray(setup)
        changed[len(parts[0]) + len(parts[1]) + 1000] ^= 0x01
        big = [parts[0], bytes(range(256)) * (96 << 12), parts[2]]
        variants = {
            "tamber-setup.exe": setup,
            "cut-setup.exe": setup[:-3],
            "changed-setup.exe": bytes(changed),
            "big-setup.exe": b"".join(big) + trailer(big),
        }
        for name, data in variants.items():
            with open(os.path.join(scratch, name), "wb") as f:
                f.write(data)
        env = dict(os.environ, TAMBER_WINEPREFIX=prefix,
                   TAMBER_SETUP_VARIANTS="Z:" + scratch.replace("/", "\\"))
        return subprocess.call([wine_run, suite] + sys.argv[3:], env=env)
    finally:
        subprocess.call(["env", "WINEPREFIX=" + prefix, "wineserver", "-k"],
                        stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix, ignore_errors=True)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
