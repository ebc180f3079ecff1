"""Tags and cover art through the whole program, read back by mutagen and by
walking the item list: every text field with non-ASCII UTF-8, the number
pairs, the cover's bytes and type, the fixed item order and the cases that
write no item list at all. Every file is also decoded by ffmpeg."""
import math
import subprocess
import unittest

import rztest


DEFAULT_ENCODER = 'RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder'

# Option, mutagen key, value; the table order is the order in the file.
TEXT_TAGS = [
    ('--title', '\xa9nam', 'Title — Ünïcødé ♪'),
    ('--artist', '\xa9ART', 'Артист'),
    ('--album', '\xa9alb', 'アルバム'),
    ('--albumartist', 'aART', 'Ensemble Ø'),
    ('--genre', '\xa9gen', 'Musique concrète'),
    ('--date', '\xa9day', '2024-05-06'),
    ('--comment', '\xa9cmt', 'a comment\nwith two lines'),
    ('--composer', '\xa9wrt', 'Dvořák'),
    ('--lyrics', '\xa9lyr', 'la la 😀 la'),
    ('--copyright', 'cprt', '© 2024 Ärger GmbH'),
    ('--encoder', '\xa9too', 'Encoder «test»'),
]

ITEM_ORDER = [key.encode('latin-1') for _, key, _ in TEXT_TAGS] + [b'trkn', b'disk', b'covr']

JPEG = b'\xff\xd8\xff\xe0' + bytes(range(256)) * 3 + b'\xff\xd9'
PNG = b'\x89PNG\r\n\x1a\n' + bytes(range(255, -1, -1)) * 2


def tone(count, channels=2):
    return [tuple(int(9000 * math.sin(i * (c + 1) / 17.0)) for c in range(channels))
            for i in range(count)]


class TagTest(rztest.TempDirTest):
    def setUp(self):
        super().setUp()
        self.mp4 = rztest.require_mutagen(self)
        self.frames = tone(5000)
        rztest.write_wav(self.path('in.wav'), self.frames, 2)

    def convert(self, *options):
        """Converts in.wav quietly, checks the run and the samples, and
        returns the file's bytes."""
        result = rztest.run('in.wav', 'out.m4a', '--quiet', *options, cwd=self.dir)
        self.assertEqual(result, (0, '', ''))
        decoded = rztest.decode_with_ffmpeg(self, self.path('out.m4a'), 2, 16)
        self.assertTrue(decoded == self.frames, 'decoded samples differ from the input')
        with open(self.path('out.m4a'), 'rb') as f:
            return f.read()

    def write(self, name, data):
        with open(self.path(name), 'wb') as f:
            f.write(data)

    def tags(self):
        return self.mp4.MP4(self.path('out.m4a')).tags

    def items(self, data):
        """(code, size) of each item in moov/udta/meta/ilst."""
        found = rztest.find_box(data, 'moov/udta/meta/ilst')
        self.assertIsNotNone(found, 'no item list')
        off, size = found
        return [(kind, length) for kind, _, length in rztest.walk_boxes(data, off + 8, off + size)]

    def test_every_tag_reads_back(self):
        self.write('cover.jpg', JPEG)
        options = []
        for option, _, value in TEXT_TAGS:
            options += [option, value]
        data = self.convert(*options, '--track', '3/12', '--disc', '1/2', '--artwork', 'cover.jpg')
        tags = self.tags()
        for option, key, value in TEXT_TAGS:
            with self.subTest(option=option):
                self.assertEqual(tags[key], [value])
        self.assertEqual(tags['trkn'], [(3, 12)])
        self.assertEqual(tags['disk'], [(1, 2)])
        self.assertEqual(len(tags['covr']), 1)
        self.assertEqual(bytes(tags['covr'][0]), JPEG)
        self.assertEqual(tags['covr'][0].imageformat, self.mp4.MP4Cover.FORMAT_JPEG)
        self.assertEqual([kind for kind, _ in self.items(data)], ITEM_ORDER)

    def test_order_does_not_follow_the_command_line(self):
        self.write('cover.png', PNG)
        options = ['--artwork', 'cover.png', '--disc', '2', '--track', '5']
        for option, _, value in reversed(TEXT_TAGS):
            options += [option, value]
        items = self.items(self.convert(*options))
        self.assertEqual([kind for kind, _ in items], ITEM_ORDER)
        sizes = dict(items)
        self.assertEqual(sizes[b'trkn'], 32)
        self.assertEqual(sizes[b'disk'], 30)
        self.assertEqual(sizes[b'covr'], 24 + len(PNG))
        self.assertEqual(sizes[b'\xa9nam'], 24 + len(TEXT_TAGS[0][2].encode('utf-8')))

    def test_cover_type_comes_from_the_content(self):
        # The name only admits the file; the bytes decide the type.
        for name, content, code in [('cover.PNG', PNG, self.mp4.MP4Cover.FORMAT_PNG),
                                    ('cover.JPEG', JPEG, self.mp4.MP4Cover.FORMAT_JPEG),
                                    ('png-named.jpg', PNG, self.mp4.MP4Cover.FORMAT_PNG),
                                    ('jpeg-named.png', JPEG, self.mp4.MP4Cover.FORMAT_JPEG)]:
            with self.subTest(name=name):
                self.write(name, content)
                self.convert('--overwrite', '--artwork', name)
                cover = self.tags()['covr'][0]
                self.assertEqual(cover.imageformat, code)
                self.assertEqual(bytes(cover), content)

    def test_aliases_and_last_value_wins(self):
        self.convert('--title', 'first', '--title', 'second', '--band', 'The Band',
                     '--year', '1999', '--disk', '3/4', '--track', '7', '--tracktotal', '9',
                     '--album-artist', 'Later')
        tags = self.tags()
        self.assertEqual(tags['\xa9nam'], ['second'])
        self.assertEqual(tags['aART'], ['Later'])
        self.assertEqual(tags['\xa9day'], ['1999'])
        self.assertEqual(tags['disk'], [(3, 4)])
        self.assertEqual(tags['trkn'], [(7, 9)])

    def test_number_pairs(self):
        data = self.convert('--track', '0/5', '--disc', '0')
        self.assertEqual(self.tags()['trkn'], [(0, 5)])
        self.assertNotIn('disk', self.tags())
        self.assertEqual([kind for kind, _ in self.items(data)], [b'\xa9too', b'trkn'])
        off, _ = rztest.find_box(data, 'moov/udta/meta/ilst/trkn')
        self.assertEqual(data[off + 24:off + 32], bytes.fromhex('0000000000050000'))
        self.convert('--overwrite', '--track', '7')
        self.assertEqual(self.tags()['trkn'], [(7, 0)])

    def test_default_encoder_alone(self):
        data = self.convert()
        self.assertEqual(self.items(data), [(b'\xa9too', 24 + len(DEFAULT_ENCODER))])
        self.assertEqual(dict(self.tags()), {'\xa9too': [DEFAULT_ENCODER]})
        off, size = rztest.find_box(data, 'moov/udta/meta/hdlr')
        self.assertEqual(data[off:off + size], bytes.fromhex(
            '00000021 68646c72 00000000 00000000 6d646972 6170706c 00000000 00000000 00'))

    def test_nothing_to_write_gives_no_udta(self):
        data = self.convert('--encoder', '')
        off, size = rztest.find_box(data, 'moov')
        self.assertEqual([kind for kind, _, _ in rztest.walk_boxes(data, off + 8, off + size)],
                         [b'mvhd', b'trak'])
        self.assertFalse(self.tags())

    def test_ffprobe_sees_the_tags(self):
        probe = rztest.require_tool(self, 'ffprobe')
        self.convert('--title', 'Tïtle', '--artist', 'Ärtist', '--track', '2/3')
        out = subprocess.run([probe, '-v', 'error', '-show_entries', 'format_tags',
                              '-of', 'default=noprint_wrappers=1', self.path('out.m4a')],
                             capture_output=True, check=True).stdout.decode('utf-8')
        self.assertIn('TAG:title=Tïtle\n', out)
        self.assertIn('TAG:artist=Ärtist\n', out)
        self.assertIn('TAG:track=2/3\n', out)


if __name__ == '__main__':
    unittest.main()
