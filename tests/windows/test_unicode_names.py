"""Names and tags outside the ANSI code page (Greek, Japanese, an emoji
beyond the Basic Multilingual Plane) reach ro-zoza.exe through the wide
command line and come out exactly: the files on disk carry the names given,
and the tags read back as the text given."""
import os
import unittest

import rztest
import wintest

FOLDER = 'Μουσική 音楽'
INPUT = 'Ωδή 日本語 🎵.wav'
OUTPUT = 'Ωδή στη χαρά — 交響曲 🎶.m4a'
COVER = 'εξώφυλλο カバー 🖼.png'
TITLE = 'Ωδή στη χαρά 🎵'
ARTIST = '坂本龍一 & Μίκης'
ALBUM = '交響曲 第九番 🎶'


class UnicodeNames(wintest.WindowsTest):

    def test_names_and_tags_round_trip(self):
        os.mkdir(self.path(FOLDER))
        frames = wintest.music_frames(4096 + 1000, 2, 16)
        rztest.write_wav(os.path.join(self.path(FOLDER), INPUT), frames, 2)
        cover = b'\x89PNG\r\n\x1a\n' + bytes(range(256)) * 4
        with open(os.path.join(self.path(FOLDER), COVER), 'wb') as f:
            f.write(cover)
        args = [os.path.join(FOLDER, INPUT).replace('/', '\\'), '--quiet',
                '--title', TITLE, '--artist', ARTIST, '--album', ALBUM,
                '--artwork', f'{FOLDER}/{COVER}']
        code, out, err = self.run_exe(*args, '-o', wintest.windows_path(
            os.path.join(self.path(FOLDER), OUTPUT)))
        self.assertEqual((code, out, err), (0, '', ''))
        self.assertEqual(wintest.listing(self.path(FOLDER)), sorted([INPUT, COVER, OUTPUT]))
        out_path = os.path.join(self.path(FOLDER), OUTPUT)
        self.assert_lossless(out_path, frames, 2, 16)

        mp4 = rztest.require_mutagen(self)
        tags = mp4.MP4(out_path).tags
        self.assertEqual(tags['\xa9nam'], [TITLE])
        self.assertEqual(tags['\xa9ART'], [ARTIST])
        self.assertEqual(tags['\xa9alb'], [ALBUM])
        self.assertEqual(bytes(tags['covr'][0]), cover)
        self.assertEqual(tags['covr'][0].imageformat, mp4.MP4Cover.FORMAT_PNG)

        wintest.require_linux_build(self)
        linux_args = [a.replace('\\', '/') for a in args]
        self.assertEqual(wintest.run_linux(*linux_args, '-o', 'linux.m4a', cwd=self.dir),
                         (0, '', ''))
        self.assertEqual(wintest.read(out_path), wintest.read(self.path('linux.m4a')))

    def test_existing_output_with_such_a_name(self):
        rztest.write_wav(self.path(INPUT), wintest.music_frames(500, 1, 16), 1)
        with open(self.path(OUTPUT), 'wb') as f:
            f.write(b'earlier')
        self.assertEqual(self.run_exe(INPUT, OUTPUT, '--quiet'),
                         (1, '', 'Error: output file already exists (use --overwrite)\n'))
        self.assertEqual(wintest.read(self.path(OUTPUT)), b'earlier')
        self.assertEqual(wintest.listing(self.dir), sorted([INPUT, OUTPUT]))


if __name__ == '__main__':
    unittest.main()
