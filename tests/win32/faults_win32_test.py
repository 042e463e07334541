#!/usr/bin/env python3
"""Runs tamber.exe under Wine with a file-size limit, as a full disk would stop it.

For each case (output kind; new file, replaced output or the file itself; the write failing at
the first byte, half-way or in the last KiB) tamber.exe "-hide ... -convert -exit" runs with
RLIMIT_FSIZE set (SIGXFSZ ignored, so write() fails with EFBIG) while the suite (wine-run,
suite) reads and closes its error box. Every file of the work folder must be byte-identical
afterwards and nothing may be left beside them.
"""
import hashlib
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import wave

CASES = [  # extension, settings, case, where the limit lies
    (".wav", [], "new", "middle"),
    (".wav", [], "same", "end"),
    (".au", [], "replace", "start"),
    (".gsm", [], "new", "end"),
    (".wav", ["-settings", ".wav", "ULAW", "8000", "1"], "replace", "middle"),
]


def win(path):
    return "Z:" + path.replace("/", "\\")


def files(root):
    out = {}
    for folder, _, names in os.walk(root):
        for n in names:
            with open(os.path.join(folder, n), "rb") as f:
                out[os.path.join(folder, n)] = hashlib.md5(f.read()).hexdigest()
    return out


def main():
    wine_run, suite = sys.argv[1], sys.argv[2]
    tamber = os.path.join(os.path.dirname(suite), "..", "tamber.exe")
    root = tempfile.mkdtemp(prefix="tamber-faults-")
    failures = 0

    def run(args, limit_kib=None, cwd=root):
        def limited():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit_kib * 1024,) * 2)
        return subprocess.Popen([wine_run, tamber, "-hide"] + args + ["-exit"], cwd=cwd,
                                preexec_fn=limited if limit_kib is not None else None)

    try:
        work = os.path.join(root, "w")
        for ext, settings, case, where in CASES:
            shutil.rmtree(work, ignore_errors=True)
            os.makedirs(os.path.join(work, "out"))
            os.makedirs(os.path.join(work, "ref"))
            src = os.path.join(work, "x.wav")
            with wave.open(src, "wb") as w:
                w.setnchannels(2), w.setsampwidth(2), w.setframerate(22050)
                w.writeframes(b"".join(struct.pack("<hh", (i * 37) % 20000 - 10000, i % 999)
                                       for i in range(66150)))
            assert run(["-overwrite", "ALWAYS"] + settings).wait(120) == 0
            ref = os.path.join(work, "ref")
            assert run(["-format", ext, "-outfolder", win(ref), win(src), "-convert"]).wait(120) == 0
            size = os.path.getsize(os.path.join(ref, "x" + ext))
            folder, target = os.path.join(work, "out"), src
            if case == "replace":
                with open(os.path.join(folder, "x" + ext), "wb") as f:
                    f.write(b"old output")
            if case == "same":
                folder, target = work, os.path.join(work, "x" + ext)
                shutil.copy(os.path.join(ref, "x" + ext), target)
            limit = {"start": 0, "middle": size // 2048, "end": (size - 1) // 1024}[where]
            before = files(work)
            tamber_run = run(["-format", ext, "-outfolder", win(folder), win(target), "-convert"],
                             limit)
            env = dict(os.environ, TAMBER_FAULT_MESSAGE="Conversion of the file")
            closer = subprocess.run([wine_run, suite], env=env, capture_output=True, text=True)
            tamber_run.wait(120)
            label = f"{ext} {' '.join(settings)} {case} {where} ({limit} KiB of {size} bytes)"
            after = files(work)
            if closer.returncode != 0 or after != before:
                failures += 1
                print(f"FAILED {label}\n{closer.stdout}\nbefore {before}\nafter  {after}")
            else:
                print(f"ok {label}")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
