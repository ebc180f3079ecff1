"""FLAC input through a real libFLAC.dll, the one scripts/build-libflac-windows
builds from Debian's flac source: files made by the flac tool convert to the
Linux build's files byte for byte, and damaged ones fail as they do on Linux
and leave nothing behind."""
import os
import subprocess
import unittest

import flactest
import rztest
import wintest


class RealLibFlac(wintest.WindowsTest):

    def setUp(self):
        super().setUp()
        wintest.require_libflac(self)
        self.bin = self.path('bin')
        self.exe = wintest.copy_exe(self.bin, library=wintest.LIBFLAC)
        self.work = self.path('work')
        os.mkdir(self.work)

    def make_flac(self, name, channels, bits, count=10000, seed=1):
        frames = wintest.music_frames(count, channels, bits, seed)
        flactest.write_flac(self, os.path.join(self.work, name), frames, channels, bits)
        return frames

    def convert_layouts(self, bits):
        for channels in (1, 2, 6):
            with self.subTest(channels=channels, bits=bits):
                stem = f'{channels}ch{bits}'
                frames = self.make_flac(stem + '.flac', channels, bits, seed=channels)
                out = self.convert_both([stem + '.flac'], win_out=stem + '-win.m4a',
                                        linux_out=stem + '-linux.m4a', cwd=self.work,
                                        exe=self.exe)
                self.assert_lossless(out, frames, channels, bits)

    def test_16_bit_in_one_two_and_six_channels(self):
        self.convert_layouts(16)

    def test_20_bit_in_one_two_and_six_channels(self):
        self.convert_layouts(20)

    def test_24_bit_in_one_two_and_six_channels(self):
        self.convert_layouts(24)

    def test_32_bit_in_one_two_and_six_channels(self):
        self.convert_layouts(32)

    # libFLAC opens the file itself, from the UTF-8 name the program hands it.
    def test_name_outside_the_code_page(self):
        frames = self.make_flac('Ωδή 日本 🎵.flac', 2, 16, count=5000)
        out = self.convert_both(['Ωδή 日本 🎵.flac', '--quiet'], cwd=self.work, exe=self.exe)
        self.assert_lossless(out, frames, 2, 16)

    # Comments and a picture come through libFLAC's metadata callback, whose
    # record the program reads by its layout: the same file on both systems.
    def test_tags_and_picture_give_the_same_file(self):
        frames = self.make_flac('source.flac', 2, 16, count=5000)
        cover = b'\x89PNG\r\n\x1a\n' + bytes(range(256)) * 4
        with open(os.path.join(self.work, 'cover.png'), 'wb') as f:
            f.write(cover)
        wav = os.path.join(self.work, 'source.source.wav')
        fields = ['TITLE=Ωδή ♪', 'ARTIST=One', 'ARTIST=Two', 'TRACKNUMBER=3/12', 'BPM=97',
                  'COMPILATION=1', 'ALBUMARTISTSORT=Sort', 'REPLAYGAIN_TRACK_GAIN=-1.00 dB',
                  'Label=Étiquette']
        args = [rztest.require_tool(self, 'flac'), '-s', '-f', '--channel-map=none',
                '--picture=4|||1x1x24|' + os.path.join(self.work, 'cover.png'),
                '--picture=3|||1x1x24|' + os.path.join(self.work, 'cover.png'),
                '-o', os.path.join(self.work, 'tagged.flac')]
        for field in fields:
            args += ['-T', field]
        subprocess.run(args + [wav], check=True, capture_output=True, timeout=300)
        out = self.convert_both(['tagged.flac', '--quiet'], cwd=self.work, exe=self.exe)
        self.assert_lossless(out, frames, 2, 16)
        data = wintest.read(out)
        for text in ('Ωδή ♪'.encode('utf-8'), b'One; Two', b'REPLAYGAIN_TRACK_GAIN', cover):
            self.assertTrue(text in data, text[:40])

    def test_features_name_the_library(self):
        code, out, err = self.run_exe('--features', exe=self.exe, cwd=self.work)
        self.assertEqual((code, err), (0, ''))
        dll = wintest.windows_path(os.path.join(self.bin, 'libFLAC.dll'))
        self.assertIn(f'\nFLAC input: enabled\nlibFLAC:    {dll}\nALAC encoder core: ', out)
        code, out, err = self.run_exe('--help', exe=self.exe, cwd=self.work)
        self.assertEqual((code, err, out.splitlines()[-1]),
                         (0, '', 'FLAC input: enabled (libFLAC.dll)'))

    def assert_fails_as_on_linux(self, name):
        """The .exe's run on a damaged file ends as the Linux build's does
        (exit code, console text), and neither leaves a file behind."""
        wintest.require_linux_build(self)
        before = wintest.listing(self.work)
        result = self.run_exe(name, 'win.m4a', exe=self.exe, cwd=self.work)
        self.assertEqual(wintest.listing(self.work), before)
        linux = wintest.run_linux(name, 'linux.m4a', cwd=self.work)
        self.assertEqual(wintest.listing(self.work), before)
        self.assertEqual(result, linux)
        self.assertEqual(result[0], 1)
        self.assertTrue(result[2].startswith('Error: FLAC decode'), result[2])

    def test_frame_with_a_bad_checksum_fails_as_on_linux(self):
        self.make_flac('damaged.flac', 2, 16)
        data = bytearray(wintest.read(os.path.join(self.work, 'damaged.flac')))
        start = flactest.audio_offset(data)
        data[start + (len(data) - start) * 6 // 10] ^= 0x5A
        with open(os.path.join(self.work, 'damaged.flac'), 'wb') as f:
            f.write(data)
        self.assert_fails_as_on_linux('damaged.flac')

    # A file cut inside its last frame is not compared: after such a cut
    # libFLAC seeks back to the frame's start, and wine's C runtime keeps the
    # end-of-file mark through the seek (Windows' and glibc's clear it), so
    # under wine libFLAC stops there without reporting the damage.
    def test_bytes_missing_from_the_middle_fail_as_on_linux(self):
        self.make_flac('gap.flac', 6, 24)
        data = wintest.read(os.path.join(self.work, 'gap.flac'))
        start = flactest.audio_offset(data)
        hole = start + (len(data) - start) // 2
        with open(os.path.join(self.work, 'gap.flac'), 'wb') as f:
            f.write(data[:hole] + data[hole + 1000:])
        self.assert_fails_as_on_linux('gap.flac')


if __name__ == '__main__':
    unittest.main()
