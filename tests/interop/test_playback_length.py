"""The movie's duration in milliseconds is rounded up, so that a player which
stops playing at that duration still gets every sample: GStreamer's MP4
demuxer does, and it and ffmpeg must both give back the whole input for
lengths whose millisecond count used to be rounded down."""
import math
import struct
import unittest

import lossless
import rztest

# (sample rate, frames): each a fraction of a millisecond below one half.
LENGTHS = [(44100, 10 * 4096 + 100), (48000, 3 * 4096 + 20), (44100, 4096 * 5 + 1),
           (96000, 4096 + 40), (22050, 8185)]


def tone(count):
    return [(int(12000 * math.sin(i / 13.0)), int(-9000 * math.cos(i / 7.0)))
            for i in range(count)]


def movie_durations(data):
    mvhd, _ = rztest.find_box(data, 'moov/mvhd')
    tkhd, _ = rztest.find_box(data, 'moov/trak/tkhd')
    return (struct.unpack('>I', data[mvhd + 24:mvhd + 28])[0],
            struct.unpack('>I', data[tkhd + 28:tkhd + 32])[0])


class PlaybackLength(rztest.TempDirTest):
    def test_every_sample_reaches_both_decoders(self):
        for rate, count in LENGTHS:
            with self.subTest(rate=rate, frames=count):
                self.assertLess((count * 1000) % rate, rate / 2)  # nearest would round down
                frames = tone(count)
                wav, m4a = self.path('in.wav'), self.path('out.m4a')
                rztest.write_wav(wav, frames, 2, rate=rate)
                self.assertEqual(rztest.run(wav, m4a, '--quiet', '--overwrite'), (0, '', ''))
                with open(m4a, 'rb') as f:
                    data = f.read()
                expected = -(-count * 1000 // rate)
                self.assertEqual(movie_durations(data), (expected, expected))
                self.assertEqual(lossless.decode_with_gstreamer_s16(
                    self, m4a, self.path('out.raw'), 2), frames)
                self.assertTrue(rztest.decode_with_ffmpeg(self, m4a, 2, 16) == frames)


if __name__ == '__main__':
    unittest.main()
