"""ro-zoza.exe writes its output under a temporary name and moves it into
place only when it is complete: a failed or interrupted conversion leaves
neither a partial file nor a temporary one, and an existing file stays as it
was."""
import os
import signal
import tempfile
import time
import unittest

import rztest
import wintest


def truncated_wav(frames, channels, keep_frames):
    """A WAV that declares all `frames` but whose data ends after
    `keep_frames`, so the reader fails after its first block."""
    data = rztest.wav_bytes(frames, channels)
    header = len(data) - len(frames) * channels * 2
    return data[:header + keep_frames * channels * 2]


class AtomicOutput(wintest.WindowsTest):

    def test_failure_after_first_block_leaves_nothing(self):
        frames = wintest.music_frames(3 * 4096, 2, 16)
        with open(self.path('in.wav'), 'wb') as f:
            f.write(truncated_wav(frames, 2, 4096 + 500))
        code, out, err = self.run_exe('in.wav', 'out.m4a', '--quiet')
        wintest.require_linux_build(self)
        self.assertEqual((code, out, err), wintest.run_linux('in.wav', 'out.m4a', '--quiet',
                                                            cwd=self.dir))
        self.assertEqual(code, 1)
        self.assertTrue(err.startswith('Error: '), err)
        self.assertEqual(wintest.listing(self.dir), ['in.wav'])

    def test_failed_overwrite_keeps_the_existing_file(self):
        frames = wintest.music_frames(3 * 4096, 2, 16, seed=2)
        with open(self.path('in.wav'), 'wb') as f:
            f.write(truncated_wav(frames, 2, 4096 + 10))
        with open(self.path('out.m4a'), 'wb') as f:
            f.write(b'an earlier conversion')
        code, _, err = self.run_exe('in.wav', 'out.m4a', '--quiet', '--overwrite')
        self.assertEqual(code, 1)
        self.assertTrue(err.startswith('Error: '), err)
        self.assertEqual(wintest.read(self.path('out.m4a')), b'an earlier conversion')
        self.assertEqual(wintest.listing(self.dir), ['in.wav', 'out.m4a'])

    def test_refused_artwork_creates_no_file(self):
        rztest.write_wav(self.path('in.wav'), wintest.music_frames(5000, 2, 16), 2)
        with open(self.path('cover.gif'), 'wb') as f:
            f.write(b'GIF89a')
        self.assertEqual(self.run_exe('in.wav', 'out.m4a', '--artwork', 'cover.gif', '--quiet'),
                         (1, '', 'Error: artwork must be JPEG or PNG\n'))
        self.assertEqual(self.run_exe('in.wav', 'out.m4a', '--artwork', 'none.png', '--quiet'),
                         (1, '', 'Error: could not open artwork file\n'))
        self.assertEqual(wintest.listing(self.dir), ['cover.gif', 'in.wav'])

    def test_ctrl_c_removes_the_temporary_file(self):
        # Wine turns SIGINT into a console Ctrl-C event. The input, six
        # hours of silence in a sparse file, is long enough that the
        # conversion is still running when its temporary file has appeared.
        size = 6 * 3600 * 44100 * 4
        head = bytearray(rztest.wav_bytes([(0, 0)], 2)[:-4])
        head[4:8] = (len(head) - 8 + size).to_bytes(4, 'little')
        head[-4:] = size.to_bytes(4, 'little')
        with open(self.path('in.wav'), 'wb') as f:
            f.write(head)
            f.truncate(len(head) + size)
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = wintest.start(rztest.WRAPPER + [wintest.EXE, 'in.wav', 'out.m4a', '--quiet'],
                                 self.dir, out, err)
            try:
                deadline = time.monotonic() + 60
                while len(os.listdir(self.dir)) < 2 and proc.poll() is None:
                    self.assertLess(time.monotonic(), deadline, 'no temporary file appeared')
                    time.sleep(0.05)
                self.assertIsNone(proc.poll(), 'the conversion ended before it was interrupted')
                self.assertNotIn('out.m4a', os.listdir(self.dir))
                proc.send_signal(signal.SIGINT)
                proc.wait(timeout=60)
            finally:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
            out.seek(0)
            err.seek(0)
            self.assertEqual((proc.returncode, wintest.text(out.read()), wintest.text(err.read())),
                             (1, '', 'Error: interrupted\n'))
        self.assertEqual(wintest.listing(self.dir), ['in.wav'])


if __name__ == '__main__':
    unittest.main()
