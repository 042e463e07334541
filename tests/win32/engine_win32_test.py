#!/usr/bin/env python3
"""Runs the engine suite with the CDDB servers' ports in CDDB_<NAME>, and WMA files and AAC and ALAC
files in M4A (and ALAC in CAF) with ffmpeg's decodes in /tmp/tamber-platdec-wma (made here: Wine cannot read what a
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
    for codec, ext in (("aac", ".m4a"), ("alac", ".m4a"), ("alac", ".caf")):
        name = f"{DIR}/{codec}"
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", chord,
                        "-c:a", codec, name + ext], check=True)
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", name + ".m4a",
                        "-c:a", "pcm_s16le", name + ".ref.wav"], check=True)
# An Ogg Opus file's two header pages followed by junk.
if shutil.which("opusenc"):
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "sine=f=300:d=1:r=48000", DIR + "/note.wav"], check=True)
    subprocess.run(["opusenc", "--quiet", DIR + "/note.wav", DIR + "/note.opus"], check=True)
    data, pages, at = open(DIR + "/note.opus", "rb").read(), [], 0
    while at < len(data):
        head = 27 + data[at + 26]
        end = at + head + sum(data[at + 27:at + head])
        pages.append(data[at:end])
        at = end
    junk = bytes((i * 2654435761 >> 13) & 0xFF for i in range(30000))
    open(DIR + "/oggjunk.opus", "wb").write(pages[0] + pages[1] + junk)
env = dict(os.environ, **{"CDDB_" + k.upper(): str(v) for k, v in cddb_server.start().items()})
sys.exit(subprocess.run(sys.argv[1:], env=env, timeout=580).returncode)
