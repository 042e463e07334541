#!/usr/bin/env bash
# The golden run: every corpus input into every output format by the headless program, one
# file per run and once as a parallel batch; prints one line per output (status, messages and
# the output's SHA-256) so that two builds' runs can be compared with diff.
#   scripts/golden-run.sh [tamber] > run.txt
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
TAMBER=${1:-$ROOT/build/release/tamber}
WORK=$(mktemp -d /tmp/tamber-golden.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
IN="$WORK/in"
mkdir -p "$IN" "$WORK/home"
export TAMBER_HOME="$WORK/home"

# Inputs: the fuzz seeds of the file readers under their own extensions, and a few sounds.
take() {  # corpus folder, extension, how many
    local n=0
    for f in $(ls "$ROOT/fuzz/corpus/$1" | sort | head -n "$3"); do
        cp "$ROOT/fuzz/corpus/$1/$f" "$IN/$1-$n$2"
        n=$((n + 1))
    done
}
take wav_fuzz .wav 24
take aiff_fuzz .aiff 8
take au_fuzz .au 4
take caf_fuzz .caf 5
take dct_fuzz .dct 4
take gsm_fuzz .gsm 1
take mp3_fuzz .mp3 4
take sniff_fuzz .ogg 7
sox -R -D -n -r 44100 -c 2 -b 16 "$IN/chords.wav" synth 1 pl C3 pl E3 pl G3 vol 0.5 fade 0 -0 0.3
sox -R -D -n -r 22050 -c 1 -b 8 "$IN/melody-8bit.wav" synth 0.4 pl E4 : synth 0.4 pl A4 vol 0.6
sox -R -D -n -r 8000 -c 1 -b 16 "$IN/tone.aiff" synth 0.5 sine 440 vol 0.4
sox -R -D -n -r 11025 -c 1 -e u-law "$IN/tone-ulaw.au" synth 0.5 sine 300 vol 0.4

formats=(.wav .mp3 .au .aiff .gsm .vox .raw .ogg .flac .aac .m4a)
run() {  # label, output folder, arguments...
    local label=$1 out=$2
    shift 2
    mkdir -p "$out"
    local status
    "$TAMBER" -outfolder "$out" "$@" -convert >"$WORK/stdout" 2>"$WORK/stderr" </dev/null
    status=$?
    sed -e "s|$WORK|WORK|g" "$WORK/stderr" | grep -v '^tamber: \[' | tr '\n' '|' >"$WORK/said"
    echo "$label status=$status said=$(cat "$WORK/said")"
    for f in $(cd "$out" && find . -type f | sort); do
        # Ogg streams get a random serial number: their decoded samples are compared.
        if [[ $f == *.ogg ]]; then
            echo "$label   $f pcm $(oggdec -Q -R -o - "$out/$f" | sha256sum | cut -c1-16)"
        else
            echo "$label   $f $(sha256sum <"$out/$f" | cut -c1-16)"
        fi
    done
}
for fmt in "${formats[@]}"; do
    for f in $(cd "$IN" && ls | sort); do
        run "$fmt $f" "$WORK/out${fmt}-$f" -jobs 1 -format "$fmt" "$IN/$f"
    done
done
# The parallel batch over the inputs that convert, and once more over the outputs (questions
# answered No without a terminal).
good=("$IN/chords.wav" "$IN/melody-8bit.wav" "$IN/tone.aiff" "$IN/tone-ulaw.au")
for fmt in .wav .mp3 .flac; do
    run "batch$fmt" "$WORK/batch$fmt" -jobs 2 -format "$fmt" "${good[@]}"
    run "again$fmt" "$WORK/batch$fmt" -jobs 2 -format "$fmt" "${good[@]}"
done
