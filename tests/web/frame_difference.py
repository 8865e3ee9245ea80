#!/usr/bin/env python3
"""Per-channel difference of two pictures of the same size, in levels of 255.

    frame_difference.py A.png B.png
prints "mean R G B max R G B". Reads the pixels through ImageMagick's convert,
so it needs nothing beyond what the checks already use.
"""
import os
import subprocess
import sys


def pixels(path):
    if not os.path.isfile(path):
        sys.exit(f"frame_difference: no picture at {path}")
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                          capture_output=True, text=True).stdout.split()
    raw = subprocess.run(["convert", path, "-alpha", "off", "-depth", "8", "rgb:-"],
                         check=True, capture_output=True).stdout
    return tuple(map(int, size)), raw


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: frame_difference.py A.png B.png")
    (size_a, a), (size_b, b) = pixels(sys.argv[1]), pixels(sys.argv[2])
    if size_a != size_b:
        sys.exit(f"frame_difference: {sys.argv[1]} is {size_a}, {sys.argv[2]} is {size_b}")
    means, peaks = [], []
    for channel in range(3):
        d = [abs(x - y) for x, y in zip(a[channel::3], b[channel::3])]
        means.append(sum(d) / len(d))
        peaks.append(max(d))
    print("mean " + " ".join(f"{m:.3f}" for m in means) + " max " + " ".join(map(str, peaks)))


if __name__ == "__main__":
    main()
