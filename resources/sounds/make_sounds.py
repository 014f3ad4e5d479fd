#!/usr/bin/env python3
"""Writes the tone-only cue set: sounds 1..9, 11 and 111 as small wave files in tones/.

Each cue is a short pattern of tones, different enough from the others that an owner
who cannot look at the screen learns them by ear. Cue 9 is the confirmation alarm: a
loud two-tone siren with rich harmonics. Files are 8-bit mono at 11025 Hz, which keeps
them at a few KB and is plenty for tones below 2.5 kHz. The output is deterministic:
running the script again writes the same bytes.

The spoken set (make_spoken.sh) starts each cue with these tones.

Usage: python3 make_sounds.py [output folder]   (default: tones/ beside this script)
"""
import math
import os
import sys
import wave

RATE = 11025  # samples per second
FADE = 0.005  # seconds of fade in and out per tone, so tones start and stop without clicks
NORMAL = 0.6  # amplitude of the ordinary cues (1.0 is full scale)


def tone(freq, seconds, amplitude=NORMAL, end_freq=None, harmonics=False):
    """One tone as a list of floats in -1..1; end_freq sweeps linearly to that frequency."""
    count = int(RATE * seconds)
    end_freq = freq if end_freq is None else end_freq
    fade = int(RATE * FADE)
    samples = []
    phase = 0.0
    for i in range(count):
        f = freq + (end_freq - freq) * i / count
        phase += 2 * math.pi * f / RATE
        value = math.sin(phase)
        if harmonics:
            # Odd harmonics, clipped: close to a square wave, which sounds loudest.
            value = value + math.sin(3 * phase) / 3 + math.sin(5 * phase) / 5
            value = max(-1.0, min(1.0, value * 1.4))
        gain = min(1.0, i / fade, (count - 1 - i) / fade) if fade else 1.0
        samples.append(amplitude * gain * value)
    return samples


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def pattern(*parts):
    out = []
    for part in parts:
        out.extend(part)
    return out


CUES = {
    # Start-up complete, or a second start: rising fifth.
    1: pattern(tone(523, 0.12), silence(0.03), tone(784, 0.18)),
    # Receiver search from port 0: three low blips.
    2: pattern(tone(440, 0.07), silence(0.05), tone(440, 0.07), silence(0.05), tone(440, 0.07)),
    # Known receiver port being connected: two middle blips.
    3: pattern(tone(660, 0.08), silence(0.06), tone(660, 0.08)),
    # Receiver answered: rising triad.
    4: pattern(tone(523, 0.07), tone(659, 0.07), tone(784, 0.12)),
    # Awaiting a position (played again every 30 s): one soft short tick.
    5: pattern(tone(880, 0.08, amplitude=0.4)),
    # Position found: bright rising arpeggio.
    6: pattern(tone(659, 0.08), tone(880, 0.08), tone(1047, 0.16)),
    # Alert about to be sent: upward sweep.
    7: pattern(tone(600, 0.35, end_freq=1200)),
    # Alert sent: two high notes.
    8: pattern(tone(1047, 0.12), silence(0.04), tone(1319, 0.22)),
    # Alert confirmed: the alarm, a loud two-tone siren.
    9: pattern(*[tone(f, 0.2, amplitude=1.0, harmonics=True) for f in (960, 770) * 3]),
    # Emergency procedure begins: urgent triple.
    11: pattern(tone(880, 0.07), silence(0.04), tone(880, 0.07), silence(0.04), tone(1175, 0.15)),
    # Program ends: falling fifth.
    111: pattern(tone(784, 0.12), silence(0.03), tone(523, 0.18)),
}


def write_wave(path, samples):
    # 8-bit wave data is unsigned: 128 is silence.
    data = bytes(max(0, min(255, int(round(128 + 127 * s)))) for s in samples)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(1)
        out.setframerate(RATE)
        out.writeframes(data)


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tones")
    folder = sys.argv[1] if len(sys.argv) > 1 else default
    os.makedirs(folder, exist_ok=True)
    for number, samples in CUES.items():
        write_wave(os.path.join(folder, "%d.wav" % number), samples)


if __name__ == "__main__":
    main()
