#!/usr/bin/env bash
# The main job: set up, build the release front end, make a small sample batch (speech and
# music in several formats) and convert it with tamber; prints where the outputs are.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
scripts/setup.sh
scripts/build.sh release tamber
TAMBER="$ROOT/build/release/tamber"

JOB="$ROOT/build/main-job"
rm -rf "$JOB"
mkdir -p "$JOB/samples" "$JOB/home"
S="$JOB/samples"
# Settings, user data and temporary files of this run stay inside the job folder.
export TAMBER_HOME="$JOB/home"

# Speech: espeak-ng when present, else a synthetic vowel-like sound.
if command -v espeak-ng >/dev/null; then
    espeak-ng -w "$S/speech.wav" "Tamber converts audio files one after another. This is a short sample of speech." 2>/dev/null
else
    sox -n -r 22050 -c 1 -b 16 "$S/speech.wav" synth 3 sawtooth 120 lowpass 900 tremolo 4 80 vol 0.5
fi
# Music-like tones: a chord progression in stereo, and a plucked melody.
sox -n -r 44100 -c 2 -b 16 "$S/chords.wav" synth 1 pl C3 pl E3 pl G3 pl C4 : synth 1 pl F3 pl A3 pl C4 pl F4 : synth 1 pl G3 pl B3 pl D4 pl G4 vol 0.5 fade 0 -0 0.3
sox -n -r 22050 -c 1 -b 8 "$S/melody-8bit.wav" synth 0.4 pl E4 : synth 0.4 pl G4 : synth 0.4 pl A4 : synth 0.8 pl B4 vol 0.6
sox "$S/chords.wav" "$S/chords-aiff.aiff"
sox "$S/speech.wav" "$S/speech-au.au"
if command -v lame >/dev/null; then
    lame --quiet -b 128 --tt "Chords" --ta "Tamber samples" "$S/chords.wav" "$S/chords-tagged.mp3"
fi
echo "main-job: samples in $S:"
ls -l "$S"

# 1. Everything to 16-bit WAV at the source's rate and channels.
rm -f "$TAMBER_HOME/data/WavCodec.wff"
"$TAMBER" -overwrite ALWAYS -format .wav -outfolder "$JOB/out-wav" "$S"/* -convert

# 2. Everything to 8000 Hz mono µ-law WAV (telephone quality) through the WAV format file.
"$TAMBER" -settings .wav ULAW 8000 1 -format .wav -outfolder "$JOB/out-ulaw" "$S"/* -convert
rm -f "$TAMBER_HOME/data/WavCodec.wff"

# 3. MP3 when an MP3 encoder is installed, else AIFF.
if command -v lame >/dev/null; then
    "$TAMBER" -settings .mp3 CBR 160 true joint false -format .mp3 -outfolder "$JOB/out-mp3" "$S"/*.wav -convert
    outputs="$JOB/out-mp3"
else
    "$TAMBER" -format .aiff -outfolder "$JOB/out-aiff" "$S"/*.wav -convert
    outputs="$JOB/out-aiff"
fi

echo
echo "main-job: converted the sample batch; outputs are in:"
for d in "$JOB/out-wav" "$JOB/out-ulaw" "$outputs"; do
    echo "  $d"
    ls -l "$d" | sed 's/^/    /'
done

# ---------------------------------------------------------------------------------------------
# Windows application: the real tamber.exe under Wine converts the sample batch through the
# forwarded command line, and a screenshot of its main window holding the batch is saved next
# to the outputs. Runs under Xvfb when there is no display.
# ---------------------------------------------------------------------------------------------
gui_batch=$S
gui_out=$JOB/out-gui
mkdir -p "$gui_out"
# The 32-bit product where this kernel runs 32-bit programs, else its x86-64 build under the
# 64-bit loader; the 32-bit product and its setup file are built either way.
scripts/build.sh win32 tamber setupfile
wine_build=$(scripts/wine-build)
export TAMBER_WINE_ARCH=$wine_build
[[ $wine_build == win64 ]] && scripts/build.sh win64 tamber
echo "main-job: the Windows program runs as the $wine_build build"
export TAMBER_WINEPREFIX=${TAMBER_WINEPREFIX:-/var/tmp/tamber-wine-mainjob-$wine_build}
export WINEPREFIX=$TAMBER_WINEPREFIX
gui_xvfb_pid=
if [[ -z "${DISPLAY:-}" ]]; then
    for n in $(seq 90 120); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1024x768x24 >/dev/null 2>&1 &
        gui_xvfb_pid=$!
        export DISPLAY=":$n"
        sleep 1
        break
    done
fi
scripts/wine-run wineboot -i >/dev/null 2>&1 || true
# Dialog fonts and caption glyphs as Windows shows them; Wine draws its own window frames.
for f in tahoma.ttf tahomabd.ttf marlett.ttf; do
    [[ -f /usr/share/wine/fonts/$f ]] && cp -n "/usr/share/wine/fonts/$f" "$WINEPREFIX/drive_c/windows/Fonts/" || true
done
scripts/wine-run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
scripts/wine-run reg add 'HKLM\Software\Velmora\Tamber\Settings' /v AlwaysOverwrite /d 1 /f >/dev/null 2>&1
scripts/wine-run reg add 'HKLM\Software\Velmora\Tamber\Settings' /v AlwaysPrompt /d 0 /f >/dev/null 2>&1
winpath() { echo "Z:${1//\//\\}"; }
gui_args=(-clear -format .wav -outfolder "$(winpath "$gui_out")")
for f in "$gui_batch"/*; do gui_args+=("$(winpath "$f")"); done
gui_args+=(-convert)
# The first start has no instance to talk to: it starts one, forwards the arguments and waits
# until that instance has run the whole command line, conversion included.
timeout 300 scripts/wine-run "build/$wine_build/tamber.exe" "${gui_args[@]}"
sleep 1
import -window root "$gui_out/tamber-main-window.png"
timeout 60 scripts/wine-run "build/$wine_build/tamber.exe" -exit || true
wineserver -w 2>/dev/null || true
[[ -n "$gui_xvfb_pid" ]] && kill "$gui_xvfb_pid" 2>/dev/null
echo "main-job: tamber.exe ($wine_build build) under Wine wrote $(ls "$gui_out"/*.wav 2>/dev/null | wc -l) file(s) to $gui_out"
echo "main-job: main window screenshot $gui_out/tamber-main-window.png"
echo "main-job: the Windows setup file (tamber.exe, tamber.hlp, lame.exe) is $ROOT/build/win32/tamber-setup.exe"
