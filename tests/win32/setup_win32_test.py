#!/usr/bin/env python3
"""Checks the setup file's layout (tamber.exe, tamber.hlp, lame.exe, their sizes, byte sum and mode
word, 32-bit little-endian), then runs the setup suite in a fresh prefix with variants of it (whole,
cut short, short of payload, a payload byte changed, a large help file) in TAMBER_SETUP_VARIANTS."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

INSTALL_MODE = 0x0F0FF0F0


def setup_file(parts):
    sizes = struct.pack("<%dI" % len(parts), *(len(p) for p in parts))
    payload = b"".join(parts)
    return payload + sizes + struct.pack("<II", sum(payload) & 0xFFFFFFFF, INSTALL_MODE)


def main():
    wine_run, suite = sys.argv[1], sys.argv[2]
    build = os.path.dirname(os.path.dirname(os.path.abspath(suite)))
    read = lambda name: open(os.path.join(build, name), "rb").read()
    setup = read("tamber-setup.exe")
    parts = [read(name) for name in ("tamber.exe", "tamber.hlp", "lame.exe")]
    if setup != setup_file(parts):
        print("setup file layout differs from the one read here")
        return 1

    scratch = tempfile.mkdtemp(prefix="tamber-setup-")
    prefix = tempfile.mkdtemp(prefix="tamber-wine-setup-", dir="/var/tmp")
    try:
        lame = len(parts[0]) + len(parts[1])
        changed = bytearray(setup)
        changed[lame + 1000] ^= 0x01
        variants = {
            "tamber-setup.exe": setup,
            "cut-setup.exe": setup[:-3],
            "changed-setup.exe": bytes(changed),
            "short-setup.exe": setup[:lame + 1000] + setup[lame + 5096:],  # its trailer whole
            "big-setup.exe": setup_file([parts[0], bytes(range(256)) * (96 << 12), parts[2]]),
        }
        for name, data in variants.items():
            open(os.path.join(scratch, name), "wb").write(data)
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
