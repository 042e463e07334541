#!/usr/bin/env python3
"""Runs the platform decoder suite under Wine with WMA files and ffmpeg's decodes made first.

Wine does not finish rendering a file that a host tool started from inside Wine has just
written, so the files are made here: /tmp/tamber-platdec-wma/<name>.wma and <name>.ref.wav.
"""
import os
import shutil
import subprocess
import sys

DIR = "/tmp/tamber-platdec-wma"
CASES = [("wmav2", 2, 44100), ("wmav1", 1, 22050), ("wmav2", 1, 48000)]

shutil.rmtree(DIR, ignore_errors=True)
os.makedirs(DIR)
if shutil.which("ffmpeg"):
    for codec, channels, rate in CASES:
        name = f"{DIR}/{codec}-{channels}-{rate}"
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                        f"sine=f=997:d=2:r={rate}", "-ac", str(channels), "-c:a", codec,
                        name + ".wma"], check=True)
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", name + ".wma",
                        "-c:a", "pcm_s16le", name + ".ref.wav"], check=True)
sys.exit(subprocess.run(sys.argv[1:], timeout=300).returncode)
