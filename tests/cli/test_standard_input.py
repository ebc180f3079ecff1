"""WAV and RF64 audio from standard input ("-") and from named pipes, the
way players' converters and scripts hand audio to an encoder: byte for byte
the file a regular file gives, whoever wrote the stream (cat, a FIFO, flac,
sox, ffmpeg), with the sizes a writer that cannot know the length leaves in
the header, and every way such a stream can end badly."""
import os
import shutil
import struct
import subprocess
import threading
import unittest

import rztest
from test_pipeline import music, status_lines

# (channels, bits): what every way in is tried with.
LAYOUTS = [(1, 16), (2, 16), (2, 24), (6, 24), (2, 32)]
FRAMES = 6000  # more than one packet


def container(bits):
    return (bits + 7) // 8 * 8


def with_data_size(wav, size, riff_size=None):
    """A plain RIFF WAV's bytes with the data chunk's size field replaced."""
    at = wav.index(b'data') + 4
    out = wav[:at] + struct.pack('<I', size) + wav[at + 4:]
    if riff_size is not None:
        out = out[:4] + struct.pack('<I', riff_size) + out[8:]
    return out


class StandardInputTest(rztest.TempDirTest):
    def listing(self):
        return sorted(os.listdir(self.dir))

    def pipe(self, data, *args):
        """Runs ro-zoza with `data` on its standard input."""
        proc = subprocess.run(rztest.WRAPPER + [rztest.BINARY] + [str(a) for a in args],
                              input=data, capture_output=True, cwd=self.dir, timeout=300)
        return proc.returncode, proc.stdout.decode(), proc.stderr.decode()

    def piped_from(self, command, *args):
        """Runs ro-zoza reading what `command` writes to its standard output."""
        producer = subprocess.Popen(command, stdout=subprocess.PIPE, cwd=self.dir)
        proc = subprocess.run(rztest.WRAPPER + [rztest.BINARY] + [str(a) for a in args],
                              stdin=producer.stdout, capture_output=True, cwd=self.dir,
                              timeout=300)
        producer.stdout.close()
        self.assertEqual(producer.wait(timeout=60), 0, command)
        return proc.returncode, proc.stdout.decode(), proc.stderr.decode()

    def read(self, name):
        with open(self.path(name), 'rb') as f:
            return f.read()


class EveryWayIn(StandardInputTest):
    def reference(self, channels, bits, rf64=False):
        self.frames = music(FRAMES, channels, bits)
        rztest.write_wav(self.path('in.wav'), self.frames, channels,
                         container_bits=container(bits), valid_bits=bits, rf64=rf64)
        self.assertEqual(rztest.run('in.wav', 'ref.m4a', '--quiet', '--overwrite', cwd=self.dir),
                         (0, '', ''))
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.path('ref.m4a'), channels, bits),
                         self.frames)
        return self.read('ref.m4a')

    def assert_same(self, result, name, reference):
        self.assertEqual(result, (0, '', ''))
        self.assertEqual(self.read(name), reference, f'{name} differs from the file conversion')
        os.remove(self.path(name))

    def test_cat_fifo_flac_sox_ffmpeg(self):
        flac = rztest.require_tool(self, 'flac')
        sox = rztest.require_tool(self, 'sox')
        ffmpeg = rztest.require_tool(self, 'ffmpeg')
        for channels, bits in LAYOUTS:
            with self.subTest(channels=channels, bits=bits):
                reference = self.reference(channels, bits)
                self.assert_same(self.piped_from(['cat', 'in.wav'], '-', 'cat.m4a', '--quiet'),
                                 'cat.m4a', reference)
                self.assert_same(self.from_fifo(), 'fifo.m4a', reference)
                subprocess.run([flac, '-s', '-f', '--channel-map=none', '-o', 'in.flac',
                                'in.wav'], cwd=self.dir, check=True)
                self.assert_same(self.piped_from([flac, '-s', '-d', '-c', 'in.flac'],
                                                 '-o', 'flac.m4a', '-', '--quiet'),
                                 'flac.m4a', reference)
                self.assert_same(self.piped_from([sox, 'in.wav', '-t', 'wav', '-'],
                                                 '-', 'sox.m4a', '--quiet'), 'sox.m4a', reference)
                # ffmpeg as the writer of the stream, from the raw samples.
                raw = f's{container(bits)}le'
                with open(self.path('in.raw'), 'wb') as f:
                    f.write(rztest.pack_samples(self.frames, container(bits), bits))
                self.assert_same(self.piped_from([ffmpeg, '-v', 'error', '-f', raw, '-ar',
                                                  '44100', '-ac', str(channels), '-i', 'in.raw',
                                                  '-c:a', f'pcm_{raw}', '-f', 'wav', '-'],
                                                 '-', 'ffmpeg.m4a', '--quiet'),
                                 'ffmpeg.m4a', reference)

    def from_fifo(self):
        os.mkfifo(self.path('fifo.wav'))
        data = self.read('in.wav')

        def feed():
            with open(self.path('fifo.wav'), 'wb') as f:
                f.write(data)

        writer = threading.Thread(target=feed)
        writer.start()
        try:
            return rztest.run('fifo.wav', 'fifo.m4a', '--quiet', cwd=self.dir)
        finally:
            writer.join()
            os.remove(self.path('fifo.wav'))

    def test_rf64(self):
        for channels, bits in ((2, 24), (6, 16)):
            with self.subTest(channels=channels, bits=bits):
                reference = self.reference(channels, bits, rf64=True)
                self.assert_same(self.pipe(self.read('in.wav'), '-', 'rf64.m4a', '--quiet'),
                                 'rf64.m4a', reference)


class UnknownLengths(StandardInputTest):
    def setUp(self):
        super().setUp()
        self.frames = music(FRAMES, 2, 16)
        self.wav = rztest.wav_bytes(self.frames, 2)
        rztest.write_wav(self.path('in.wav'), self.frames, 2)
        self.assertEqual(rztest.run('in.wav', 'ref.m4a', '--quiet', cwd=self.dir), (0, '', ''))
        self.reference = self.read('ref.m4a')

    def test_sizes_a_streaming_writer_leaves(self):
        for size, riff in ((0, 0), (0xFFFFFFFF, 0xFFFFFFFF), (0, 0xFFFFFFFF)):
            with self.subTest(size=size, riff=riff):
                data = with_data_size(self.wav, size, riff)
                result = self.pipe(data, '-', 'out.m4a')
                self.assertEqual(result, (0, status_lines(44100, 16, 2) +
                                          'Conversion complete.\n', ''))
                self.assertEqual(self.read('out.m4a'), self.reference)
                os.remove(self.path('out.m4a'))

    def test_rf64_placeholder_without_a_ds64_size(self):
        data = bytearray(rztest.wav_bytes(self.frames, 2, rf64=True))
        ds64 = data.index(b'ds64') + 8
        data[ds64 + 8:ds64 + 16] = bytes(8)   # the data size in ds64
        self.assertEqual(self.pipe(bytes(data), '-', 'out.m4a', '--quiet'), (0, '', ''))
        self.assertEqual(self.read('out.m4a'), self.reference)

    # A declared size is honoured on a pipe as in a file.
    def test_declared_size_is_honoured(self):
        half = (FRAMES // 2) * 4
        data = with_data_size(self.wav, half)
        self.assertEqual(self.pipe(data, '-', 'out.m4a', '--quiet'), (0, '', ''))
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.path('out.m4a'), 2, 16),
                         self.frames[:FRAMES // 2])

    def test_stream_cut_short(self):
        cut = self.wav[:len(self.wav) - 1000]
        # With a declared size: the audio that should follow is missing.
        self.assertEqual(self.pipe(cut, '-', 'out.m4a'),
                         (1, status_lines(44100, 16, 2), 'Error: truncated WAV PCM data\n'))
        self.assertEqual(self.listing(), ['in.wav', 'ref.m4a'])
        # Without one: what arrived is the audio, up to its last whole frame.
        code, out, err = self.pipe(with_data_size(cut, 0), '-', 'out.m4a')
        self.assertEqual((code, err), (0, ''))
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.path('out.m4a'), 2, 16),
                         self.frames[:FRAMES - 250])

    def test_stray_bytes_after_the_last_frame(self):
        data = with_data_size(self.wav, 0) + b'\x01\x02\x03'
        self.assertEqual(self.pipe(data, '-', 'out.m4a'),
                         (0, status_lines(44100, 16, 2) + 'Conversion complete.\n',
                          'Warning: ignored 3 bytes after the last whole sample frame\n'))
        self.assertEqual(self.read('out.m4a'), self.reference)
        os.remove(self.path('out.m4a'))
        self.assertEqual(self.pipe(data, '-', 'out.m4a', '--quiet'), (0, '', ''))

    # A producer that dies mid-stream, after the output was started.
    def test_producer_dies(self):
        script = ('import sys; d = open("in.wav", "rb").read(); '
                  'sys.stdout.buffer.write(d[:len(d) // 2]); sys.stdout.flush(); '
                  'import os; os._exit(1)')
        producer = subprocess.Popen(['/usr/bin/python3', '-c', script], stdout=subprocess.PIPE,
                                    cwd=self.dir)
        proc = subprocess.run(rztest.WRAPPER + [rztest.BINARY, '-', 'out.m4a', '--quiet'],
                              stdin=producer.stdout, capture_output=True, cwd=self.dir,
                              timeout=60)
        producer.stdout.close()
        producer.wait()
        self.assertEqual((proc.returncode, proc.stderr), (1, b'Error: truncated WAV PCM data\n'))
        self.assertEqual(self.listing(), ['in.wav', 'ref.m4a'])

    def test_ignorelength_on_a_file(self):
        wrong = with_data_size(self.wav, 400 * 4)
        with open(self.path('wrong.wav'), 'wb') as f:
            f.write(wrong)
        self.assertEqual(rztest.run('wrong.wav', 'out.m4a', '--quiet', '--ignorelength',
                                    cwd=self.dir), (0, '', ''))
        self.assertEqual(self.read('out.m4a'), self.reference)
        # Without the flag, a file's size is what it says.
        self.assertEqual(rztest.run('wrong.wav', 'short.m4a', '--quiet', cwd=self.dir),
                         (0, '', ''))
        self.assertEqual(len(rztest.decode_with_ffmpeg(self, self.path('short.m4a'), 2, 16)),
                         400)

    # A file that says 0 keeps the file's rule.
    def test_regular_files_keep_their_rules(self):
        with open(self.path('zero.wav'), 'wb') as f:
            f.write(with_data_size(self.wav, 0))
        self.assertEqual(rztest.run('zero.wav', 'out.m4a', cwd=self.dir),
                         (1, '', 'Error: WAV/RF64 input has no usable PCM data chunk\n'))
        # The same bytes on standard input redirected from the file.
        with open(self.path('zero.wav'), 'rb') as f:
            proc = subprocess.run(rztest.WRAPPER + [rztest.BINARY, '-', 'out.m4a'], stdin=f,
                                  capture_output=True, cwd=self.dir, timeout=60)
        self.assertEqual((proc.returncode, proc.stderr.decode()),
                         (1, 'Error: WAV/RF64 input has no usable PCM data chunk\n'))


class Refusals(StandardInputTest):
    def test_empty_and_foreign_streams(self):
        for data in (b'', b'fLaC' + bytes(100), b'hello\n'):
            with self.subTest(data=data[:8]):
                self.assertEqual(self.pipe(data, '-', 'out.m4a'),
                                 (1, '', 'Error: input is not a RIFF/RF64 WAVE file\n'))
        # A header whose data holds no whole frame.
        header = with_data_size(rztest.wav_bytes([], 2), 0)
        self.assertEqual(self.pipe(header, '-', 'out.m4a'),
                         (1, '', 'Error: WAV/RF64 input has no usable PCM data chunk\n'))
        self.assertEqual(self.listing(), [])

    def test_dash_only_in_the_inputs_place(self):
        wav = rztest.wav_bytes(music(100, 2, 16), 2)
        self.assertEqual(self.pipe(wav, '-o', 'a.m4a', '-', '--quiet'), (0, '', ''))
        self.assertEqual(self.pipe(wav, '-', 'b.m4a', '--quiet'), (0, '', ''))
        rztest.write_wav(self.path('in.wav'), music(100, 2, 16), 2)
        self.assertEqual(self.pipe(b'', 'in.wav', '-'), (2, '', 'Error: unknown option -\n'))
        self.assertEqual(self.pipe(b'', 'in.wav', '-o', '-'),
                         (2, '', 'Error: output must use .m4a extension.\n'))
        self.assertEqual(self.listing(), ['a.m4a', 'b.m4a', 'in.wav'])


class FlatMemory(StandardInputTest):
    def peak_kib(self, minutes):
        """Peak resident memory of a conversion of `minutes` of 8 kHz mono
        audio streamed with unknown length."""
        rate = 8000
        second = bytes((i * 37 + i // 7) & 0xFF for i in range(rate * 2))
        header = with_data_size(rztest.wav_bytes([], 1, rate=rate), 0xFFFFFFFF)
        proc = subprocess.Popen(rztest.WRAPPER + [rztest.BINARY, '-', 'out.m4a', '--quiet',
                                                  '--overwrite'],
                                stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, cwd=self.dir)
        proc.stdin.write(header)
        for _ in range(minutes * 60):
            proc.stdin.write(second)
        proc.stdin.close()
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
        self.assertEqual(proc.returncode, 0)
        return usage.ru_maxrss

    def test_sixty_minutes_take_no_more_than_ten(self):
        if rztest.WRAPPER:
            self.skipTest('the memory of the native build is measured')
        ten, sixty = self.peak_kib(10), self.peak_kib(60)
        # Only the 4-byte-a-packet size table grows: 60 minutes at 8 kHz are
        # about 7,000 packets, 28 KiB; allow a page-granular margin.
        self.assertLessEqual(sixty, ten + 256, (ten, sixty))


if __name__ == '__main__':
    unittest.main()
