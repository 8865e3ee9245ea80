#!/usr/bin/env python3
"""Stretches of digital silence inside a recording of the music.

    silences.py [--min-ms N] [--music MUSIC.wav] RECORDING.raw
RECORDING is 16-bit little-endian stereo at 44.1 kHz, as `parec --raw` writes it
from a sink's monitor. Between the first and the last sound (a sample above
TINY), every run of at least N ms (default 20) in which no sample of either
channel rises above TINY is a drop-out: a starved sound device is fed exactly
zeros. A module may rest, though; MUSIC is the same music rendered without a
device (the capture tool's audio.wav, 16-bit stereo at 44.1 kHz), and a
stretch where it is silent too, lined up by their first sounds, is the
music's own and not counted. Prints one line,
    "sound S s from T s; N silences, total X ms, longest Y ms"
(with "; R rests of the music's own" when MUSIC is given) and then the first
ten silences as "at T s: D ms".
"""
import array
import sys
import wave

RATE = 44100
# Quiet music is dithered and rounded by the mixer; a drop-out is zeros.
TINY = 1


def stretches(samples, min_frames):
    frames = len(samples) // 2
    loud = [max(abs(samples[2 * i]), abs(samples[2 * i + 1])) > TINY for i in range(frames)]
    try:
        first = loud.index(True)
    except ValueError:
        return None, None, []
    last = frames - 1 - loud[::-1].index(True)
    found, start = [], None
    for i in range(first, last + 1):
        if not loud[i]:
            if start is None:
                start = i
        elif start is not None:
            if i - start >= min_frames:
                found.append((start, i - start))
            start = None
    return first, last, found


def samples_of(data):
    samples = array.array("h")
    samples.frombytes(data[: len(data) // 4 * 4])
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def music_samples(name):
    with wave.open(name, "rb") as music:
        if (music.getnchannels(), music.getsampwidth(), music.getframerate()) != (2, 2, RATE):
            sys.exit(f"silences.py: {name} is not 16-bit stereo at {RATE} Hz")
        return samples_of(music.readframes(music.getnframes()))


# Lined up by their first sounds, a rest of the music's own lies in the
# recording where it lies in the music, later by the drop-outs before it (a
# starved device plays the music late, not less of it), and lasts as long; a
# drop-out that lengthened it by as little as half the shortest counted one
# shows.
NEAR = RATE // 20


def drop_outs(found, rests, shift, min_frames):
    """The silences of `found` that are not rests of the music's own."""
    kept, late = [], 0
    for start, length in found:
        own = any(abs(rest + shift + late - start) <= NEAR and abs(size - length) < min_frames // 2
                  for rest, size in rests)
        if not own:
            kept.append((start, length))
            late += length
    return kept


def main():
    arguments = sys.argv[1:]
    min_ms, music_name = 20.0, None
    while arguments[:1] in (["--min-ms"], ["--music"]) and len(arguments) > 1:
        if arguments[0] == "--min-ms":
            min_ms = float(arguments[1])
        else:
            music_name = arguments[1]
        arguments = arguments[2:]
    if len(arguments) != 1:
        sys.exit("usage: silences.py [--min-ms N] [--music MUSIC.wav] RECORDING.raw")
    with open(arguments[0], "rb") as recording:
        samples = samples_of(recording.read())
    min_frames = int(min_ms * RATE / 1000)
    first, last, found = stretches(samples, min_frames)
    if first is None:
        print("sound 0 s from 0 s; no sound at all")
        return
    rests = ""
    if music_name is not None:
        music = music_samples(music_name)
        music_first, _, music_rests = stretches(music, min_frames)
        if music_first is None:
            sys.exit(f"silences.py: {music_name} holds no sound")
        kept = drop_outs(found, music_rests, first - music_first, min_frames)
        rests = f"; {len(found) - len(kept)} rests of the music's own"
        found = kept
    total = sum(length for _, length in found)
    longest = max((length for _, length in found), default=0)
    print(f"sound {(last - first) / RATE:.2f} s from {first / RATE:.2f} s; {len(found)} silences, "
          f"total {total * 1000 / RATE:.0f} ms, longest {longest * 1000 / RATE:.0f} ms{rests}")
    for start, length in found[:10]:
        print(f"at {start / RATE:.2f} s: {length * 1000 / RATE:.0f} ms")


if __name__ == "__main__":
    main()
