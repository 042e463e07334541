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
