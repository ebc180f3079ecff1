"""ro-zoza.exe converting a folder tree with -d, names and folders with
non-ASCII letters included: the mirrored tree, each file the Linux build's
bytes."""
import os
import unittest

import rztest
import wintest


class Batch(wintest.WindowsTest):

    def test_non_ascii_folders(self):
        wintest.require_linux_build(self)
        source = self.path('Bibliothèque ÅÄÖ')
        os.makedirs(os.path.join(source, 'Disque 1'))
        names = ['Début.wav', os.path.join('Disque 1', 'Ωμέγα.wav')]
        for i, name in enumerate(names):
            rztest.write_wav(os.path.join(source, name),
                             wintest.music_frames(6000, 2, 16, seed=i + 1), 2)
        win = self.run_exe('-d', 'Sortie ß', 'Bibliothèque ÅÄÖ', '--threads', '2', '--quiet')
        linux = wintest.run_linux('-d', 'linux', 'Bibliothèque ÅÄÖ', '--quiet', cwd=self.dir)
        self.assertEqual(win, (0, '', ''))
        self.assertEqual(linux, (0, '', ''))
        for name in names:
            m4a = os.path.splitext(name)[0] + '.m4a'
            self.assertEqual(wintest.read(os.path.join(self.path('Sortie ß'), m4a)),
                             wintest.read(os.path.join(self.path('linux'), m4a)), name)
        code, out, err = self.run_exe('-d', 'Sortie ß', 'Bibliothèque ÅÄÖ', '--threads', '1')
        self.assertEqual(code, 1)
        self.assertIn('0 files converted, 2 failed\n', out)
        self.assertIn('Error: Bibliothèque ÅÄÖ\\Début.wav: output file already exists '
                      '(use --overwrite)\n', err)


if __name__ == '__main__':
    unittest.main()
