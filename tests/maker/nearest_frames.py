#!/usr/bin/env python3
"""Whether screenshots of a live show caught a gift's card rather than ours.

    nearest_frames.py GIFT_FRAMES/ OURS_FRAMES/ SCREEN.png...

GIFT_FRAMES and OURS_FRAMES hold the capture tool's frames of the same
stretch of the show (velmor-capture --from --to -o DIR/), the gift's and
ours. A live show's card turns and grows every frame, and a screenshot falls
between two of the capture's, so each screenshot is set against the nearest
frame of each stretch: in grey, at 100x75, the mean difference in levels of
255. The gift's card is seen when some screenshot lies within 2.5 levels of a
gift frame and at least 3 levels nearer to it than to any of ours (measured
under Wine: 0.6 against 8.5 with the dedication on the screen; the bare
background, before and between cards, matches both alike). Prints the best
screenshot's figures; exit status 0 when the card was seen.
"""
import glob
import operator
import os
import subprocess
import sys

NEAR, APART = 2.5, 3.0


def grey(path):
    return subprocess.run(["convert", path, "-alpha", "off", "-colorspace", "gray", "-resize",
                           "100x75!", "-depth", "8", "gray:-"], check=True,
                          capture_output=True).stdout


def frames(folder):
    found = sorted(glob.glob(os.path.join(folder, "*.png")))
    if not found:
        sys.exit(f"nearest_frames: no frames in {folder}")
    return [grey(p) for p in found]


def nearest(screen, candidates):
    return min(sum(map(abs, map(operator.sub, screen, c))) for c in candidates) / len(screen)


def main():
    if len(sys.argv) < 4:
        sys.exit("usage: nearest_frames.py GIFT_FRAMES/ OURS_FRAMES/ SCREEN.png...")
    gift, ours = frames(sys.argv[1]), frames(sys.argv[2])
    best = None
    for path in sys.argv[3:]:
        screen = grey(path)
        to_gift, to_ours = nearest(screen, gift), nearest(screen, ours)
        margin = to_ours - to_gift
        if best is None or (to_gift <= NEAR, margin) > (best[1] <= NEAR, best[2] - best[1]):
            best = (os.path.basename(path), to_gift, to_ours)
    name, to_gift, to_ours = best
    print(f"{name}: {to_gift:.2f} levels from the gift's nearest frame, {to_ours:.2f} from ours")
    return 0 if to_gift <= NEAR and to_ours - to_gift >= APART else 1


if __name__ == "__main__":
    sys.exit(main())
