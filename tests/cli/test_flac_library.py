"""Where ro-zoza finds libFLAC, run from a copy of the program in a fresh
folder: a stand-in library beside it that lacks an export leaves FLAC input
disabled (WAV still converts); a complete one beside it is used instead of
the installed libFLAC; with none beside it the installed one is used."""
import ctypes
import os
import shutil
import subprocess
import unittest

import rztest
from test_command_line import BANNER, FEATURE_TAIL, HELP_BODY

BUILD = os.environ.get('RO_ZOZA_BUILD', '')


def stand_in(variant):
    return os.path.join(BUILD, 'stand_in_flac', variant, 'libFLAC.so')


def installed_libflac():
    """The file the system's search finds for the newest libFLAC soname, as
    this process's own dynamic linker maps it."""
    for soname in ('libFLAC.so.14', 'libFLAC.so.12', 'libFLAC.so.8'):
        try:
            ctypes.CDLL(soname)
        except OSError:
            continue
        with open('/proc/self/maps') as maps:
            for line in maps:
                path = line.split(maxsplit=5)[-1].strip()
                if os.path.basename(path).startswith(soname):
                    return os.path.realpath(path)
    return None


@unittest.skipIf(rztest.WRAPPER, 'loader tests use the native build')
class FlacLibraryPlacement(rztest.TempDirTest):

    def setUp(self):
        super().setUp()
        self.program = self.path('ro-zoza')
        shutil.copy2(rztest.BINARY, self.program)
        self.work = self.path('work')
        os.mkdir(self.work)

    def place(self, variant):
        source = stand_in(variant)
        self.assertTrue(os.path.isfile(source), f'{source} not built')
        shutil.copy2(source, self.path('libFLAC.so'))

    def run_copy(self, *args):
        proc = subprocess.run([self.program, *map(str, args)], cwd=self.work,
                              capture_output=True, timeout=300, stdin=subprocess.DEVNULL)
        return proc.returncode, proc.stdout.decode('utf-8', 'replace'), \
            proc.stderr.decode('utf-8', 'replace')

    def work_path(self, name):
        return os.path.join(self.work, name)

    def test_incomplete_library_disables_flac_input(self):
        self.place('lacking')
        self.assertEqual(self.run_copy('--features'),
                         (0, BANNER + '\nFLAC input: disabled\n' + FEATURE_TAIL, ''))
        self.assertEqual(self.run_copy('--help'), (
            0, BANNER + HELP_BODY + 'FLAC input: disabled (libFLAC.dll not found)\n', ''))

        flac = self.work_path('in.flac')
        with open(flac, 'wb') as f:
            f.write(b'fLaC')
        self.assertEqual(self.run_copy(flac, self.work_path('out.m4a')), (
            1, '', 'Error: FLAC input support is unavailable. Place libFLAC.dll beside '
                   'ro-zoza.exe.\n'))
        self.assertEqual(sorted(os.listdir(self.work)), ['in.flac'])

        frames = [(i * 37 % 65536 - 32768, 32767 - i * 11 % 65536) for i in range(5000)]
        wav = self.work_path('in.wav')
        rztest.write_wav(wav, frames, 2)
        code, out, err = self.run_copy(wav, self.work_path('wav.m4a'))
        self.assertEqual((code, err), (0, ''), out)
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.work_path('wav.m4a'), 2, 16),
                         frames)

    # The stand-in hands out no decoder, which shows that it, not the
    # installed libFLAC, is the one in use.
    def test_library_beside_the_program_is_preferred(self):
        self.place('complete')
        beside = os.path.realpath(self.path('libFLAC.so'))
        self.assertEqual(self.run_copy('--features'), (
            0, BANNER + '\nFLAC input: enabled\nlibFLAC:    ' + beside + '\n' + FEATURE_TAIL, ''))
        code, out, _ = self.run_copy('--help')
        self.assertTrue(out.endswith('\nFLAC input: enabled (libFLAC.dll)\n'), out)
        flac = self.work_path('in.flac')
        with open(flac, 'wb') as f:
            f.write(b'fLaC')
        self.assertEqual(self.run_copy(flac, self.work_path('out.m4a')),
                         (1, '', 'Error: libFLAC could not allocate a decoder\n'))
        self.assertEqual(sorted(os.listdir(self.work)), ['in.flac'])

    def test_installed_library_without_one_beside_the_program(self):
        installed = installed_libflac()
        if installed is None:
            if rztest.IN_CI:
                self.fail('libFLAC is required in CI but not installed')
            self.skipTest('libFLAC not installed')
        self.assertEqual(self.run_copy('--features'), (
            0, BANNER + '\nFLAC input: enabled\nlibFLAC:    ' + installed + '\n' + FEATURE_TAIL,
            ''))


if __name__ == '__main__':
    unittest.main()
