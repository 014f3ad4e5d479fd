#!/usr/bin/env bash
# Writes the spoken cue set: each cue's tone pattern from tones/ (so a cue still sounds
# the way the owner learnt it), a short pause, then a short phrase naming the step, so
# that an owner who cannot look at the screen hears what the program is doing. Cue 5
# (the tick while a position is awaited, every 30 s) and cue 9 (the alarm) stay tones
# only: a phrase would make the tick a chatter and soften the alarm.
#
# The voice is espeak-ng's British English at a fixed speed and pitch, resampled by sox
# without dither, so the script writes the same bytes on every run with Debian 12's
# espeak-ng and sox. Files are 16-bit mono at 16 kHz: plenty for speech, 30 to 90 KB each.
# The speech peaks at -3 dBFS, below the alarm, which stays the loudest cue.
#
# Usage: resources/sounds/make_spoken.sh [output folder]   (default: spoken/ beside this
# script). Needs espeak-ng and sox (apt install espeak-ng sox).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/spoken}
tones=$here/tones

voice=en-gb     # espeak-ng's default English voice
speed=150       # words per minute: espeak-ng's default of 175 is hurried for a warning
pitch=45        # 0..99
rate=16000      # samples per second of the written files
pause=0.15      # seconds between the tones and the phrase
peak=-3         # dBFS of the loudest speech sample

declare -A phrase=(
  [1]="Ready"
  [2]="Searching for the GPS receiver"
  [3]="Connecting to the GPS receiver"
  [4]="GPS receiver found"
  [6]="Position found"
  [7]="Sending the alert"
  [8]="Alert sent"
  [11]="Emergency procedure starting"
  [111]="Goodbye"
)

for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "make_spoken.sh: $tool is missing (apt install $tool)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

for n in 5 9; do cp "$tones/$n.wav" "$out/$n.wav"; done

for n in "${!phrase[@]}"; do
  espeak-ng -v "$voice" -s "$speed" -p "$pitch" -w "$work/speech.wav" "${phrase[$n]}"
  # -D: no dither, which would add random noise and change the bytes on every run.
  sox -D "$tones/$n.wav" -r "$rate" -b 16 -c 1 "$work/tone.wav"
  # The voice's own leading and trailing silence is trimmed (the first silence effect,
  # then again on the reversed sound), then the pause is put in front.
  sox -D "$work/speech.wav" -r "$rate" -b 16 -c 1 "$work/phrase.wav" \
    silence 1 0.01 0.2% reverse silence 1 0.01 0.2% reverse gain -n "$peak" pad "$pause" 0
  sox -D "$work/tone.wav" "$work/phrase.wav" "$out/$n.wav"
done
