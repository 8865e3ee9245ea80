#!/usr/bin/env python3
"""Per-channel difference of two pictures of the same size, in levels of 255.

    frame_difference.py [--crop WxH+X+Y] A.png B.png
prints "mean R G B max R G B", over the cropped region when one is given. Reads the pixels through ImageMagick's convert,
so it needs nothing beyond what the checks already use.
"""
import os
import subprocess
import sys


def pixels(path, crop):
    if not os.path.isfile(path):
        sys.exit(f"frame_difference: no picture at {path}")
    region = ["-crop", crop, "+repage"] if crop else []
    size = subprocess.run(["convert", path, *region, "-format", "%w %h", "info:"], check=True,
                          capture_output=True, text=True).stdout.split()
    raw = subprocess.run(["convert", path, *region, "-alpha", "off", "-depth", "8", "rgb:-"],
                         check=True, capture_output=True).stdout
    return tuple(map(int, size)), raw


def main():
    arguments = sys.argv[1:]
    crop = None
    if arguments[:1] == ["--crop"] and len(arguments) > 1:
        crop, arguments = arguments[1], arguments[2:]
    if len(arguments) != 2:
        sys.exit("usage: frame_difference.py [--crop WxH+X+Y] A.png B.png")
    (size_a, a), (size_b, b) = pixels(arguments[0], crop), pixels(arguments[1], crop)
    if size_a != size_b:
        sys.exit(f"frame_difference: {arguments[0]} is {size_a}, {arguments[1]} is {size_b}")
    means, peaks = [], []
    for channel in range(3):
        d = [abs(x - y) for x, y in zip(a[channel::3], b[channel::3])]
        means.append(sum(d) / len(d))
        peaks.append(max(d))
    print("mean " + " ".join(f"{m:.3f}" for m in means) + " max " + " ".join(map(str, peaks)))


if __name__ == "__main__":
    main()
