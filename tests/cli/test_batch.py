"""Many files in one call with -d: a tree of WAV, RF64 and FLAC files (with
subfolders, spaces and non-ASCII names, a damaged FLAC and an output that
exists) converted into a mirrored tree, each file byte for byte its
single-file conversion, failures reported without stopping the others; the
rules checked before anything starts; the progress line on a terminal and
never on a pipe; an interruption that keeps what is finished."""
import os
import pty
import select
import signal
import subprocess
import time
import unittest

import flactest
import rztest
from test_pipeline import BANNER, music, noise_wav

OPTIONS = ['--title', 'Batch', '--track', '2/7']


def tree(root):
    """Every file below `root`, as sorted relative paths."""
    found = []
    for folder, _, files in os.walk(root):
        for name in files:
            found.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(found)


class BatchTest(rztest.TempDirTest):
    def run_here(self, *args, **kw):
        return rztest.run(*args, cwd=self.dir, **kw)

    def read(self, path):
        with open(self.path(path), 'rb') as f:
            return f.read()

    def make_library(self):
        """lib/ with nine inputs; returns the relative paths of the good ones."""
        os.makedirs(self.path('lib/Disc 1'))
        os.makedirs(self.path('lib/Ünïcode/deep'))
        os.makedirs(self.path('lib/no audio'))
        with open(self.path('lib/no audio/notes.txt'), 'w') as f:
            f.write('not audio\n')
        good = {
            'lib/a.wav': dict(channels=2, bits=16),
            'lib/Disc 1/01 Intro.WAV': dict(channels=1, bits=16),
            'lib/Disc 1/02 Long.rf64': dict(channels=2, bits=24, rf64=True),
            'lib/Ünïcode/deep/Señal.wave': dict(channels=6, bits=24),
            'lib/Ünïcode/x.flac': dict(channels=2, bits=16, flac=True),
        }
        self.frames = {}
        for i, (name, spec) in enumerate(good.items()):
            frames = music(5000 + 1000 * i, spec['channels'], spec['bits'], seed=i + 1)
            self.frames[name] = (frames, spec['channels'], spec['bits'])
            if spec.get('flac'):
                flactest.write_flac(self, self.path(name), frames, spec['channels'], spec['bits'])
                os.remove(self.path(name[:-5] + '.source.wav'))
            else:
                rztest.write_wav(self.path(name), frames, spec['channels'],
                                 container_bits=flactest.container_bits(spec['bits']),
                                 valid_bits=spec['bits'], rf64=spec.get('rf64', False))
        # A FLAC cut before its last frame, and an input whose output exists.
        flactest.write_flac(self, self.path('lib/damaged.flac'), music(9000, 2, 16), 2, 16)
        os.remove(self.path('lib/damaged.source.wav'))
        with open(self.path('lib/damaged.flac'), 'rb') as f:
            data = f.read()
        with open(self.path('lib/damaged.flac'), 'wb') as f:
            f.write(data[:len(data) - 200])
        rztest.write_wav(self.path('lib/exists.wav'), music(3000, 2, 16), 2)
        os.makedirs(self.path('out'))
        with open(self.path('out/exists.m4a'), 'wb') as f:
            f.write(b'keep me')
        return list(good)

    @staticmethod
    def output_of(name):
        return 'out/' + os.path.splitext(name[len('lib/'):])[0] + '.m4a'


class Library(BatchTest):
    def test_tree_with_failures(self):
        good = self.make_library()
        for threads in ('1', '3'):
            with self.subTest(threads=threads):
                code, out, err = self.run_here('-d', 'out', 'lib', *OPTIONS, '--threads',
                                               threads)
                self.assertEqual(code, 1)
                converted = [f'Converted {name} -> {self.output_of(name)}\n' for name in
                             sorted(good + [], key=lambda n: n[len('lib/'):].encode())]
                if threads == '1':
                    # One at a time, files finish in the order they were found.
                    self.assertEqual(out, BANNER + ''.join(converted) +
                                     '5 files converted, 2 failed\n')
                else:
                    lines = out.splitlines(keepends=True)
                    self.assertEqual(lines[:2], BANNER.splitlines(keepends=True))
                    self.assertEqual(sorted(lines[2:-1]), sorted(converted))
                    self.assertEqual(lines[-1], '5 files converted, 2 failed\n')
                self.assertEqual(sorted(err.splitlines()), [
                    'Error: lib/damaged.flac: FLAC decode error: lost sync',
                    'Error: lib/exists.wav: output file already exists (use --overwrite)',
                ])
                self.assertEqual(tree(self.path('out')), sorted(
                    [self.output_of(n)[len('out/'):] for n in good] + ['exists.m4a']))
                self.assertEqual(self.read('out/exists.m4a'), b'keep me')
                for name in good:
                    single = self.path('single.m4a')
                    self.assertEqual(self.run_here(name, single, '--quiet', *OPTIONS),
                                     (0, '', ''))
                    self.assertEqual(self.read(self.output_of(name)), self.read('single.m4a'),
                                     name)
                    os.remove(single)
                    frames, channels, bits = self.frames[name]
                    self.assertEqual(rztest.decode_with_ffmpeg(
                        self, self.path(self.output_of(name)), channels, bits), frames)
                    os.remove(self.path(self.output_of(name)))

    def test_options_reach_every_file(self):
        self.make_library()
        os.remove(self.path('lib/damaged.flac'))
        self.assertEqual(self.run_here('-d', 'out', 'lib', '--fast', '--verify', '--overwrite',
                                       '--quiet', '--artist', 'Everyone'), (0, '', ''))
        for name in ('lib/a.wav', 'lib/Ünïcode/x.flac', 'lib/exists.wav'):
            self.assertEqual(self.run_here(name, 'single.m4a', '--fast', '--quiet', '--artist',
                                           'Everyone', '--overwrite'), (0, '', ''))
            self.assertEqual(self.read(self.output_of(name)), self.read('single.m4a'), name)

    def test_files_and_folders_mixed(self):
        self.make_library()
        code, out, err = self.run_here('--quiet', '-d', 'flat', 'lib/a.wav', 'lib/Disc 1',
                                       '--threads', '0')
        self.assertEqual((code, out, err), (0, '', ''))
        self.assertEqual(tree(self.path('flat')), ['01 Intro.m4a', '02 Long.m4a', 'a.m4a'])


class Rules(BatchTest):
    def test_refusals_before_anything_starts(self):
        self.make_library()
        before = tree(self.dir)
        cases = [
            (['-d', 'new', '-o', 'x.m4a', 'lib'], '-o and -d cannot be used together'),
            (['-d', 'new', '-', 'lib'], 'standard input cannot be used with -d'),
            (['--profile', '-d', 'new', 'lib'], '--profile converts a single file'),
            (['-d', 'new', 'lib/a.wav', 'lib/a.wav'], 'two inputs would write new/a.m4a'),
            (['-d', 'new', 'lib', 'lib/Disc 1/../a.wav'], 'two inputs would write new/a.m4a'),
            (['-d', 'new', '--threads', 'x', 'lib'], 'invalid --threads value x'),
            (['-d', 'new', '--threads', '257', 'lib'], 'invalid --threads value 257'),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assertEqual(self.run_here(*args), (2, '', f'Error: {message}\n'))
                self.assertEqual(tree(self.dir), before)

    def test_nothing_to_convert(self):
        os.makedirs(self.path('empty/sub'))
        self.assertEqual(self.run_here('-d', 'out', 'empty'),
                         (1, '', 'Error: no WAV, RF64 or FLAC input found\n'))
        code, out, err = self.run_here('-d', 'out')
        self.assertEqual((code, err), (2, ''))
        self.assertTrue(out.startswith(BANNER + 'Lossless WAV/RF64/FLAC'), out)
        self.assertFalse(os.path.exists(self.path('out')))


class ProgressLine(BatchTest):
    def run_on_terminal(self, *args):
        """Runs with standard error on a pseudo-terminal; returns (exit code,
        what the terminal received)."""
        main, secondary = pty.openpty()
        proc = subprocess.Popen(rztest.WRAPPER + [rztest.BINARY] + list(args), cwd=self.dir,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=secondary)
        os.close(secondary)
        received = b''
        while True:
            ready, _, _ = select.select([main], [], [], 60)
            if not ready:
                break
            try:
                chunk = os.read(main, 4096)
            except OSError:
                break
            if not chunk:
                break
            received += chunk
        os.close(main)
        return proc.wait(timeout=60), received.decode('utf-8', 'replace')

    def test_on_a_terminal_and_not_on_a_pipe(self):
        # Noise keeps the encoder busy long enough for several redraws.
        for i in range(3):
            noise_wav(self.path(f'n{i}.wav'), 60, seed=i)
        code, screen = self.run_on_terminal('-d', 'out', 'n0.wav', 'n1.wav', 'n2.wav',
                                            '--threads', '1')
        self.assertEqual(code, 0)
        self.assertIn('x real time', screen)
        self.assertIn('files ', screen)
        self.assertRegex(screen, r'\r +\r$')   # erased at the end
        noise_wav(self.path('long.wav'), 300)
        code, screen = self.run_on_terminal('long.wav', 'single.m4a')
        self.assertEqual(code, 0)
        self.assertRegex(screen, r'\d+%  [\d.]+x real time')
        self.assertNotIn('files ', screen)
        # On a pipe nothing of it appears.
        self.assertEqual(self.run_here('n0.wav', 'again.m4a', '--overwrite')[2], '')
        self.assertEqual(self.run_here('-d', 'out', 'n0.wav', '--overwrite')[2], '')
        # --quiet keeps a terminal quiet too.
        code, screen = self.run_on_terminal('--quiet', 'n1.wav', 'quiet.m4a')
        self.assertEqual((code, screen), (0, ''))


class Interruption(BatchTest):
    def test_finished_files_stay(self):
        os.makedirs(self.path('in'))
        rztest.write_wav(self.path('in/1.wav'), music(3000, 2, 16), 2)
        os.mkfifo(self.path('in/2.wav'))     # never written: the run waits here
        rztest.write_wav(self.path('in/3.wav'), music(3000, 2, 16), 2)
        proc = subprocess.Popen(rztest.WRAPPER + [rztest.BINARY, '-d', 'out', 'in/1.wav',
                                                  'in/2.wav', 'in/3.wav', '--threads', '1'],
                                cwd=self.dir, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        deadline = time.monotonic() + 30
        while not os.path.exists(self.path('out/1.m4a')):
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.05)
        time.sleep(0.3)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=10)
        self.assertEqual(proc.returncode, 1)
        self.assertEqual(err.decode(), 'Error: in/2.wav: interrupted\nError: interrupted\n')
        self.assertEqual(out.decode(), BANNER + 'Converted in/1.wav -> out/1.m4a\n'
                                                '1 files converted, 1 failed\n')
        self.assertEqual(tree(self.path('out')), ['1.m4a'])


if __name__ == '__main__':
    unittest.main()
