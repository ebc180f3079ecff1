"""FLAC input end to end: files made by the flac tool convert to M4A files
that ffmpeg decodes to exactly their samples, byte for byte the same file as
from the same audio in a WAV; refused, empty and damaged FLAC files leave no
output file behind."""
import os
import unittest

import flactest
import rztest

TAGS = ['--title', 'FLAC source', '--artist', 'ro-zoza tests', '--track', '3/9']


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


class FlacConversion(rztest.TempDirTest):

    def convert(self, source, output, *extra):
        code, out, err = rztest.run(source, output, *TAGS, *extra)
        self.assertEqual((code, err), (0, ''), out)
        self.assertTrue(out.endswith('Conversion complete.\n'), out)
        return out

    def test_layouts_decode_exactly_and_match_the_wav_conversion(self):
        for channels, bits in [(1, 16), (2, 16), (2, 20), (2, 24), (2, 32), (6, 20), (6, 24)]:
            with self.subTest(channels=channels, bits=bits):
                frames = flactest.make_frames(channels, bits, 10000)
                flac = self.path(f'{channels}ch{bits}.flac')
                wav = flactest.write_flac(self, flac, frames, channels, bits)
                from_flac = self.path(f'{channels}ch{bits}-flac.m4a')
                from_wav = self.path(f'{channels}ch{bits}-wav.m4a')
                flac_out = self.convert(flac, from_flac)
                wav_out = self.convert(wav, from_wav)
                self.assertEqual(flac_out, wav_out)
                self.assertIn(f'Input:  44100 Hz, {bits}-bit, {channels} ch\n', flac_out)
                self.assertEqual(rztest.decode_with_ffmpeg(self, from_flac, channels, bits), frames)
                self.assertEqual(read_bytes(from_flac), read_bytes(from_wav))

    def test_fast_mode_matches_the_wav_conversion(self):
        frames = flactest.make_frames(2, 24, 5000)
        flac = self.path('fast.flac')
        wav = flactest.write_flac(self, flac, frames, 2, 24)
        self.convert(flac, self.path('flac.m4a'), '--fast')
        self.convert(wav, self.path('wav.m4a'), '--fast')
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.path('flac.m4a'), 2, 24), frames)
        self.assertEqual(read_bytes(self.path('flac.m4a')), read_bytes(self.path('wav.m4a')))

    # Bytes after the last frame (a tag glued to the file, say) are not audio.
    def test_junk_after_the_audio_converts(self):
        frames = flactest.make_frames(2, 16, 10000)
        flac = self.path('junk.flac')
        flactest.write_flac(self, flac, frames, 2, 16)
        with open(flac, 'ab') as f:
            f.write(bytes((i * 73 + 41) & 0xFF for i in range(128)))
        self.convert(flac, self.path('junk.m4a'))
        self.assertEqual(rztest.decode_with_ffmpeg(self, self.path('junk.m4a'), 2, 16), frames)


class FlacRefusals(rztest.TempDirTest):

    def assert_fails(self, flac, message):
        output = self.path('out.m4a')
        before = sorted(os.listdir(self.dir))
        code, out, err = rztest.run(flac, output)
        self.assertEqual((code, err), (1, f'Error: {message}\n'), out)
        self.assertFalse(os.path.exists(output))
        self.assertEqual(sorted(os.listdir(self.dir)), before)
        return out

    def test_depths_without_an_alac_form_are_refused(self):
        for bits in (8, 12):
            with self.subTest(bits=bits):
                flac = self.path(f'{bits}.flac')
                flactest.write_flac(self, flac, flactest.make_frames(2, bits, 3000), 2, bits)
                out = self.assert_fails(
                    flac, f'FLAC input uses {bits}-bit PCM; RO-ZOZA accepts 16, 20, 24 or '
                          '32-bit input without conversion')
                self.assertEqual(out, '')

    # Audio declared but none there: the stream is damaged; no output.
    def test_metadata_without_audio_frames(self):
        flac = self.path('meta.flac')
        flactest.write_flac(self, flac, flactest.make_frames(2, 16, 3000), 2, 16)
        data = read_bytes(flac)
        with open(flac, 'wb') as f:
            f.write(data[:flactest.audio_offset(data)])
        out = self.assert_fails(
            flac, 'FLAC decode error: the stream holds 0 sample frames, 3000 were declared')
        self.assertEqual(out, '')

    # libFLAC skips a damaged frame and goes on; the conversion must not.
    def test_damage_in_the_middle_fails(self):
        flac = self.path('damaged.flac')
        flactest.write_flac(self, flac, flactest.make_frames(2, 16, 10000), 2, 16)
        data = bytearray(read_bytes(flac))
        start = flactest.audio_offset(data)
        data[start + (len(data) - start) * 6 // 10] ^= 0x5A  # inside the second frame
        with open(flac, 'wb') as f:
            f.write(data)
        self.assert_fails(flac, 'FLAC decode error: frame CRC mismatch')

    def test_file_cut_inside_a_frame_fails(self):
        flac = self.path('cut.flac')
        flactest.write_flac(self, flac, flactest.make_frames(2, 16, 10000), 2, 16)
        data = read_bytes(flac)
        with open(flac, 'wb') as f:
            f.write(data[:len(data) * 6 // 10])
        self.assert_fails(flac, 'FLAC decode error: lost sync')

    def test_not_a_flac_file(self):
        flac = self.path('text.flac')
        with open(flac, 'wb') as f:
            f.write(b'')
        self.assert_fails(flac, 'FLAC metadata decode failed: FLAC__STREAM_DECODER_END_OF_STREAM')
        self.assert_fails(self.path('absent.flac'), 'libFLAC could not initialize the input file')


if __name__ == '__main__':
    unittest.main()
