#!/usr/bin/env python3
"""Runs the Winsock CDDB suite under Wine against the test CDDB servers on 127.0.0.1.

Usage: cddb_win32_test.py wine-run suite. The servers' ports reach the suite as CDDB_<NAME>.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import cddb_server  # noqa: E402


def main():
    wine_run, suite = sys.argv[1], sys.argv[2]
    env = dict(os.environ)
    for name, port in cddb_server.start().items():
        env["CDDB_" + name.upper()] = str(port)
    try:
        return subprocess.run([wine_run, suite], env=env, timeout=300).returncode
    except subprocess.TimeoutExpired:
        print("cddb harness: suite did not finish in time", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
