#!/usr/bin/env python3
"""Runs the CD suite (wine-run, suite) with R: a "cdrom" drive holding Track01-05.cda and a local
CDDB server that knows the disc (CDDB_GOOD); everything is undone at the end."""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import cddb_server  # noqa: E402

WINESERVER = (shutil.which("wineserver-stable") or shutil.which("wineserver")
              or "/usr/lib/wine/wineserver")


def main():
    wine_run, suite = sys.argv[1], sys.argv[2]
    wine = lambda *args: subprocess.run([wine_run, *args], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
    prefix = os.environ.get("TAMBER_WINEPREFIX", "/var/tmp/tamber-wine")
    settle = lambda: subprocess.run([WINESERVER, "-w"], env=dict(os.environ, WINEPREFIX=prefix))
    wine("cmd", "/c", "exit")  # creates the prefix when it is new
    link = os.path.join(prefix, "dosdevices", "r:")
    disc = tempfile.mkdtemp(prefix="tamber-cd-")
    drives = "HKLM\\Software\\Wine\\Drives"
    try:
        for t in range(1, 6):  # the shell's track files: a 44-byte RIFF "CDDA" header each
            with open(os.path.join(disc, "Track%02d.cda" % t), "wb") as f:
                f.write(b"RIFF" + (36).to_bytes(4, "little") + b"CDDAfmt " + bytes(28))
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(disc, link)
        wine("reg", "add", drives, "/v", "r:", "/t", "REG_SZ", "/d", "cdrom", "/f")
        settle()
        env = dict(os.environ, TAMBER_CD_DRIVE="R:", CDDB_GOOD=str(cddb_server.start()["good"]))
        return subprocess.run([wine_run, suite], env=env).returncode
    finally:
        wine("reg", "delete", drives, "/v", "r:", "/f")
        if os.path.islink(link):
            os.remove(link)
        shutil.rmtree(disc, ignore_errors=True)
        settle()


if __name__ == "__main__":
    sys.exit(main())
