#!/usr/bin/env python3
"""Runs the install-on-demand suite (wine-run, suite) against local FTP servers (ports in FTP_*):
good, refuse (no anonymous), nosize (no SIZE), slow (16 KB/s), dead (nothing listens); the
installers are the stand-in's copies, a changed one and an endless one, and the build's own
component installers (components/ in the build tree)."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def server(root, anonymous=True, cls=FTPHandler, **attrs):
    auth = DummyAuthorizer()
    if anonymous:
        auth.add_anonymous(root, perm="elr")
    else:
        auth.add_user("someone", "secret", root, perm="elr")
    handler = type("Handler", (cls,), dict(authorizer=auth, banner="test server", **attrs))
    return FTPServer(("127.0.0.1", 0), handler)


def main():
    wine_run, suite = sys.argv[1], sys.argv[2]
    root = tempfile.mkdtemp(prefix="tamber-ftp-")
    try:
        folder = os.path.join(root, "components")
        os.makedirs(folder)
        installer = os.path.join(os.path.dirname(suite), "standin_codec.exe")
        for name in ("ftpfirst", "ftpsecond", "ftpnosize", "ftpslow", "hangcomp"):
            shutil.copy(installer, os.path.join(folder, name + ".exe"))
        built = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(suite))),
                             "components")
        for name in os.listdir(built):
            shutil.copy(os.path.join(built, name), os.path.join(folder, name))
        # Not the published file: one byte of its DOS stub changed; the file and then endless.
        wrong = bytearray(open(installer, "rb").read())
        wrong[0x50] ^= 0x01
        open(os.path.join(folder, "ftpwrong.exe"), "wb").write(wrong)
        with open(os.path.join(folder, "ftpendless.exe"), "wb") as endless:
            endless.write(open(installer, "rb").read())
            endless.truncate(1 << 30)  # sparse: no disk is used

        slow_dtp = type("SlowDTP", (ThrottledDTPHandler,), dict(write_limit=16384))
        no_size = {k: v for k, v in FTPHandler.proto_cmds.items() if k != "SIZE"}
        servers = {"GOOD": server(root), "REFUSE": server(root, anonymous=False),
                   "NOSIZE": server(root, proto_cmds=no_size),
                   "SLOW": server(root, dtp_handler=slow_dtp)}
        env = dict(os.environ, **{"FTP_" + k: str(s.address[1]) for k, s in servers.items()})
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            env["FTP_DEAD"] = str(s.getsockname()[1])

        proc = subprocess.Popen([wine_run, suite], env=env)
        any_server = next(iter(servers.values()))
        while proc.poll() is None:  # ctest's time limit ends a suite that hangs
            # All servers share one I/O loop; serve it in short, bounded steps.
            any_server.serve_forever(timeout=0.05, blocking=False)
        for srv in servers.values():
            srv.close_all()
        return proc.wait()
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
