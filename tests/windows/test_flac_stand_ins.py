"""FLAC input on Windows: libFLAC.dll is taken from the executable's folder
only. Stand-in libraries built with mingw (stand_in_flac.c) play the part of
libFLAC: a complete one, which delivers a synthetic stream through the
program's real callbacks, and one that lacks an export."""
import os
import unittest

import rztest
import wintest

UNAVAILABLE = 'Error: FLAC input support is unavailable. Place libFLAC.dll beside ro-zoza.exe.\n'
FEATURES_TAIL = ("ALAC encoder core: enabled\nM4A output: enabled\nM4A tags/artwork: enabled\n"
                 "WAV/RF64 input: enabled\n")


class FlacStandInTest(wintest.WindowsTest):

    def setUp(self):
        super().setUp()
        if not wintest.STAND_INS:
            self.fail('RO_ZOZA_STAND_INS must name the folder of the stand-in libFLAC.dll files')
        self.work = self.path('work')
        os.mkdir(self.work)

    def exe_with(self, stand_in):
        return wintest.copy_exe(self.path('bin'), stand_in)

    def features(self, exe):
        code, out, err = self.run_exe('--features', exe=exe, cwd=self.work)
        self.assertEqual((code, err), (0, ''))
        return out[out.index('\nFLAC input: '):]

    def help_flac_line(self, exe):
        code, out, err = self.run_exe('--help', exe=exe, cwd=self.work)
        self.assertEqual((code, err), (0, ''))
        return out.splitlines()[-1]

    def assert_flac_refused(self, exe):
        with open(os.path.join(self.work, 'in.flac'), 'wb') as f:
            f.write(wintest.stand_in_stream(wintest.music_frames(100, 2, 16), 2, 16))
        self.assertEqual(self.run_exe('in.flac', 'out.m4a', exe=exe, cwd=self.work),
                         (1, '', UNAVAILABLE))
        self.assertEqual(wintest.listing(self.work), ['in.flac'])


class WithoutLibrary(FlacStandInTest):

    def test_flac_unavailable_and_wav_still_converts(self):
        exe = self.exe_with(None)
        self.assert_flac_refused(exe)
        frames = wintest.music_frames(1000, 2, 16)
        rztest.write_wav(os.path.join(self.work, 'in.wav'), frames, 2)
        out = self.convert_both(['in.wav', '--quiet'], cwd=self.work, exe=exe)
        self.assert_lossless(out, frames, 2, 16)

    def test_library_in_the_working_folder_is_not_used(self):
        exe = self.exe_with(None)
        with open(os.path.join(wintest.STAND_INS, 'complete', 'libFLAC.dll'), 'rb') as src:
            with open(os.path.join(self.work, 'libFLAC.dll'), 'wb') as dst:
                dst.write(src.read())
        self.assertEqual(self.features(exe), '\nFLAC input: disabled\n' + FEATURES_TAIL)


class LibraryLackingAnExport(FlacStandInTest):

    def test_released_and_unavailable(self):
        exe = self.exe_with('missing-export')
        self.assertEqual(self.features(exe), '\nFLAC input: disabled\n' + FEATURES_TAIL)
        self.assertEqual(self.help_flac_line(exe), 'FLAC input: disabled (libFLAC.dll not found)')
        self.assert_flac_refused(exe)


class CompleteLibrary(FlacStandInTest):

    def test_enabled_with_its_path(self):
        exe = self.exe_with('complete')
        dll = wintest.windows_path(os.path.join(self.path('bin'), 'libFLAC.dll'))
        self.assertEqual(self.features(exe),
                         f'\nFLAC input: enabled\nlibFLAC:    {dll}\n' + FEATURES_TAIL)
        self.assertEqual(self.help_flac_line(exe), 'FLAC input: enabled (libFLAC.dll)')

    def convert_stream(self, name, frames, channels, bits, block):
        """Converts a stand-in stream and holds the result against the Linux
        build's conversion of the same samples as WAV."""
        exe = self.exe_with('complete')
        with open(os.path.join(self.work, name), 'wb') as f:
            f.write(wintest.stand_in_stream(frames, channels, bits, block=block))
        code, out, err = self.run_exe(name, 'flac.m4a', '--quiet', exe=exe, cwd=self.work)
        self.assertEqual((code, out, err), (0, '', ''))
        out_path = os.path.join(self.work, 'flac.m4a')
        self.assert_lossless(out_path, frames, channels, bits)
        wintest.require_linux_build(self)
        container = 16 if bits == 16 else 24 if bits <= 24 else 32
        rztest.write_wav(os.path.join(self.work, 'same.wav'), frames, channels,
                         container_bits=container, valid_bits=bits)
        self.assertEqual(wintest.run_linux('same.wav', 'linux.m4a', '--quiet', cwd=self.work),
                         (0, '', ''))
        self.assertEqual(wintest.read(out_path),
                         wintest.read(os.path.join(self.work, 'linux.m4a')))

    def test_16_bit_stereo_stream(self):
        self.convert_stream('in.flac', wintest.music_frames(3 * 1152 + 500, 2, 16), 2, 16, 1152)

    def test_24_bit_six_channel_stream_with_a_name_outside_the_code_page(self):
        # libFLAC takes the name as UTF-8; the stand-in opens it through the
        # wide API, so a wrong conversion would fail to open the file.
        self.convert_stream('Ωδή 日本 🎵.FLAC', wintest.music_frames(4608 + 99, 6, 24, seed=9),
                            6, 24, 4608)

    def test_12_bit_stream_refused_on_its_first_frame(self):
        exe = self.exe_with('complete')
        with open(os.path.join(self.work, 'in.flac'), 'wb') as f:
            f.write(wintest.stand_in_stream(wintest.music_frames(300, 1, 12), 1, 12))
        self.assertEqual(self.run_exe('in.flac', 'out.m4a', exe=exe, cwd=self.work),
                         (1, '', 'Error: FLAC input uses 12-bit PCM; RO-ZOZA accepts 16, 20, 24 '
                                 'or 32-bit input without conversion\n'))
        self.assertEqual(wintest.listing(self.work), ['in.flac'])


if __name__ == '__main__':
    unittest.main()
