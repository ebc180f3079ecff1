"""FLAC files damaged by whole frames: cut off, cut out, repeated or
appended. libFLAC sees every frame intact and reports nothing (a frame cut
out of the middle even comes back as silence), yet the audio is wrong; the
stream's declared length and MD5 signature tell, and the conversion fails
with no output, as `flac -t` does."""
import os
import struct
import subprocess
import unittest

import flactest
import rztest

FRAME = 4096
TAIL = 2456                       # the last frame's length
TOTAL = 12 * FRAME + TAIL
# In the file: "fLaC", the STREAMINFO block header, then its 34 bytes; the
# 36-bit total ends at byte 26 and the 16-byte MD5 signature follows.
TOTAL_END = 26
MD5_START = 26


def count_message(held, declared=TOTAL):
    return f'FLAC decode error: the stream holds {held} sample frames, {declared} were declared'


MD5_MESSAGE = "FLAC decode error: decoded audio does not match the stream's MD5 signature"


class DamagedFlac(rztest.TempDirTest):
    source = None  # (frames, bytes, frame offsets), made once for all tests

    def setUp(self):
        super().setUp()
        if DamagedFlac.source is None:
            frames = flactest.make_frames(2, 16, TOTAL)
            path = self.path('source.flac')
            flactest.write_flac(self, path, frames, 2, 16)
            with open(path, 'rb') as f:
                DamagedFlac.source = (frames, f.read(), self.frame_offsets(path))
            for name in os.listdir(self.dir):
                os.remove(self.path(name))
        self.frames, self.data, self.offsets = DamagedFlac.source
        self.assertEqual(len(self.offsets), 13)
        self.assertEqual(int.from_bytes(self.data[TOTAL_END - 5:TOTAL_END], 'big') & (2**36 - 1),
                         TOTAL)

    def frame_offsets(self, path):
        """Where each audio frame starts, as `flac --analyze` reports it."""
        flac = rztest.require_tool(self, 'flac')
        analysis = self.path('source.ana')
        proc = subprocess.run([flac, '-s', '-f', '-a', '-o', analysis, path],
                              capture_output=True, timeout=120)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        offsets = []
        with open(analysis) as f:
            for line in f:
                if line.startswith('frame='):
                    field = dict(part.split('=', 1) for part in line.split())
                    offsets.append(int(field['offset']))
        os.remove(analysis)
        return offsets

    def frame(self, index):
        end = self.offsets[index + 1] if index + 1 < len(self.offsets) else len(self.data)
        return self.data[self.offsets[index]:end]

    def assert_refused(self, data, message):
        path = self.path('damaged.flac')
        with open(path, 'wb') as f:
            f.write(data)
        flac = rztest.require_tool(self, 'flac')
        check = subprocess.run([flac, '-s', '-t', path], capture_output=True, timeout=120)
        self.assertNotEqual(check.returncode, 0, 'the damage should be visible to flac -t')
        before = sorted(os.listdir(self.dir))
        code, out, err = rztest.run(path, self.path('out.m4a'))
        self.assertEqual((code, err), (1, f'Error: {message}\n'), out)
        self.assertEqual(sorted(os.listdir(self.dir)), before)

    def test_whole_frames_lost_or_repeated(self):
        middle = 6
        cases = {
            'cut before the last frame': (self.data[:self.offsets[-1]], TOTAL - TAIL),
            'a frame repeated':
                (self.data[:self.offsets[middle + 1]] + self.frame(middle) +
                 self.data[self.offsets[middle + 1]:], TOTAL + FRAME),
            "a frame's copy appended": (self.data + self.frame(middle), TOTAL + FRAME),
            'cut at the middle frame': (self.data[:self.offsets[middle]], middle * FRAME),
        }
        for name, (data, held) in cases.items():
            with self.subTest(name):
                self.assert_refused(data, count_message(held))

    # libFLAC fills the gap with silence, so the count is right: only the
    # signature tells.
    def test_frame_cut_out_of_the_middle(self):
        self.assert_refused(self.data[:self.offsets[6]] + self.data[self.offsets[7]:],
                            MD5_MESSAGE)

    def test_signature_mismatch(self):
        data = bytearray(self.data)
        data[MD5_START] ^= 0x01
        self.assert_refused(bytes(data), MD5_MESSAGE)

    # Without a declared total, the signature still catches a lost frame.
    def test_no_total_declared(self):
        data = bytearray(self.data[:self.offsets[3]] + self.data[self.offsets[4]:])
        data[TOTAL_END - 5] &= 0xF0
        data[TOTAL_END - 4:TOTAL_END] = bytes(4)
        self.assert_refused(bytes(data), MD5_MESSAGE)

    # With neither a total nor a signature there is nothing to check against:
    # the audio libFLAC decodes is converted, whatever it made of the gap.
    def test_nothing_declared_converts_what_is_there(self):
        data = bytearray(self.data[:self.offsets[3]] + self.data[self.offsets[4]:])
        data[TOTAL_END - 5] &= 0xF0
        data[TOTAL_END - 4:TOTAL_END] = bytes(4)
        data[MD5_START:MD5_START + 16] = bytes(16)
        path = self.path('bare.flac')
        with open(path, 'wb') as f:
            f.write(bytes(data))
        code, out, err = rztest.run(path, self.path('out.m4a'), '--quiet')
        self.assertEqual((code, out, err), (0, '', ''))
        flac = rztest.require_tool(self, 'flac')
        proc = subprocess.run([flac, '-s', '-d', '-c', '--force-raw-format', '--endian=little',
                               '--sign=signed', path], capture_output=True, timeout=120)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        samples = struct.unpack(f'<{len(proc.stdout) // 2}h', proc.stdout)
        expected = list(zip(samples[0::2], samples[1::2]))
        self.assertEqual(len(expected), TOTAL)
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.path('out.m4a'), 2, 16), expected)

    def test_intact_file_converts(self):
        path = self.path('intact.flac')
        with open(path, 'wb') as f:
            f.write(self.data)
        code, out, err = rztest.run(path, self.path('out.m4a'), '--quiet', '--verify')
        self.assertEqual((code, out, err), (0, '', ''))
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.path('out.m4a'), 2, 16),
                         self.frames)


if __name__ == '__main__':
    unittest.main()
