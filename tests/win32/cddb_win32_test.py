#!/usr/bin/env python3
"""Runs the Winsock CDDB suite (wine-run, suite) with the test servers' ports in CDDB_<NAME>."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import cddb_server  # noqa: E402

env = dict(os.environ, **{"CDDB_" + k.upper(): str(v) for k, v in cddb_server.start().items()})
sys.exit(subprocess.run(sys.argv[1:3], env=env, timeout=300).returncode)
