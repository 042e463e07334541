#!/usr/bin/env python3
"""Runs the AccurateRip suite with the database servers' ports in AR_<NAME>, serving the
worked-example disc's file (two pressings of three tracks, checksums 1 to 6)."""
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import accuraterip_server  # noqa: E402

root = tempfile.mkdtemp(prefix="tamber-ar-")
ids = (90000, 300001, 0x0c025803)
path = os.path.join(root, "accuraterip/0/9/f/dBAR-003-00015f90-000493e1-0c025803.bin")
os.makedirs(os.path.dirname(path))
with open(path, "wb") as f:
    for crcs in ((1, 2, 3), (4, 5, 6)):
        f.write(struct.pack("<BIII", 3, *ids) +
                b"".join(struct.pack("<BII", 2, crc, 0) for crc in crcs))
env = dict(os.environ, **{"AR_" + k.upper(): str(v)
                          for k, v in accuraterip_server.start(root).items()})
sys.exit(subprocess.run(sys.argv[1:], env=env, timeout=280).returncode)
