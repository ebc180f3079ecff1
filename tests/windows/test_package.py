"""The Windows download (scripts/package-windows): unzipped into a folder
whose path holds a space and letters outside ASCII, its ro-zoza.exe finds the
libFLAC.dll beside it when started from another folder, and converts FLAC
and WAV files to the Linux build's files byte for byte."""
import os
import unittest
import zipfile

import flactest
import rztest
import wintest

PACKAGE = os.environ.get('RO_ZOZA_PACKAGE', '')
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CONTENTS = ['LICENSE-libFLAC.txt', 'LICENSE.txt', 'README.txt', 'libFLAC.dll', 'ro-zoza.exe']


class Package(wintest.WindowsTest):

    def setUp(self):
        super().setUp()
        if not PACKAGE or not os.path.isfile(PACKAGE):
            self.fail('RO_ZOZA_PACKAGE must name the Windows zip file')
        self.folder = self.path('Programme Ωδή Åsa/ro-zoza 1.0')
        with zipfile.ZipFile(PACKAGE) as z:
            z.extractall(self.folder)
        self.exe = os.path.join(self.folder, 'ro-zoza.exe')
        self.work = self.path('work')
        os.mkdir(self.work)

    def unpacked(self, name):
        return wintest.read(os.path.join(self.folder, name))

    def test_contents(self):
        self.assertEqual(os.path.basename(PACKAGE), 'ro-zoza-1.0.1.0-win64.zip')
        self.assertEqual(wintest.listing(self.folder), CONTENTS)
        self.assertEqual(self.unpacked('ro-zoza.exe'), wintest.read(wintest.EXE))
        wintest.require_libflac(self)
        self.assertEqual(self.unpacked('libFLAC.dll'), wintest.read(wintest.LIBFLAC))
        for name in ('README.txt', 'LICENSE.txt', 'LICENSE-libFLAC.txt'):
            with self.subTest(name=name):
                data = self.unpacked(name)
                self.assertTrue(data.endswith(b'\r\n'))
                self.assertNotIn(b'\n', data.replace(b'\r\n', b''), 'a line without CR LF')
        licence = wintest.read(os.path.join(ROOT, 'LICENSE'))
        self.assertEqual(self.unpacked('LICENSE.txt'), licence.replace(b'\n', b'\r\n'))
        self.assertIn(b'Copyright (c) 2026 The ro-zoza developers', licence)
        flac_licence = self.unpacked('LICENSE-libFLAC.txt')
        self.assertIn(b'Xiph.Org Foundation', flac_licence)
        self.assertIn(b'Redistribution and use in source and binary forms', flac_licence)
        readme = self.unpacked('README.txt').decode('utf-8')
        for part in ('ro-zoza 1.0.1.0 for Windows x86-64\r\n', '\r\nUsing ro-zoza.exe\r\n',
                     '[--disc %disc%] [--disctotal %disctotal%]', '\r\n--artwork  ',
                     '\r\nExit codes\r\n', '\r\nLicence\r\n'):
            self.assertIn(part, readme)
        self.assertNotIn('`', readme)
        self.assertNotIn('scripts/', readme)

    def test_features_find_the_library_from_another_folder(self):
        code, out, err = self.run_exe('--features', exe=self.exe, cwd=self.work)
        self.assertEqual((code, err), (0, ''))
        dll = wintest.windows_path(os.path.join(self.folder, 'libFLAC.dll'))
        self.assertIn(f'\nFLAC input: enabled\nlibFLAC:    {dll}\n', out)

    def test_flac_and_wav_convert_as_on_linux(self):
        frames = wintest.music_frames(6000, 2, 24, seed=11)
        flactest.write_flac(self, os.path.join(self.work, 'Track 1.flac'), frames, 2, 24)
        out = self.convert_both(['Track 1.flac', '--title', 'Flac'], win_out='flac-win.m4a',
                                linux_out='flac-linux.m4a', cwd=self.work, exe=self.exe)
        self.assert_lossless(out, frames, 2, 24)
        frames = wintest.music_frames(5000, 2, 16, seed=12)
        rztest.write_wav(os.path.join(self.work, 'Track 2.wav'), frames, 2)
        out = self.convert_both(['Track 2.wav', '--title', 'Wav'], win_out='wav-win.m4a',
                                linux_out='wav-linux.m4a', cwd=self.work, exe=self.exe)
        self.assert_lossless(out, frames, 2, 16)


if __name__ == '__main__':
    unittest.main()
