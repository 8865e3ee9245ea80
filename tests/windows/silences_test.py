#!/usr/bin/env python3
"""The drop-out counter the Wine check relies on, over made-up recordings:
a device's gap is counted wherever it falls, a rest the music itself has is
not, even after earlier gaps delayed it, and a gap that lengthened a rest is.
"""
import array
import os
import subprocess
import sys
import tempfile
import unittest
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
RATE = 44100


def tone(seconds):
    """A loud square wave, never still for a sample."""
    return [3000 if (i // 50) % 2 else -3000 for i in range(int(seconds * RATE))]


def still(seconds):
    return [0] * int(seconds * RATE)


def stereo(mono):
    return array.array("h", (s for sample in mono for s in (sample, sample))).tobytes()


class Silences(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        # The music: 1 s of sound, a 300 ms rest, 1 s of sound.
        self.music_samples = tone(1) + still(0.3) + tone(1)
        self.music = os.path.join(self.folder.name, "music.wav")
        with wave.open(self.music, "wb") as out:
            out.setnchannels(2)
            out.setsampwidth(2)
            out.setframerate(RATE)
            out.writeframes(stereo(self.music_samples))

    def tearDown(self):
        self.folder.cleanup()

    def count(self, recording, *options):
        path = os.path.join(self.folder.name, "heard.raw")
        with open(path, "wb") as out:
            out.write(stereo(recording))
        result = subprocess.run([sys.executable, os.path.join(HERE, "silences.py"), *options, path],
                                capture_output=True, text=True, check=True)
        return result.stdout.splitlines()

    def test_the_music_as_rendered_has_no_drop_out(self):
        lines = self.count(still(0.5) + self.music_samples, "--music", self.music)
        self.assertIn("0 silences", lines[0])
        self.assertIn("1 rests of the music's own", lines[0])
        # Without the music to go by, its rest looks like a drop-out.
        self.assertIn("1 silences, total 300 ms", self.count(self.music_samples)[0])

    def test_gaps_are_counted_and_the_rest_after_them_is_not(self):
        music = self.music_samples
        # Two gaps before the rest delay it by 90 ms; one after it.
        at = [0, RATE // 4, RATE // 2, int(1.6 * RATE), len(music)]
        heard = (music[at[0]:at[1]] + still(0.05) + music[at[1]:at[2]] + still(0.04) +
                 music[at[2]:at[3]] + still(0.03) + music[at[3]:at[4]])
        lines = self.count(heard, "--music", self.music)
        self.assertIn("3 silences, total 120 ms, longest 50 ms; 1 rests of the music's own", lines[0])
        self.assertEqual(lines[1:], ["at 0.25 s: 50 ms", "at 0.55 s: 40 ms", "at 1.69 s: 30 ms"])

    def test_a_gap_that_lengthens_a_rest_is_counted(self):
        music = self.music_samples
        heard = music[:RATE] + still(0.03) + music[RATE:]
        lines = self.count(heard, "--music", self.music)
        self.assertIn("1 silences, total 330 ms", lines[0])
        self.assertIn("0 rests of the music's own", lines[0])


if __name__ == "__main__":
    unittest.main()
