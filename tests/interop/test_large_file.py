"""A recording past 4 GiB through the whole program: an RF64 file of just over
4 GiB of incompressible 8-channel 24-bit samples, generated on the spot,
converts into an M4A whose media data needs a 64-bit mdat size and a co64
chunk offset. ffmpeg decodes all of it back to the generator's bytes
(compared by hash, streamed), mutagen and GStreamer read its length and tags.
Every big file is removed afterwards, whatever the outcome."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import large_recording as rec
import rztest


TAGS = {'title': 'Concert, first half', 'artist': 'Ensemble à huit', 'album': 'Live'}
LENGTH = rec.FRAMES / rec.RATE


class LargeFileTest(unittest.TestCase):
    def setUp(self):
        for tool in ('ffmpeg', 'gst-discoverer-1.0'):
            rztest.require_tool(self, tool)
        self.mp4 = rztest.require_mutagen(self)
        self.dir = tempfile.mkdtemp(prefix='rz-large-')
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        # Input and output, plus room to spare.
        rec.require_free_space(self, self.dir, 2 * rec.DATA_BYTES + (1 << 30))
        self.times = {}

    def timed(self, name, action):
        start = time.monotonic()
        result = action()
        self.times[name] = time.monotonic() - start
        return result

    def test_recording_past_four_gigabytes(self):
        wav, m4a = os.path.join(self.dir, 'in.rf64'), os.path.join(self.dir, 'out.m4a')
        expected = self.timed('generate', lambda: rec.write_input(wav))
        options = [a for key, value in TAGS.items() for a in (f'--{key}', value)]
        code, out, err = self.timed('convert', lambda: rztest.run(
            wav, m4a, '--quiet', '--track', '2/5', *options, timeout=900))
        os.remove(wav)
        self.assertEqual((code, err), (0, ''))
        for line in out.splitlines(keepends=True):
            self.assertRegex(line, r'^compressed frame too big: \d+ vs\. \d+ ?\n$')
        payload = rec.check_layout(self, m4a)
        self.assertGreater(os.path.getsize(m4a), payload + 36)

        # ffmpeg decodes every sample back to the generator's bytes.
        proc = self.timed('ffmpeg', lambda: subprocess.run(
            ['ffmpeg', '-v', 'warning', '-i', m4a, '-map', '0:a', '-c:a', 'pcm_s24le',
             '-f', 'hash', '-hash', 'sha256', '-'], capture_output=True, timeout=900))
        self.assertEqual((proc.returncode, proc.stderr.decode('utf-8', 'replace')), (0, ''))
        self.assertEqual(proc.stdout.decode().strip(), f'SHA256={expected}')

        info = self.timed('mutagen', lambda: self.mp4.MP4(m4a))
        self.assertAlmostEqual(info.info.length, LENGTH, delta=0.002)
        self.assertEqual(info.info.channels, rec.CHANNELS)
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
        self.assertAlmostEqual(int(hours) * 3600 + int(minutes) * 60 + float(seconds), LENGTH,
                               delta=0.002)
        for key in ('title', 'artist', 'album'):
            self.assertIn(f'{key}: {TAGS[key]}\n', text)
        self.assertIn('track number: 2\n', text)
        print('seconds: ' + ', '.join(f'{k} {v:.1f}' for k, v in self.times.items()), flush=True)


if __name__ == '__main__':
    unittest.main()
