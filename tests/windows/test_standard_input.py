"""ro-zoza.exe reading WAV from standard input through a pipe, in binary
mode: the same bytes as the Linux build, with the sizes a streaming writer
leaves and with stray bytes after the last frame."""
import struct
import subprocess
import tempfile
import unittest

import rztest
import wintest


def with_unknown_size(wav):
    at = wav.index(b'data') + 4
    return wav[:at] + struct.pack('<I', 0xFFFFFFFF) + wav[at + 4:]


class StandardInput(wintest.WindowsTest):

    def pipe(self, command, data, *args):
        """Runs `command` + args with `data` written into its standard input
        by a separate writer; output goes to files (see run_captured)."""
        with tempfile.TemporaryFile() as source, tempfile.TemporaryFile() as out, \
                tempfile.TemporaryFile() as err:
            source.write(data)
            source.seek(0)
            cat = subprocess.Popen(['cat'], stdin=source, stdout=subprocess.PIPE)
            proc = subprocess.Popen(command + [str(a) for a in args], cwd=self.dir,
                                    stdin=cat.stdout, stdout=out, stderr=err)
            cat.stdout.close()
            proc.wait(timeout=300)
            cat.wait(timeout=60)
            out.seek(0)
            err.seek(0)
            return proc.returncode, wintest.text(out.read()), wintest.text(err.read())

    def test_piped_wav_gives_the_linux_builds_bytes(self):
        wintest.require_linux_build(self)
        frames = wintest.music_frames(10000, 2, 24)
        # CR LF and ^Z bytes in the audio would be mangled in text mode.
        wav = rztest.wav_bytes(frames, 2, container_bits=24) + b'\r\n\x1a'
        for name, data in (('declared', wav), ('unknown', with_unknown_size(wav))):
            with self.subTest(size=name):
                win = self.pipe(rztest.WRAPPER + [wintest.EXE], data, '-', f'{name}-win.m4a')
                linux = self.pipe([wintest.LINUX], data, '-', f'{name}-linux.m4a')
                self.assertEqual(win, linux)
                self.assertEqual(win[0], 0, win)
                self.assertEqual(wintest.read(self.path(f'{name}-win.m4a')),
                                 wintest.read(self.path(f'{name}-linux.m4a')))
                self.assert_lossless(self.path(f'{name}-win.m4a'), frames, 2, 24)
        self.assertEqual(win[2], 'Warning: ignored 3 bytes after the last whole sample frame\n')


if __name__ == '__main__':
    unittest.main()
