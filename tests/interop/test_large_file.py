"""A recording past 4 GiB through the whole program: an RF64 file of just over
4 GiB of incompressible 8-channel 24-bit samples, generated on the spot,
converts into an M4A whose media data needs a 64-bit mdat size and a co64
chunk offset. ffmpeg decodes all of it back to the generator's bytes
(compared by hash, streamed), mutagen and GStreamer read its length and tags.
Every big file is removed afterwards, whatever the outcome."""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

import rztest

try:
    import mutagen.mp4 as mp4
except ImportError:  # checked in the test, so that CI reports it
    mp4 = None

CHANNELS = 8
BYTES_PER_SAMPLE = 3
BLOCK = CHANNELS * BYTES_PER_SAMPLE
RATE = 48000
PACKET_FRAMES = 4096
# Just past 4 GiB of samples, ending in a short packet. Noise is stored
# uncompressed, so the media data is at least as large as the samples.
FRAMES = (1 << 32) // BLOCK + 2 * PACKET_FRAMES + 1234
DATA_BYTES = FRAMES * BLOCK
# Input and output, plus room to spare.
SPACE_NEEDED = 2 * DATA_BYTES + (1 << 30)

# A pseudo-random pool repeated end to end. Its length is far above a
# packet's 98,304 bytes and shares no period with it, so every packet holds
# fresh noise that no predictor can compress.
POOL = hashlib.shake_256(b'ro-zoza large recording').digest((1 << 20) + 13)
CHUNK = POOL * 16

TAGS = {'title': 'Concert, part one', 'artist': 'Ensemble à huit', 'album': 'Live'}
SUBTYPE_PCM = bytes.fromhex('0100000000001000800000aa00389b71')


def rf64_header():
    """RF64 header up to the data chunk's payload: ds64 carries the sizes,
    the 32-bit fields hold the placeholder 0xFFFFFFFF."""
    ds64 = struct.pack('<QQQI', 0, DATA_BYTES, FRAMES, 0)
    fmt = struct.pack('<HHIIHHHHI', 0xFFFE, CHANNELS, RATE, RATE * BLOCK, BLOCK,
                      8 * BYTES_PER_SAMPLE, 22, 8 * BYTES_PER_SAMPLE, 0) + SUBTYPE_PCM
    return (b'RF64' + struct.pack('<I', 0xFFFFFFFF) + b'WAVE'
            + b'ds64' + struct.pack('<I', len(ds64)) + ds64
            + b'fmt ' + struct.pack('<I', len(fmt)) + fmt
            + b'data' + struct.pack('<I', 0xFFFFFFFF))


def write_input(path):
    """Writes the RF64 file; returns the SHA-256 of its sample bytes."""
    digest = hashlib.sha256()
    with open(path, 'wb') as f:
        f.write(rf64_header())
        left = DATA_BYTES
        while left:
            chunk = CHUNK if left >= len(CHUNK) else CHUNK[:left]
            f.write(chunk)
            digest.update(chunk)
            left -= len(chunk)
    return digest.hexdigest()


class LargeFileTest(unittest.TestCase):
    def setUp(self):
        for tool in ('ffmpeg', 'gst-discoverer-1.0'):
            rztest.require_tool(self, tool)
        if mp4 is None:
            if rztest.IN_CI:
                self.fail('mutagen is required in CI but not installed')
            self.skipTest('mutagen not installed')
        self.dir = tempfile.mkdtemp(prefix='rz-large-')
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        free = shutil.disk_usage(self.dir).free
        if free < SPACE_NEEDED:
            message = (f'{SPACE_NEEDED / 1e9:.1f} GB of free disk space needed in '
                       f'{self.dir}, {free / 1e9:.1f} GB free')
            if rztest.IN_CI:
                self.fail(message)
            self.skipTest(message)
        self.times = {}

    def timed(self, name, action):
        start = time.monotonic()
        result = action()
        self.times[name] = time.monotonic() - start
        return result

    def read_head_and_moov(self, path):
        """The first 36 bytes of the file and its moov box, read without
        loading the media data."""
        with open(path, 'rb') as f:
            head = f.read(36)
            self.assertEqual(head[20:28], b'\0\0\0\x01mdat', 'no 64-bit mdat header at 20')
            mdat_size = struct.unpack('>Q', head[28:36])[0]
            f.seek(20 + mdat_size)
            moov = f.read()
        return head, moov

    def test_recording_past_four_gigabytes(self):
        wav, m4a = os.path.join(self.dir, 'in.rf64'), os.path.join(self.dir, 'out.m4a')
        expected = self.timed('generate', lambda: write_input(wav))
        options = [a for key, value in TAGS.items() for a in (f'--{key}', value)]
        code, out, err = self.timed('convert', lambda: rztest.run(
            wav, m4a, '--quiet', '--track', '2/5', *options, timeout=900))
        os.remove(wav)
        self.assertEqual((code, err), (0, ''))
        for line in out.splitlines(keepends=True):
            self.assertRegex(line, r'^compressed frame too big: \d+ vs\. \d+ ?\n$')

        head, moov = self.read_head_and_moov(m4a)
        self.assertEqual(head[:20], b'\0\0\0\x14ftypM4A \0\0\0\0isom')
        payload = struct.unpack('>Q', head[28:36])[0] - 16
        self.assertGreater(payload, 0xFFFFFFFF - 8)
        self.assertEqual(os.path.getsize(m4a), 36 + payload + len(moov))
        self.assertEqual(rztest.walk_boxes(moov)[0][0], b'moov')
        stbl = 'moov/trak/mdia/minf/stbl/'
        self.assertIsNone(rztest.find_box(moov, stbl + 'stco'))
        off, _ = rztest.find_box(moov, stbl + 'co64')
        self.assertEqual(struct.unpack('>IQ', moov[off + 12:off + 24]), (1, 36))
        off, _ = rztest.find_box(moov, stbl + 'stsz')
        count = struct.unpack('>I', moov[off + 16:off + 20])[0]
        self.assertEqual(count, -(-FRAMES // PACKET_FRAMES))
        self.assertEqual(sum(struct.unpack(f'>{count}I', moov[off + 20:off + 20 + 4 * count])),
                         payload)
        off, _ = rztest.find_box(moov, 'moov/trak/mdia/mdhd')
        self.assertEqual(struct.unpack('>II', moov[off + 20:off + 28]), (RATE, FRAMES))

        # ffmpeg decodes every sample back to the generator's bytes.
        proc = self.timed('ffmpeg', lambda: subprocess.run(
            ['ffmpeg', '-v', 'warning', '-i', m4a, '-map', '0:a', '-c:a', 'pcm_s24le',
             '-f', 'hash', '-hash', 'sha256', '-'], capture_output=True, timeout=900))
        self.assertEqual((proc.returncode, proc.stderr.decode('utf-8', 'replace')), (0, ''))
        self.assertEqual(proc.stdout.decode().strip(), f'SHA256={expected}')

        info = self.timed('mutagen', lambda: mp4.MP4(m4a))
        self.assertAlmostEqual(info.info.length, FRAMES / RATE, delta=0.002)
        self.assertEqual(info.info.channels, CHANNELS)
        self.assertEqual(info.tags['\xa9nam'], [TAGS['title']])
        self.assertEqual(info.tags['\xa9ART'], [TAGS['artist']])
        self.assertEqual(info.tags['trkn'], [(2, 5)])

        proc = self.timed('gstreamer', lambda: subprocess.run(
            ['gst-discoverer-1.0', '-v', m4a], capture_output=True, timeout=300))
        text = proc.stdout.decode('utf-8', 'replace')
        self.assertEqual(proc.returncode, 0, text + proc.stderr.decode('utf-8', 'replace'))
        duration = re.search(r'Duration: (\d+):(\d\d):(\d\d\.\d+)', text)
        self.assertIsNotNone(duration, text)
        hours, minutes, seconds = duration.groups()
        self.assertAlmostEqual(int(hours) * 3600 + int(minutes) * 60 + float(seconds),
                               FRAMES / RATE, delta=0.002)
        for key in ('title', 'artist', 'album'):
            self.assertIn(f'{key}: {TAGS[key]}\n', text)
        self.assertIn('track number: 2\n', text)
        print('seconds: ' + ', '.join(f'{k} {v:.1f}' for k, v in self.times.items()), flush=True)


if __name__ == '__main__':
    unittest.main()
