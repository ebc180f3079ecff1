"""Whole conversions: status lines, the profile report, the output-exists
rules, artwork loading, and that every failure leaves no output and no
temporary file behind while an existing output stays as it was."""
import errno
import os
import random
import resource
import signal
import struct
import subprocess
import tempfile
import unittest

import rztest

BANNER = ('RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder\n'
          'Copyright (C) 2026 The ro-zoza developers\n')

STAGES = ['ALAC encode total', 'PCM interleave/pack', 'Stereo matrix (mix16)',
          'Dynamic predictor', 'Adaptive Golomb', 'M4A packet sink', 'Predictor: 0-tap',
          'Predictor: 4-tap', 'Predictor: 8-tap', 'Predictor: 31/delta', 'Predictor: general']

ARTWORK_LIMIT = 67108864


def status_lines(rate, bits, channels, fast=False):
    return (BANNER + f'\nInput:  {rate} Hz, {bits}-bit, {channels} ch\n'
            f'Output: ALAC in M4A, 4096-frame packets{" (fast mode)" if fast else ""}\n'
            'Encoding...\n')


def music(count, channels, bits, seed=1):
    """Frames of a tone with a little noise per channel, at full `bits` range."""
    rng = random.Random(seed)
    peak = (1 << (bits - 1)) - 1
    frames = []
    for i in range(count):
        frame = []
        for c in range(channels):
            v = int(peak * 0.6 * (((i * (c + 3)) % 200) / 100.0 - 1.0)) + rng.randint(-99, 99)
            frame.append(max(-peak - 1, min(peak, v)))
        frames.append(tuple(frame))
    return frames


def wav_header(channels, rate, bits, data_size):
    """A plain PCM RIFF header for a data chunk of `data_size` bytes."""
    block = channels * bits // 8
    fmt = struct.pack('<HHIIHH', 1, channels, rate, rate * block, block, bits)
    return (b'RIFF' + struct.pack('<I', 4 + 8 + len(fmt) + 8 + data_size) + b'WAVE' +
            b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', data_size))


def noise_wav(path, seconds, rate=44100, seed=7):
    """A stereo 16-bit WAV of noise, written fast by repeating one random
    second; noise keeps the encoder (and the writer) busy."""
    rng = random.Random(seed)
    second = rng.randbytes(rate * 4)
    with open(path, 'wb') as f:
        f.write(wav_header(2, rate, 16, len(second) * seconds))
        for _ in range(seconds):
            f.write(second)


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def ignore_sigxfsz_and_limit(size):
    def setup():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
    return setup


class PipelineTest(rztest.TempDirTest):
    def listing(self):
        return sorted(os.listdir(self.dir))

    def make_input(self, frames=10000, channels=2, bits=16, rate=44100, **kw):
        self.frames = music(frames, channels, bits)
        self.channels, self.bits = channels, bits
        rztest.write_wav(self.path('in.wav'), self.frames, channels, rate=rate,
                         container_bits=kw.pop('container_bits', bits), valid_bits=bits, **kw)

    def convert(self, *extra, out='out.m4a'):
        return rztest.run('in.wav', out, *extra, cwd=self.dir)

    def assert_lossless(self, name='out.m4a'):
        decoded = rztest.decode_with_ffmpeg(self, self.path(name), self.channels, self.bits)
        self.assertEqual(len(decoded), len(self.frames))
        self.assertTrue(decoded == self.frames, 'decoded samples differ from the input')

    def assert_failed(self, result, message, out=''):
        self.assertEqual(result, (1, out, f'Error: {message}\n'))


class StatusLines(PipelineTest):
    def test_status_lines_and_completion(self):
        for channels, bits, rate, container in ((2, 16, 44100, 16), (3, 24, 96000, 24),
                                                 (1, 20, 48000, 24)):
            with self.subTest(channels=channels, bits=bits):
                self.make_input(5000, channels, bits, rate, container_bits=container)
                result = self.convert('--overwrite')
                self.assertEqual(result, (0, status_lines(rate, bits, channels) +
                                          'Conversion complete.\n', ''))
                self.assert_lossless()

    def test_fast_mode_line(self):
        self.make_input(9000)
        self.assertEqual(self.convert('--fast'),
                         (0, status_lines(44100, 16, 2, fast=True) + 'Conversion complete.\n', ''))
        self.assert_lossless()

    def test_quiet_prints_nothing(self):
        self.make_input(4096)
        self.assertEqual(self.convert('--quiet', '-A'), (0, '', ''))
        self.assert_lossless()
        self.assertEqual(self.listing(), ['in.wav', 'out.m4a'])

    def test_later_output_option_wins(self):
        self.make_input(100)
        self.assertEqual(rztest.run('in.wav', 'out1.m4a', '-o', 'out2.m4a', '--quiet',
                                    cwd=self.dir), (0, '', ''))
        self.assertEqual(self.listing(), ['in.wav', 'out2.m4a'])
        self.assert_lossless('out2.m4a')


class ProfileReport(PipelineTest):
    def check_row(self, line, fmt, name, base):
        cycles, percent, calls = line[24:].split()
        self.assertEqual(line[:24].rstrip(), name)
        cycles, calls = int(cycles), int(calls)
        share = cycles * 100.0 / base if base else 0.0
        self.assertEqual(line, fmt % (name, cycles, share, calls))
        return cycles, calls

    def test_quiet_profile_prints_only_the_report(self):
        self.make_input(3 * 4096 + 5)
        code, out, err = self.convert('--quiet', '--profile')
        self.assertEqual((code, err), (0, ''))
        self.assert_lossless()
        lines = out.split('\n')
        self.assertEqual(lines[:3], [
            '', 'RO-ZOZA internal profile (RDTSC cycles; profiling build instrumentation enabled)',
            '%-24s %14s %10s %12s' % ('Stage', 'Cycles', '% Encode', 'Calls')])
        total = int(lines[3][24:].split()[0])
        rows = {}
        for i, name in enumerate(STAGES):
            rows[name] = self.check_row(lines[3 + i], '%-24s %14d %9.2f%% %12d', name, total)
        # Four packets, the last one short: one encode and one sink call each.
        self.assertEqual(rows['ALAC encode total'][1], 4)
        self.assertEqual(rows['M4A packet sink'][1], 4)
        inner = sum(rows[n][0] for n in ('Stereo matrix (mix16)', 'Dynamic predictor',
                                         'Adaptive Golomb'))
        rest = lines[14:]
        if total >= inner:
            other = total - inner
            self.assertEqual(rest[0], '%-24s %14d %9.2f%%' % ('Other ALAC encode work', other,
                                                              other * 100.0 / total if total else 0))
            rest = rest[1:]
        self.assertEqual(rest[:3], ['', 'Predictor path breakdown',
                                    '%-24s %14s %12s %12s' % ('Path', 'Cycles', '% Predictor',
                                                              'Calls')])
        predictor = rows['Dynamic predictor'][0]
        for i, name in enumerate(STAGES[6:]):
            self.assertEqual(self.check_row(rest[3 + i], '%-24s %14d %11.2f%% %12d', name,
                                            predictor), rows[name])
        self.assertEqual(rest[8:], ['Note: stage percentages are diagnostic, not wall-clock '
                                    'benchmark results.', ''])

    def test_report_follows_the_completion_line(self):
        self.make_input(100)
        code, out, err = self.convert('--profile')
        self.assertEqual((code, err), (0, ''))
        head = status_lines(44100, 16, 2) + 'Conversion complete.\n\nRO-ZOZA internal profile'
        self.assertTrue(out.startswith(head), out)

    def test_failed_conversion_prints_no_report(self):
        self.make_input(100)
        with open(self.path('out.m4a'), 'wb') as f:
            f.write(b'keep')
        self.assert_failed(self.convert('--profile'), 'output file already exists (use --overwrite)')


class ExistingOutput(PipelineTest):
    OLD = b'an older file that must survive\n' * 10

    def setUp(self):
        super().setUp()
        with open(self.path('out.m4a'), 'wb') as f:
            f.write(self.OLD)

    def test_refused_without_overwrite(self):
        self.make_input(5000)
        self.assert_failed(self.convert(), 'output file already exists (use --overwrite)')
        self.assertEqual(read_bytes(self.path('out.m4a')), self.OLD)
        self.assertEqual(self.listing(), ['in.wav', 'out.m4a'])

    # No file can take a folder's place, so --overwrite cannot help either.
    def test_a_folder_of_that_name_is_refused(self):
        self.make_input(100)
        os.mkdir(self.path('dir.m4a'))
        for options in ([], ['--overwrite']):
            with self.subTest(options=options):
                self.assert_failed(self.convert(*options, out='dir.m4a'), 'output is a directory')
                self.assertEqual(self.listing(), ['dir.m4a', 'in.wav', 'out.m4a'])
                self.assertEqual(os.listdir(self.path('dir.m4a')), [])

    def test_replaced_with_overwrite(self):
        self.make_input(5000)
        self.assertEqual(self.convert('--overwrite', '--quiet'), (0, '', ''))
        self.assert_lossless()
        self.assertEqual(self.listing(), ['in.wav', 'out.m4a'])

    def test_failed_overwrite_keeps_the_old_file(self):
        self.make_input(100)
        self.assert_failed(self.convert('--overwrite', '--artwork', 'cover.gif'),
                           'artwork must be JPEG or PNG')
        truncated_wav(self.path('in.wav'))
        self.assert_failed(self.convert('--overwrite'), 'truncated WAV PCM data',
                           out=status_lines(44100, 16, 2))
        self.assertEqual(read_bytes(self.path('out.m4a')), self.OLD)
        self.assertEqual(self.listing(), ['in.wav', 'out.m4a'])

    def test_input_errors_come_first(self):
        self.assert_failed(self.convert(), 'could not open WAV/RF64 input')
        with open(self.path('in.wav'), 'wb') as f:
            f.write(b'RIFX' + bytes(40))
        self.assert_failed(self.convert('--artwork', 'missing.png'),
                           'input is not a RIFF/RF64 WAVE file')
        self.assertEqual(read_bytes(self.path('out.m4a')), self.OLD)

    # A name the folder cannot hold cannot be checked either; nothing is written.
    def test_status_query_failure_leaves_the_name_alone(self):
        self.make_input(100)
        name = 'n' * 300 + '.m4a'
        code, out, err = self.convert('--overwrite', out=name)
        self.assertEqual((code, out), (1, ''))
        self.assertEqual(err, f'Error: could not check the output file: {name}: '
                              f'{os.strerror(errno.ENAMETOOLONG)}\n')
        self.assertEqual(self.listing(), ['in.wav', 'out.m4a'])

    # A link whose target is gone (or a link to itself) still takes the name.
    def test_a_dangling_link_counts_as_existing(self):
        self.make_input(5000)
        for target in ('gone.m4a', 'loop.m4a'):
            with self.subTest(target=target):
                link = self.path('loop.m4a' if target == 'loop.m4a' else 'link.m4a')
                os.symlink(target, link)
                self.assert_failed(self.convert(out=os.path.basename(link)),
                                   'output file already exists (use --overwrite)')
                self.assertEqual(os.readlink(link), target)
                self.assertEqual(self.convert('--overwrite', '--quiet',
                                              out=os.path.basename(link)), (0, '', ''))
                self.assertFalse(os.path.islink(link))
                self.assertFalse(os.path.exists(self.path('gone.m4a')))
                os.remove(link)
                self.assertEqual(self.listing(), ['in.wav', 'out.m4a'])


def truncated_wav(path):
    """A stereo 16-bit WAV whose data chunk claims 10000 frames but holds
    5000: the first block of 4096 frames is delivered, then reading fails."""
    frames = music(5000, 2, 16)
    with open(path, 'wb') as f:
        f.write(wav_header(2, 44100, 16, 10000 * 4) + rztest.pack_samples(frames, 16))


JPEG_START = b'\xff\xd8\xff\xe0'


class Artwork(PipelineTest):
    def write(self, name, size, start=JPEG_START):
        with open(self.path(name), 'wb') as f:
            f.write(start[:size])
            f.truncate(size)

    def test_every_refusal_leaves_no_output(self):
        self.make_input(100)
        self.write('cover.gif', 10)
        self.write('empty.png', 0)
        self.write('big.jpg', ARTWORK_LIMIT + 1)
        # The name admits it; the content does not: WebP, and a JPEG's
        # first two bytes alone.
        self.write('webp.jpg', 100, b'RIFF\x5c\x00\x00\x00WEBPVP8 ')
        self.write('cut.jpeg', 2)
        self.write('text.png', 100, b'\x89PNG\r\n\x1a')
        os.mkdir(self.path('folder.jpg'))
        cases = [('cover.gif', 'artwork must be JPEG or PNG'),
                 ('webp.jpg', 'artwork must be JPEG or PNG'),
                 ('cut.jpeg', 'artwork must be JPEG or PNG'),
                 ('text.png', 'artwork must be JPEG or PNG'),
                 ('cover', 'artwork must be JPEG or PNG'),
                 ('missing.jpg', 'could not open artwork file'),
                 ('empty.png', 'artwork file is empty or too large'),
                 ('big.jpg', 'artwork file is empty or too large'),
                 ('folder.jpg', 'could not open artwork file')]
        # A kernel attribute file claims a page but yields a few bytes.
        if os.path.exists('/sys/devices/system/cpu/online'):
            os.symlink('/sys/devices/system/cpu/online', self.path('short.jpg'))
            cases.append(('short.jpg', 'failed reading artwork file'))
        before = self.listing()
        for name, message in cases:
            with self.subTest(artwork=name):
                self.assert_failed(self.convert('--artwork', name), message)
                self.assertEqual(self.listing(), before)

    def test_limit_size_is_accepted(self):
        self.make_input(100)
        self.write('COVER.JPEG', ARTWORK_LIMIT)
        self.assertEqual(self.convert('--artwork', 'COVER.JPEG', '--quiet'), (0, '', ''))
        self.assert_lossless()
        self.assertGreater(os.path.getsize(self.path('out.m4a')), ARTWORK_LIMIT)


class FailuresLeaveNothing(PipelineTest):
    def test_missing_output_folder(self):
        self.make_input(100)
        self.assert_failed(self.convert(out='no/such/out.m4a'), 'could not create M4A output')
        self.assertEqual(self.listing(), ['in.wav'])

    def test_wav_truncated_after_the_first_block(self):
        truncated_wav(self.path('in.wav'))
        self.assert_failed(self.convert(), 'truncated WAV PCM data', out=status_lines(44100, 16, 2))
        self.assertEqual(self.listing(), ['in.wav'])

    @unittest.skipIf(rztest.WRAPPER, 'resource limits do not pass through the wrapper')
    def test_write_failure_during_media_data(self):
        noise_wav(self.path('in.wav'), 3)
        code, out, err = rztest.run('in.wav', 'out.m4a', '--quiet', cwd=self.dir,
                                    preexec_fn=ignore_sigxfsz_and_limit(64 * 1024))
        self.assertEqual((code, out, err), (1, '', 'Error: failed while writing M4A media data\n'))
        self.assertEqual(self.listing(), ['in.wav'])


@unittest.skipIf(rztest.WRAPPER, 'POSIX signals do not pass through the wrapper')
class Interruption(rztest.TempDirTest):
    @classmethod
    def setUpClass(cls):
        cls._input_dir = tempfile.TemporaryDirectory(prefix='rz-long-')
        cls.input = os.path.join(cls._input_dir.name, 'long.wav')
        noise_wav(cls.input, 600)

    @classmethod
    def tearDownClass(cls):
        cls._input_dir.cleanup()

    def test_signal_during_conversion(self):
        for signum in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=signum.name):
                proc = subprocess.Popen([rztest.BINARY, self.input, self.path('out.m4a')],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL)
                seen = b''
                while not seen.endswith(b'Encoding...\n'):
                    line = proc.stdout.readline()
                    self.assertTrue(line, 'the conversion ended before it was interrupted')
                    seen += line
                proc.send_signal(signum)
                out, err = proc.communicate(timeout=300)
                self.assertEqual((proc.returncode, err), (1, b'Error: interrupted\n'))
                self.assertEqual(seen + out, status_lines(44100, 16, 2).encode())
                self.assertEqual(os.listdir(self.dir), [])


if __name__ == '__main__':
    unittest.main()
