"""ro-zoza.exe under wine with a recording past 4 GiB: the Windows file layer
writes beyond 32-bit offsets and the file gets its 64-bit mdat and co64
exactly as the Linux build's, compared by hash since neither is kept whole
in memory. The big files are removed afterwards, whatever the outcome."""
import os
import unittest

import large_recording as rec
import wintest

ARGS = ['in.rf64', '--quiet', '--title', 'Concert', '--track', '2/5']


class LargeFile(wintest.WindowsTest):

    def test_recording_past_four_gigabytes(self):
        wintest.require_linux_build(self)
        # The input and one output at a time, plus room to spare.
        rec.require_free_space(self, self.dir, 2 * rec.DATA_BYTES + (1 << 30))
        rec.write_input(self.path('in.rf64'))

        code, out, err = wintest.run_exe(wintest.EXE, *ARGS, '-o', 'win.m4a', cwd=self.dir,
                                         timeout=900)
        self.assertEqual((code, err), (0, ''), out)
        rec.check_layout(self, self.path('win.m4a'))
        windows_hash = rec.file_sha256(self.path('win.m4a'))
        os.remove(self.path('win.m4a'))

        self.assertEqual(wintest.run_linux(*ARGS, '-o', 'linux.m4a', cwd=self.dir, timeout=900),
                         (0, out, ''))
        self.assertEqual(windows_hash, rec.file_sha256(self.path('linux.m4a')),
                         'ro-zoza.exe and the Linux build wrote different files')


if __name__ == '__main__':
    unittest.main()
