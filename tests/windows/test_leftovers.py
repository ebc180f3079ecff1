"""ro-zoza.exe's temporary names: a killed run's leftover of the same
output is removed by the next conversion (its process id no longer runs),
and an output name near the 255-unit limit still converts, through a
shorter temporary name, to the same bytes as the Linux build."""
import os
import unittest

import rztest
import wintest

# No Windows process has this id: ids are multiples of four, far below it.
GONE_PID = 4000001


class Leftovers(wintest.WindowsTest):

    def test_a_killed_runs_temporary_is_removed(self):
        rztest.write_wav(self.path('in.wav'), wintest.music_frames(5000, 2, 16), 2)
        stale = f'.out.m4a.{GONE_PID}-0.tmp'
        other = f'.other.m4a.{GONE_PID}-0.tmp'
        for name in (stale, other):
            with open(self.path(name), 'wb') as f:
                f.write(b'partial')
        self.assertEqual(self.run_exe('in.wav', 'out.m4a', '--quiet'), (0, '', ''))
        self.assertEqual(wintest.listing(self.dir), sorted(['in.wav', 'out.m4a', other]))

    def test_names_near_the_limit_convert(self):
        frames = wintest.music_frames(5000, 2, 16)
        rztest.write_wav(self.path('in.wav'), frames, 2)
        for length in (229, 250, 255):
            with self.subTest(length=length):
                win = 'w' * (length - 4) + '.m4a'
                linux = 'l' * (length - 4) + '.m4a'
                self.convert_both(['in.wav', '--quiet'], win_out=win, linux_out=linux)
                self.assert_lossless(self.path(win), frames, 2, 16)
                self.assertEqual(wintest.listing(self.dir), sorted(['in.wav', win, linux]))
                os.remove(self.path(win))
                os.remove(self.path(linux))


if __name__ == '__main__':
    unittest.main()
