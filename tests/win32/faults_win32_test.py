#!/usr/bin/env python3
"""tamber.exe "-hide ... -convert -exit" under a file-size limit (EFBIG) per case: output kind,
new/replaced/same file, limit at the start, middle or end; or with an encoder that fails. The
suite (wine-run, suite) closes the error box; the work folder must be byte-identical afterwards."""
import hashlib, os, resource, shutil, signal, struct, subprocess, sys, tempfile, wave

PCM = ["-settings", ".wav", "PCM", "22050", "2"]  # the WAV format is kept in the prefix
CASES = [(".wav", PCM, "new", "middle"), (".wav", PCM, "same", "end"),
         (".au", [], "replace", "start"), (".mp3", [], "new", "encoder")]


def files(root):
    return {os.path.join(d, n): hashlib.md5(open(os.path.join(d, n), "rb").read()).hexdigest()
            for d, _, names in os.walk(root) for n in names}


def main():
    wine_run, suite = sys.argv[1], sys.argv[2]
    tamber = os.path.join(os.path.dirname(suite), "..", "tamber.exe")
    work = tempfile.mkdtemp(prefix="tamber-faults-")
    win = lambda path: "Z:" + path.replace("/", "\\")

    def run(args, limit_kib=None, env=None):
        def limited():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit_kib * 1024,) * 2)
        return subprocess.Popen([wine_run, tamber, "-hide"] + args + ["-exit"], env=env,
                                preexec_fn=None if limit_kib is None else limited)

    # The MP3 encoder: the stand-in, which fails at once with STANDIN_MODE=exit.
    tools = tempfile.mkdtemp(prefix="tamber-faults-tools-")
    lame = shutil.copy(os.path.join(os.path.dirname(suite), "standin_codec.exe"),
                       os.path.join(tools, "lame.exe"))
    subprocess.run([wine_run, "reg", "add", r"HKLM\Software\Velmora\Components\mp3el", "/v",
                    "Path", "/t", "REG_SZ", "/d", win(lame), "/f"], capture_output=True, check=True)

    failures = 0
    try:
        for ext, settings, case, where in CASES:
            shutil.rmtree(work)
            os.makedirs(os.path.join(work, "out"))
            os.makedirs(os.path.join(work, "ref"))
            src = os.path.join(work, "x.wav")
            with wave.open(src, "wb") as w:
                w.setnchannels(2), w.setsampwidth(2), w.setframerate(22050)
                w.writeframes(b"".join(struct.pack("<hh", i * 37 % 20000 - 10000, i % 999)
                                       for i in range(66150)))
            assert run(["-overwrite", "ALWAYS"] + settings).wait(120) == 0
            ref = os.path.join(work, "ref", "x" + ext)
            if where == "encoder":
                shutil.copy(src, ref)  # no reference run: the size is not needed
            else:
                assert run(["-format", ext, "-outfolder", win(os.path.dirname(ref)), win(src),
                            "-convert"]).wait(120) == 0
            size = os.path.getsize(ref)
            folder, target = os.path.join(work, "out"), src
            if case == "replace":
                open(os.path.join(folder, "x" + ext), "wb").write(b"old output")
            if case == "same":
                folder, target = work, shutil.copy(ref, os.path.join(work, "x" + ext))
            limit = {"start": 0, "middle": size // 2048, "end": (size - 1) // 1024,
                     "encoder": None}[where]
            before = files(work)
            faulty = run(["-format", ext, "-outfolder", win(folder), win(target), "-convert"], limit,
                         dict(os.environ, STANDIN_MODE="exit"))
            env = dict(os.environ, TAMBER_FAULT_MESSAGE="Conversion of the file",
                       TAMBER_FAULT_FOLDER=win(folder))
            box = subprocess.run([wine_run, suite], env=env, capture_output=True, text=True)
            faulty.wait(120)
            label = f"{ext} {' '.join(settings)} {case} {where} ({limit} KiB of {size} bytes)"
            ok = box.returncode == 0 and files(work) == before
            failures += not ok
            print(("ok " if ok else "FAILED ") + label + ("" if ok else "\n" + box.stdout))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(tools, ignore_errors=True)
        subprocess.run([wine_run, "reg", "delete", r"HKLM\Software\Velmora\Components\mp3el",
                        "/f"], capture_output=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
