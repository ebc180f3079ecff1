"""The ways a conversion can be cut short from outside: Ctrl-C and
termination requests at every stage (waiting on a FIFO, in a long chunk walk,
on a cover that never arrives, in an endless FLAC input), a closed standard
output, a file-size limit, a killed earlier run's temporary file, and output
names near the system's length limit. Each ends with the exit code that
matches what is on disk, and leaves nothing half-written."""
import os
import signal
import subprocess
import threading
import time
import unittest

import rztest
from test_pipeline import music, status_lines, noise_wav

INTERRUPTED = (1, 'Error: interrupted\n')
# How long a run is given to react to a signal.
PROMPT = 5


def dead_pid():
    """The id of a process that has ended."""
    proc = subprocess.Popen(['true'])
    proc.wait()
    return proc.pid


class RobustnessTest(rztest.TempDirTest):
    def listing(self):
        return sorted(os.listdir(self.dir))

    def start(self, *args, stdout=subprocess.PIPE):
        return subprocess.Popen(rztest.WRAPPER + [rztest.BINARY] + [str(a) for a in args],
                                cwd=self.dir, stdin=subprocess.DEVNULL, stdout=stdout,
                                stderr=subprocess.PIPE)

    def stop(self, proc, signal_number, delay=0.5):
        """Sends the signal after `delay` seconds; returns (code, stdout,
        stderr) and fails when the run does not end promptly."""
        time.sleep(delay)
        self.assertIsNone(proc.poll(), 'the run ended before the signal')
        proc.send_signal(signal_number)
        try:
            out, err = proc.communicate(timeout=PROMPT)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
            self.fail(f'signal {signal_number} did not end the run')
        return proc.returncode, out.decode(), err.decode()

    def write_input(self, frames=10000):
        self.frames = music(frames, 2, 16)
        rztest.write_wav(self.path('in.wav'), self.frames, 2)


class Interruption(RobustnessTest):
    def test_waiting_for_a_fifo_writer(self):
        os.mkfifo(self.path('x.wav'))
        for signal_number in (signal.SIGINT, signal.SIGTERM, signal.SIGQUIT, signal.SIGHUP):
            with self.subTest(signal=signal_number):
                code, out, err = self.stop(self.start('x.wav', 'out.m4a'), signal_number)
                self.assertEqual((code, err), INTERRUPTED)
                self.assertEqual(out, '')
                self.assertEqual(self.listing(), ['x.wav'])

    # The writer has sent the header and some audio, then stalls: the output
    # has been started under its temporary name, and must go.
    def test_stalled_pipe_after_the_first_blocks(self):
        os.mkfifo(self.path('x.wav'))
        frames = music(20000, 2, 16)
        data = rztest.wav_bytes(frames, 2)
        proc = self.start('x.wav', 'out.m4a')
        release = threading.Event()

        def feed():
            with open(self.path('x.wav'), 'wb') as fifo:
                fifo.write(data[:len(data) // 2])
                fifo.flush()
                release.wait(PROMPT * 2)

        writer = threading.Thread(target=feed)
        writer.start()
        try:
            code, out, err = self.stop(proc, signal.SIGINT, delay=1.0)
        finally:
            release.set()
            writer.join()
        self.assertEqual((code, err), INTERRUPTED)
        self.assertEqual(out, status_lines(44100, 16, 2))
        self.assertEqual(self.listing(), ['x.wav'])

    def test_cover_that_never_arrives(self):
        self.write_input()
        os.mkfifo(self.path('cover.jpg'))
        code, out, err = self.stop(self.start('in.wav', 'out.m4a', '--artwork', 'cover.jpg'),
                                   signal.SIGTERM)
        self.assertEqual((code, out, err), (1, '', INTERRUPTED[1]))
        self.assertEqual(self.listing(), ['cover.jpg', 'in.wav'])

    def test_endless_flac_input(self):
        os.symlink('/dev/zero', self.path('zero.flac'))
        code, out, err = self.stop(self.start('zero.flac', 'out.m4a'), signal.SIGINT, delay=1.0)
        self.assertEqual((code, out, err), (1, '', INTERRUPTED[1]))
        self.assertEqual(self.listing(), ['zero.flac'])

    # A chunk area of zero bytes is a run of empty chunks: 8 bytes each.
    def test_long_chunk_walk(self):
        path = self.path('walk.wav')
        with open(path, 'wb') as f:
            f.write(b'RIFF\xff\xff\xff\xffWAVE')
            f.truncate(1 << 40)  # sparse: a terabyte of zero bytes
        code, out, err = self.stop(self.start('walk.wav', 'out.m4a'), signal.SIGINT)
        self.assertEqual((code, out, err), (1, '', INTERRUPTED[1]))
        self.assertEqual(self.listing(), ['walk.wav'])

    # Read through a buffer, a gigabyte of empty chunks is walked in a few
    # seconds (it took minutes when every chunk cost a read and a seek).
    def test_walk_reaches_the_end(self):
        path = self.path('walk.wav')
        with open(path, 'wb') as f:
            f.write(b'RIFF\xff\xff\xff\xffWAVE')
            f.truncate(1 << 30)
        code, out, err = rztest.run('walk.wav', 'out.m4a', cwd=self.dir, timeout=60)
        self.assertEqual((code, out, err),
                         (1, '', 'Error: WAV/RF64 input has no usable PCM data chunk\n'))


class ClosedStandardOutput(RobustnessTest):
    def test_reader_gone_before_the_first_line(self):
        self.write_input()
        proc = self.start('in.wav', 'out.m4a')
        proc.stdout.close()
        _, err = proc.communicate(timeout=60)
        self.assertEqual((proc.returncode, err), (0, b''))
        self.assertEqual(self.listing(), ['in.wav', 'out.m4a'])
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.path('out.m4a'), 2, 16),
                         self.frames)

    def test_reader_takes_one_line(self):
        self.write_input()
        proc = self.start('in.wav', 'out.m4a')
        first = proc.stdout.readline()
        proc.stdout.close()
        _, err = proc.communicate(timeout=60)
        self.assertEqual(first, b'RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder\n')
        self.assertEqual((proc.returncode, err), (0, b''))
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.path('out.m4a'), 2, 16),
                         self.frames)


class FileSizeLimit(RobustnessTest):
    # The limit's signal is not ignored by the caller here: the program
    # itself must turn it into a failed write and clean up.
    def test_limit_fails_the_write_and_leaves_nothing(self):
        noise_wav(self.path('in.wav'), 2)
        limit = 64 * 1024

        def setup():
            import resource
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        code, out, err = rztest.run('in.wav', 'out.m4a', '--quiet', cwd=self.dir,
                                    preexec_fn=setup)
        self.assertEqual((code, out, err), (1, '', 'Error: failed while writing M4A media data\n'))
        self.assertEqual(self.listing(), ['in.wav'])


class LeftoverTemporaries(RobustnessTest):
    def test_a_killed_runs_file_is_removed(self):
        self.write_input()
        dead = dead_pid()
        stale = f'.out.m4a.{dead}-0.tmp'
        live = f'.out.m4a.{os.getpid()}-3.tmp'   # this test's own process still runs
        other = f'.other.m4a.{dead}-0.tmp'       # another output's
        not_ours = f'.out.m4a.{dead}-x.tmp'      # not a name the program makes
        for name in (stale, live, other, not_ours):
            with open(self.path(name), 'wb') as f:
                f.write(b'partial')
        self.assertEqual(rztest.run('in.wav', 'out.m4a', '--quiet', cwd=self.dir), (0, '', ''))
        self.assertEqual(self.listing(),
                         sorted(['in.wav', 'out.m4a', live, other, not_ours]))

    def test_a_killed_run_leaves_a_file_the_next_run_removes(self):
        noise_wav(self.path('in.wav'), 30)
        proc = self.start('in.wav', 'out.m4a', stdout=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while not any(n.endswith('.tmp') for n in os.listdir(self.dir)):
            self.assertLess(time.monotonic(), deadline, 'no temporary file appeared')
            time.sleep(0.05)
        proc.kill()
        proc.communicate()
        self.assertEqual(len(self.listing()), 2)
        self.write_input(5000)
        self.assertEqual(rztest.run('in.wav', 'out.m4a', '--quiet', cwd=self.dir), (0, '', ''))
        self.assertEqual(self.listing(), ['in.wav', 'out.m4a'])


class LongNames(RobustnessTest):
    # The temporary name adds to the output's; near the limit a shorter one
    # is used, so every name the folder can hold converts.
    def test_names_up_to_the_limit_convert(self):
        self.write_input(5000)
        for length in (228, 229, 250, 255):
            with self.subTest(length=length):
                name = 'n' * (length - 4) + '.m4a'
                self.assertEqual(rztest.run('in.wav', name, '--quiet', cwd=self.dir),
                                 (0, '', ''))
                self.assertEqual(self.listing(), ['in.wav', name])
                self.assertEqual(rztest.decode_with_ffmpeg(self, self.path(name), 2, 16),
                                 self.frames)
                os.remove(self.path(name))

    def test_a_killed_runs_short_temporary_is_removed_too(self):
        self.write_input(5000)
        name = 'n' * 246 + '.m4a'
        stale = f'.{short_stem(name)}.{dead_pid()}-0.tmp'
        with open(self.path(stale), 'wb') as f:
            f.write(b'partial')
        self.assertEqual(rztest.run('in.wav', name, '--quiet', cwd=self.dir), (0, '', ''))
        self.assertEqual(self.listing(), ['in.wav', name])


def short_stem(name):
    """The short temporary name's stem for `name`: "rz-" and the FNV-1a hash
    of the name's bytes, in hexadecimal."""
    value = 0xcbf29ce484222325
    for byte in name.encode():
        value = ((value ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return f'rz-{value:016x}'


if __name__ == '__main__':
    unittest.main()
