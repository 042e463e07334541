#!/usr/bin/env python3
"""Runs the engine suite with the CDDB servers' ports in CDDB_<NAME>, and WMA files and AAC and ALAC
files in M4A with ffmpeg's decodes in /tmp/tamber-platdec-wma (made here: Wine cannot read what a
host tool it ran wrote)."""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import cddb_server  # noqa: E402

DIR = "/tmp/tamber-platdec-wma"
CASES = [("wmav2", 2, 44100), ("wmav1", 1, 22050), ("wmav2", 1, 48000)]

os.makedirs(DIR, exist_ok=True)
if shutil.which("ffmpeg"):
    for codec, channels, rate in CASES:
        name = f"{DIR}/{codec}-{channels}-{rate}"
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                        f"sine=f=997:d=2:r={rate}", "-ac", str(channels), "-c:a", codec,
                        name + ".wma"], check=True)
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", name + ".wma",
                        "-c:a", "pcm_s16le", name + ".ref.wav"], check=True)
    # Two seconds of a chord with a slow sweep, stereo at 44100 Hz.
    chord = "aevalsrc=0.3*sin(2*PI*440*t)+0.2*sin(2*PI*(660+200*t)*t)|0.3*sin(2*PI*550*t):d=2:s=44100"
    for codec in ("aac", "alac"):
        name = f"{DIR}/{codec}"
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", chord,
                        "-c:a", codec, name + ".m4a"], check=True)
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", name + ".m4a",
                        "-c:a", "pcm_s16le", name + ".ref.wav"], check=True)
env = dict(os.environ, **{"CDDB_" + k.upper(): str(v) for k, v in cddb_server.start().items()})
sys.exit(subprocess.run(sys.argv[1:], env=env, timeout=580).returncode)
