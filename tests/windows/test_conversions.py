"""Conversions by ro-zoza.exe under wine: every file it writes is the Linux
build's file byte for byte, and decodes to the input's samples."""
import os
import unittest

import rztest
import wintest

TAGS = ['--title', 'Song', '--artist', 'Band', '--album', 'Record', '--albumartist', 'Various',
        '--genre', 'Rock', '--date', '1999', '--track', '3/12', '--disk', '1/2',
        '--comment', 'ripped', '--composer', 'Writer', '--lyrics', 'la la', '--copyright', '(c)']


def fake_jpeg(size):
    body = bytes((i * 7 + 3) & 0xFF for i in range(size))
    return b'\xff\xd8\xff\xe0' + body + b'\xff\xd9'


class Conversions(wintest.WindowsTest):

    def convert_wav(self, frames, channels, bits, extra=(), container=None):
        rztest.write_wav(self.path('in.wav'), frames, channels,
                         container_bits=container or bits, valid_bits=bits)
        out = self.convert_both(['in.wav', *extra])
        self.assert_lossless(out, frames, channels, bits)
        return out

    def test_16_bit_stereo_with_status_lines(self):
        frames = wintest.music_frames(2 * 4096 + 300, 2, 16)
        rztest.write_wav(self.path('in.wav'), frames, 2)
        code, out, err = self.run_exe('in.wav', 'win.m4a')
        self.assertEqual((code, err), (0, ''))
        self.assertTrue(out.endswith('\nInput:  44100 Hz, 16-bit, 2 ch\n'
                                     'Output: ALAC in M4A, 4096-frame packets\n'
                                     'Encoding...\nConversion complete.\n'), out)
        self.assertTrue(out.startswith('RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder\n'), out)
        wintest.require_linux_build(self)
        self.assertEqual(wintest.run_linux('in.wav', 'linux.m4a', cwd=self.dir), (0, out, ''))
        self.assertEqual(wintest.read(self.path('win.m4a')), wintest.read(self.path('linux.m4a')))
        self.assert_lossless(self.path('win.m4a'), frames, 2, 16)
        self.assertEqual(wintest.listing(self.dir), ['in.wav', 'linux.m4a', 'win.m4a'])

    def test_24_bit_mono(self):
        self.convert_wav(wintest.music_frames(5000, 1, 24, seed=2), 1, 24)

    def test_24_bit_six_channels_fast_quiet(self):
        self.convert_wav(wintest.music_frames(4096 + 77, 6, 24, seed=3), 6, 24,
                         extra=['--fast', '--quiet'])

    def test_16_bit_stereo_fast_and_20_bit_stereo(self):
        self.convert_wav(wintest.music_frames(3000, 2, 16, seed=4), 2, 16, extra=['--fast'])
        os.remove(self.path('win.m4a'))
        os.remove(self.path('linux.m4a'))
        self.convert_wav(wintest.music_frames(3000, 2, 20, seed=5), 2, 20, container=24)

    def test_tags_and_artwork_read_back(self):
        frames = wintest.music_frames(1500, 2, 16, seed=6)
        cover = fake_jpeg(3000)
        with open(self.path('cover.JPG'), 'wb') as f:
            f.write(cover)
        out = self.convert_wav(frames, 2, 16, extra=[*TAGS, '--artwork', 'cover.JPG', '-A'])
        mutagen_mp4 = rztest.require_mutagen(self)
        tags = mutagen_mp4.MP4(out).tags
        self.assertEqual(tags['\xa9nam'], ['Song'])
        self.assertEqual(tags['\xa9ART'], ['Band'])
        self.assertEqual(tags['\xa9alb'], ['Record'])
        self.assertEqual(tags['aART'], ['Various'])
        self.assertEqual(tags['\xa9gen'], ['Rock'])
        self.assertEqual(tags['\xa9day'], ['1999'])
        self.assertEqual(tags['trkn'], [(3, 12)])
        self.assertEqual(tags['disk'], [(1, 2)])
        self.assertEqual(tags['\xa9cmt'], ['ripped'])
        self.assertEqual(tags['\xa9wrt'], ['Writer'])
        self.assertEqual(tags['\xa9lyr'], ['la la'])
        self.assertEqual(tags['cprt'], ['(c)'])
        self.assertEqual(tags['\xa9too'], ['RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder'])
        self.assertEqual(bytes(tags['covr'][0]), cover)
        self.assertEqual(tags['covr'][0].imageformat, mutagen_mp4.MP4Cover.FORMAT_JPEG)

    def test_absolute_windows_paths(self):
        frames = wintest.music_frames(2000, 2, 16, seed=7)
        rztest.write_wav(self.path('in.wav'), frames, 2)
        os.mkdir(self.path('sub'))
        out = self.path('sub/track.m4a')
        code, _, err = self.run_exe(wintest.windows_path(self.path('in.wav')), '--quiet',
                                    '--output', wintest.windows_path(out), cwd='/')
        self.assertEqual((code, err), (0, ''))
        self.assertEqual(os.listdir(self.path('sub')), ['track.m4a'])
        self.assert_lossless(out, frames, 2, 16)
        wintest.require_linux_build(self)
        self.assertEqual(wintest.run_linux('in.wav', '--quiet', '-o', 'linux.m4a', cwd=self.dir),
                         (0, '', ''))
        self.assertEqual(wintest.read(out), wintest.read(self.path('linux.m4a')))

    def test_existing_output(self):
        frames = wintest.music_frames(2500, 2, 16, seed=8)
        rztest.write_wav(self.path('in.wav'), frames, 2)
        with open(self.path('out.m4a'), 'wb') as f:
            f.write(b'keep me')
        self.assertEqual(self.run_exe('in.wav', 'out.m4a', '--quiet'),
                         (1, '', 'Error: output file already exists (use --overwrite)\n'))
        self.assertEqual(wintest.read(self.path('out.m4a')), b'keep me')
        self.assertEqual(wintest.listing(self.dir), ['in.wav', 'out.m4a'])
        # With --overwrite the file is replaced by the finished conversion.
        self.assertEqual(self.run_exe('in.wav', 'out.m4a', '--quiet', '--overwrite'), (0, '', ''))
        wintest.require_linux_build(self)
        self.assertEqual(wintest.run_linux('in.wav', 'linux.m4a', '--quiet', cwd=self.dir),
                         (0, '', ''))
        self.assertEqual(wintest.read(self.path('out.m4a')), wintest.read(self.path('linux.m4a')))

    def test_missing_output_folder(self):
        rztest.write_wav(self.path('in.wav'), wintest.music_frames(100, 2, 16), 2)
        self.assertEqual(self.run_exe('in.wav', 'nowhere/out.m4a', '--quiet'),
                         (1, '', 'Error: could not create M4A output\n'))
        self.assertEqual(wintest.listing(self.dir), ['in.wav'])



if __name__ == '__main__':
    unittest.main()
