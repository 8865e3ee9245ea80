#!/usr/bin/env python3
"""Stretches of digital silence inside a recording of the music.

    silences.py [--min-ms N] RECORDING.raw
RECORDING is 16-bit little-endian stereo at 44.1 kHz, as `parec --raw` writes it
from a sink's monitor. Between the first and the last sound (a sample above
TINY), every run of at least N ms (default 20) in which no sample of either
channel rises above TINY is a drop-out: the music never holds that still, and
a starved sound device is fed exactly zeros. Prints one line,
    "sound S s from T s; N silences, total X ms, longest Y ms"
and then the first ten stretches as "at T s: D ms".
"""
import array
import sys

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


def main():
    arguments = sys.argv[1:]
    min_ms = 20.0
    if arguments[:1] == ["--min-ms"] and len(arguments) > 1:
        min_ms, arguments = float(arguments[1]), arguments[2:]
    if len(arguments) != 1:
        sys.exit("usage: silences.py [--min-ms N] RECORDING.raw")
    samples = array.array("h")
    with open(arguments[0], "rb") as recording:
        data = recording.read()
    samples.frombytes(data[: len(data) // 4 * 4])
    if sys.byteorder != "little":
        samples.byteswap()
    first, last, found = stretches(samples, int(min_ms * RATE / 1000))
    if first is None:
        print("sound 0 s from 0 s; no sound at all")
        return
    total = sum(length for _, length in found)
    longest = max((length for _, length in found), default=0)
    print(f"sound {(last - first) / RATE:.2f} s from {first / RATE:.2f} s; {len(found)} silences, "
          f"total {total * 1000 / RATE:.0f} ms, longest {longest * 1000 / RATE:.0f} ms")
    for start, length in found[:10]:
        print(f"at {start / RATE:.2f} s: {length * 1000 / RATE:.0f} ms")


if __name__ == "__main__":
    main()
