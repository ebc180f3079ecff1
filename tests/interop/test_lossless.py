"""Whole-program lossless proof: generated WAV and RF64 inputs converted by
the binary decode, sample for sample and channel for channel, to the input
with ffmpeg and with our own decoder; where ffmpeg cannot decode (an
uncompressed 32-bit channel pair, a file of one single-frame packet) the
element bits are read in the test, or GStreamer decodes."""
import unittest

import lossless
import rztest

TWO_AND_A_BIT = 2 * 4096 + 1000  # two full packets and a partial one


class LosslessTest(rztest.TempDirTest):

    def round_trip(self, frames, channels, bits, *options, rf64=False, ffmpeg=True):
        """Converts `frames`, decodes with our decoder and (unless told
        otherwise) ffmpeg, and proves both equal the input. A 32-bit packet
        that carries an uncompressed pair is read from its bits instead of
        with ffmpeg, which reports such a pair as "bps 33". Returns the
        packets."""
        wav, m4a = self.path('in.wav'), self.path('out.m4a')
        lossless.convert(self, frames, channels, bits, wav, m4a, *options, rf64=rf64)
        self.assertEqual(lossless.decode_with_tool(self, m4a, channels), frames)
        with open(m4a, 'rb') as f:
            packets = lossless.m4a_packets(f.read())
        self.assertEqual(len(packets), (len(frames) + 4095) // 4096)
        if not ffmpeg:
            return packets
        raw_pairs = 0
        if bits == 32:
            for index, packet in enumerate(packets):
                chunk = frames[index * 4096:(index + 1) * 4096]
                raw_pairs += len(lossless.uncompressed_pairs(packet, chunk, channels, bits))
        decoded, err = lossless.decode_with_ffmpeg(self, m4a, channels, bits)
        if raw_pairs:
            self.assertIsNone(decoded)
            self.assertIn('bps 33 is not implemented', err)
        else:
            self.assertEqual(err, '')
            self.assertEqual(decoded, frames)
        return packets

    def test_every_depth_and_channel_count(self):
        for bits in (16, 20, 24, 32):
            for channels in (1, 2, 3, 6, 8):
                with self.subTest(bits=bits, channels=channels):
                    self.round_trip(lossless.music(TWO_AND_A_BIT, channels, bits, seed=bits + channels),
                                    channels, bits)

    def test_whole_packets_only(self):
        self.round_trip(lossless.music(2 * 4096, 2, 16), 2, 16)

    def test_fast_mode(self):
        for bits in (16, 20, 24, 32):
            for channels in (2, 6):
                with self.subTest(bits=bits, channels=channels):
                    self.round_trip(lossless.music(TWO_AND_A_BIT, channels, bits, seed=bits),
                                    channels, bits, '--fast')

    def test_tiny_inputs(self):
        for count in (7, 31):
            for bits, channels in ((16, 2), (24, 1), (20, 3), (32, 8)):
                with self.subTest(frames=count, bits=bits, channels=channels):
                    self.round_trip(lossless.music(count, channels, bits, seed=count), channels, bits)

    def test_one_frame(self):
        # ffmpeg's demuxer delivers nothing for a single one-frame packet:
        # GStreamer checks the 16-bit stereo file, our decoder every file.
        frames = [(-12345, 32767)]
        self.round_trip(frames, 2, 16, ffmpeg=False)
        self.assertEqual(lossless.decode_with_gstreamer_s16(
            self, self.path('out.m4a'), self.path('out.raw'), 2), frames)
        for bits, channels in ((20, 1), (24, 6), (32, 2), (32, 8)):
            with self.subTest(bits=bits, channels=channels):
                self.round_trip(lossless.noise(1, channels, bits), channels, bits, ffmpeg=False)

    def test_silence(self):
        for bits, channels in ((16, 2), (24, 6), (32, 1)):
            with self.subTest(bits=bits, channels=channels):
                self.round_trip(lossless.silence(TWO_AND_A_BIT, channels), channels, bits)

    def test_full_scale_noise(self):
        # Noise codes to uncompressed elements; their bits are read here and
        # must hold the input exactly, channel order included.
        for bits, channels in ((16, 2), (20, 1), (24, 3), (32, 1), (32, 2), (32, 6), (32, 8)):
            for fast in ((), ('--fast',)) if channels == 2 else ((),):
                with self.subTest(bits=bits, channels=channels, fast=fast):
                    frames = lossless.noise(4096 + 123, channels, bits, seed=channels)
                    packets = self.round_trip(frames, channels, bits, *fast)
                    for index, packet in enumerate(packets):
                        self.assertEqual(
                            lossless.walk_uncompressed_frame(self, packet, channels, bits),
                            frames[index * 4096:(index + 1) * 4096])

    def test_rf64_input(self):
        self.round_trip(lossless.music(TWO_AND_A_BIT, 2, 24), 2, 24, rf64=True)


if __name__ == '__main__':
    unittest.main()
