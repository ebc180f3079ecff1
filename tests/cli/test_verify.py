"""--verify on whole conversions: the extra closing line with the exact frame
count, silence under --quiet, and an output byte for byte the same as
without the option."""
import os
import unittest

import lossless
import rztest
from test_pipeline import status_lines

DIAGNOSTIC = r'^compressed frame too big: \d+ vs\. \d+ ?\n$'

CASES = [  # (name, frames, channels, bits, options)
    ('music 16-bit stereo, partial last packet', lossless.music(2 * 4096 + 1000, 2, 16), 2, 16, ()),
    ('music 16-bit stereo, whole packets', lossless.music(2 * 4096, 2, 16), 2, 16, ()),
    ('music 20-bit mono', lossless.music(4096 + 77, 1, 20), 1, 20, ()),
    ('music 24-bit 6 channels', lossless.music(4096 + 500, 6, 24), 6, 24, ()),
    ('music 32-bit 8 channels, uncompressed pairs', lossless.music(31, 8, 32), 8, 32, ()),
    ('noise 32-bit stereo', lossless.noise(4096 + 5, 2, 32), 2, 32, ()),
    ('noise 16-bit 3 channels', lossless.noise(300, 3, 16), 3, 16, ()),
    ('silence 24-bit stereo', lossless.silence(5000, 2), 2, 24, ()),
    ('one frame', [(-12345, 32767)], 2, 16, ()),
    ('seven frames 24-bit', lossless.music(7, 2, 24), 2, 24, ()),
    ('fast 16-bit', lossless.music(2 * 4096 + 1000, 2, 16), 2, 16, ('--fast',)),
    ('fast 32-bit', lossless.music(4096 + 1000, 2, 32), 2, 32, ('--fast',)),
]


class VerifyTest(rztest.TempDirTest):

    def convert(self, wav, name, *options):
        out_path = self.path(name)
        code, out, err = rztest.run(wav, out_path, *options)
        self.assertEqual((code, err), (0, ''))
        with open(out_path, 'rb') as f:
            return out, f.read()

    def test_verified_conversions(self):
        for name, frames, channels, bits, options in CASES:
            with self.subTest(name):
                wav = self.path(f'{len(os.listdir(self.dir))}.wav')
                rztest.write_wav(wav, frames, channels,
                                 container_bits=lossless.container_bits(bits), valid_bits=bits)
                plain_out, plain = self.convert(wav, f'{wav}.plain.m4a', *options)
                fast = '--fast' in options
                head = status_lines(44100, bits, channels, fast)
                self.assertTrue(plain_out.startswith(head))
                self.assertTrue(plain_out.endswith('Conversion complete.\n'))
                for line in plain_out[len(head):-len('Conversion complete.\n')].splitlines(True):
                    self.assertRegex(line, DIAGNOSTIC)

                out, verified = self.convert(wav, f'{wav}.verified.m4a', *options, '--verify')
                self.assertEqual(
                    out, plain_out + f'Verified: {len(frames)} sample frames decoded identically.\n')
                self.assertEqual(verified, plain)
                self.assertEqual(lossless.decode_with_tool(self, f'{wav}.verified.m4a', channels),
                                 frames)

                out, quiet = self.convert(wav, f'{wav}.quiet.m4a', *options, '--verify', '--quiet')
                for line in out.splitlines(True):
                    self.assertRegex(line, DIAGNOSTIC)
                self.assertEqual(quiet, plain)

    def test_verify_before_the_names(self):
        wav = self.path('in.wav')
        rztest.write_wav(wav, lossless.music(100, 2, 16), 2)
        code, out, err = rztest.run('--verify', '--quiet', wav, '-o', self.path('out.m4a'))
        self.assertEqual((code, out, err), (0, '', ''))
        self.assertTrue(os.path.exists(self.path('out.m4a')))


if __name__ == '__main__':
    unittest.main()
