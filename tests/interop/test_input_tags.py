"""Tags and cover art carried over from the input: a FLAC file with every
field the program maps (made by the flac tool) read back by mutagen,
ffprobe, AtomicParsley and exiftool; the options laid over the file's
values field by field; several values, odd names and broken numbers; WAV
INFO lists before and after the audio. Every file is also decoded by
ffmpeg."""
import base64
import json
import math
import subprocess
import unittest

import rztest


ENCODER = 'RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder'
# The freeform items' namespace, as the 16 bytes the file holds.
FREEFORM = bytes.fromhex('636f6d2e6170706c652e6954756e6573').decode()
# exiftool names the freeform items' group after the namespace's last part.
FREEFORM_GROUP = FREEFORM.rsplit('.', 1)[1]

JPEG = b'\xff\xd8\xff\xe0' + bytes(range(256)) * 3 + b'\xff\xd9'
PNG = b'\x89PNG\r\n\x1a\n' + bytes(range(255, -1, -1)) * 2

# Every field of the mapping with a value, in the order the flac tool writes them.
FIELDS = [
    ('TITLE', 'Title — Ünïcødé ♪'), ('ARTIST', 'Артист'), ('ALBUM', 'アルバム'),
    ('ALBUMARTIST', 'Ensemble Ø'), ('GENRE', 'Musique concrète'), ('DATE', '2024-05-06'),
    ('COMMENT', 'a comment'), ('COMPOSER', 'Dvořák'), ('LYRICS', 'la la 😀 la'),
    ('COPYRIGHT', '© 2024 Ärger GmbH'), ('TRACKNUMBER', '3'), ('TRACKTOTAL', '12'),
    ('DISCNUMBER', '1'), ('DISCTOTAL', '2'), ('GROUPING', 'Group'), ('BPM', '128'),
    ('COMPILATION', '1'), ('TITLESORT', 'Title, The'), ('ARTISTSORT', 'Artist, An'),
    ('ALBUMSORT', 'Album sort'), ('ALBUMARTISTSORT', 'Ensemble sort'),
    ('COMPOSERSORT', 'Dvorak'), ('ENCODER', 'some other encoder'),
    ('ENCODED_BY', 'someone'), ('REPLAYGAIN_TRACK_GAIN', '-7.03 dB'),
    ('MUSICBRAINZ_TRACKID', '0f8e2b5c-1234-4d3e-9abc-0123456789ab'), ('ISRC', 'USRC17607839'),
    ('Label', 'Étiquette'),
]

TEXT_ITEMS = {'\xa9nam': 'TITLE', '\xa9ART': 'ARTIST', '\xa9alb': 'ALBUM',
              'aART': 'ALBUMARTIST', '\xa9gen': 'GENRE', '\xa9day': 'DATE',
              '\xa9cmt': 'COMMENT', '\xa9wrt': 'COMPOSER', '\xa9lyr': 'LYRICS',
              'cprt': 'COPYRIGHT', '\xa9grp': 'GROUPING', 'sonm': 'TITLESORT',
              'soar': 'ARTISTSORT', 'soal': 'ALBUMSORT', 'soaa': 'ALBUMARTISTSORT',
              'soco': 'COMPOSERSORT'}
FREEFORM_NAMES = ['REPLAYGAIN_TRACK_GAIN', 'MUSICBRAINZ_TRACKID', 'ISRC', 'Label']

ITEM_ORDER = [b'\xa9nam', b'\xa9ART', b'\xa9alb', b'aART', b'\xa9gen', b'\xa9day', b'\xa9cmt',
              b'\xa9wrt', b'\xa9lyr', b'cprt', b'\xa9too', b'trkn', b'disk', b'\xa9grp',
              b'tmpo', b'cpil', b'sonm', b'soar', b'soal', b'soaa', b'soco',
              b'----', b'----', b'----', b'----', b'covr']


def tone(count, channels=2):
    return [tuple(int(9000 * math.sin(i * (c + 1) / 17.0)) for c in range(channels))
            for i in range(count)]


def value(name):
    return dict(FIELDS)[name]


class InputTagTest(rztest.TempDirTest):
    def setUp(self):
        super().setUp()
        self.mp4 = rztest.require_mutagen(self)
        self.flac_tool = rztest.require_tool(self, 'flac')
        self.frames = tone(5000)
        rztest.write_wav(self.path('in.wav'), self.frames, 2)
        self.write('cover.png', PNG)
        self.write('cover.jpg', JPEG)

    def write(self, name, data):
        with open(self.path(name), 'wb') as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), 'rb') as f:
            return f.read()

    def make_flac(self, fields, *pictures, name='in.flac'):
        args = [self.flac_tool, '-s', '-f', '--no-padding', '-o', self.path(name)]
        for field, text in fields:
            args += ['-T', f'{field}={text}']
        # Sizes given, so that the flac tool takes the test's bytes as they are.
        args += [f'--picture={p}' if '|' in p else f'--picture=3|||1x1x24|{p}' for p in pictures]
        proc = subprocess.run(args + [self.path('in.wav')], capture_output=True, cwd=self.dir,
                              timeout=300)
        self.assertEqual(proc.returncode, 0, proc.stderr.decode('utf-8', 'replace'))

    def convert(self, *options, source='in.flac', out='out.m4a', expect=(0, '', '')):
        result = rztest.run(source, out, '--quiet', '--overwrite', *options, cwd=self.dir)
        self.assertEqual(result, expect)
        decoded = rztest.decode_with_ffmpeg(self, self.path(out), 2, 16)
        self.assertTrue(decoded == self.frames, 'decoded samples differ from the input')
        return self.read(out)

    def tags(self, out='out.m4a'):
        return self.mp4.MP4(self.path(out)).tags or {}

    def item_types(self, data):
        ilst = rztest.find_box(data, 'moov/udta/meta/ilst')
        return [kind for kind, _, _ in rztest.walk_boxes(data, ilst[0] + 8, ilst[0] + ilst[1])]


class EveryField(InputTagTest):
    def setUp(self):
        super().setUp()
        self.make_flac(FIELDS, 'cover.png')
        self.data = self.convert()

    def test_mutagen_reads_every_value(self):
        tags = self.tags()
        for key, field in TEXT_ITEMS.items():
            self.assertEqual(tags[key], [value(field)], key)
        self.assertEqual(tags['\xa9too'], [ENCODER])
        self.assertEqual(tags['trkn'], [(3, 12)])
        self.assertEqual(tags['disk'], [(1, 2)])
        self.assertEqual(tags['tmpo'], [128])
        self.assertIs(tags['cpil'], True)
        for name in FREEFORM_NAMES:
            item = tags[f'----:{FREEFORM}:{name}']
            self.assertEqual(item, [value(name).encode('utf-8')])
            self.assertEqual(item[0].dataformat, self.mp4.AtomDataType.UTF8)
        cover = tags['covr'][0]
        self.assertEqual(bytes(cover), PNG)
        self.assertEqual(cover.imageformat, self.mp4.MP4Cover.FORMAT_PNG)
        self.assertEqual(self.item_types(self.data), ITEM_ORDER)

    def test_ffprobe_reads_every_value(self):
        ffprobe = rztest.require_tool(self, 'ffprobe')
        proc = subprocess.run([ffprobe, '-v', 'error', '-show_entries', 'format_tags',
                               '-of', 'json', self.path('out.m4a')], capture_output=True,
                              timeout=300)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        tags = json.loads(proc.stdout)['format']['tags']
        expected = {'title': 'TITLE', 'artist': 'ARTIST', 'album': 'ALBUM',
                    'album_artist': 'ALBUMARTIST', 'genre': 'GENRE', 'date': 'DATE',
                    'comment': 'COMMENT', 'composer': 'COMPOSER', 'lyrics': 'LYRICS',
                    'copyright': 'COPYRIGHT', 'grouping': 'GROUPING', 'sort_name': 'TITLESORT',
                    'sort_artist': 'ARTISTSORT', 'sort_album': 'ALBUMSORT',
                    'sort_album_artist': 'ALBUMARTISTSORT', 'sort_composer': 'COMPOSERSORT'}
        for key, field in expected.items():
            self.assertEqual(tags[key], value(field), key)
        self.assertEqual(tags['encoder'], ENCODER)
        self.assertEqual(tags['track'], '3/12')
        self.assertEqual(tags['disc'], '1/2')
        self.assertEqual(tags['compilation'], '1')
        # This ffprobe shows no tempo item; mutagen, AtomicParsley and
        # exiftool check it.
        for name in FREEFORM_NAMES:
            self.assertEqual(tags[name], value(name))

    def test_atomicparsley_reads_every_value(self):
        tool = rztest.require_tool(self, 'AtomicParsley')
        proc = subprocess.run([tool, self.path('out.m4a'), '-t'], capture_output=True,
                              timeout=300)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        lines = proc.stdout.decode('utf-8').lstrip('\ufeff').splitlines()
        expected = [f'Atom "{key}" contains: {value(field)}'
                    for key, field in list(TEXT_ITEMS.items())[:10]]
        expected += [f'Atom "\xa9too" contains: {ENCODER}', 'Atom "trkn" contains: 3 of 12',
                     'Atom "disk" contains: 1 of 2',
                     f'Atom "\xa9grp" contains: {value("GROUPING")}',
                     'Atom "tmpo" contains: 128', 'Atom "cpil" contains: true']
        expected += [f'Atom "{key}" contains: {value(field)}'
                     for key, field in list(TEXT_ITEMS.items())[11:]]
        expected += [f'Atom "----" [{FREEFORM};{name}] contains: {value(name)}'
                     for name in FREEFORM_NAMES]
        expected += ['Atom "covr" contains: 1 piece of artwork']
        self.assertEqual(lines, expected)

    def test_exiftool_reads_every_value(self):
        tool = rztest.require_tool(self, 'exiftool')
        proc = subprocess.run([tool, '-j', '-b', '-a', '-G1', self.path('out.m4a')],
                              capture_output=True, timeout=300)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        tags = json.loads(proc.stdout)[0]
        # exiftool shows a date in its own form.
        self.assertEqual(tags['ItemList:ContentCreateDate'], value('DATE').replace('-', ':'))
        expected = {'Title': 'TITLE', 'Artist': 'ARTIST', 'Album': 'ALBUM',
                    'AlbumArtist': 'ALBUMARTIST', 'Genre': 'GENRE',
                    'Comment': 'COMMENT', 'Composer': 'COMPOSER',
                    'Lyrics': 'LYRICS', 'Copyright': 'COPYRIGHT', 'Grouping': 'GROUPING',
                    'SortName': 'TITLESORT', 'SortArtist': 'ARTISTSORT',
                    'SortAlbum': 'ALBUMSORT', 'SortAlbumArtist': 'ALBUMARTISTSORT',
                    'SortComposer': 'COMPOSERSORT'}
        for key, field in expected.items():
            self.assertEqual(str(tags['ItemList:' + key]), value(field), key)
        self.assertEqual(tags['ItemList:Encoder'], ENCODER)
        self.assertEqual(tags['ItemList:TrackNumber'], '3 of 12')
        self.assertEqual(tags['ItemList:DiskNumber'], '1 of 2')
        self.assertEqual(tags['ItemList:BeatsPerMinute'], 128)
        self.assertEqual(tags['ItemList:Compilation'], 'Yes')
        self.assertEqual(tags['ItemList:CoverArt'], 'base64:' + base64.b64encode(PNG).decode())
        for name in FREEFORM_NAMES:
            self.assertEqual(str(tags[FREEFORM_GROUP + ':' + name]), value(name))

    def test_only_the_item_list_differs(self):
        # Without the input's tags the file is what an untagged input gives;
        # with them, everything but the item list is the same bytes.
        self.make_flac([], name='plain.flac')
        plain = self.convert(source='plain.flac', out='plain.m4a')
        bare = self.convert('--no-input-tags', out='bare.m4a')
        self.assertEqual(bare, plain)
        self.assertEqual(self.tags('bare.m4a').keys(), {'\xa9too'})
        moov, _ = rztest.find_box(self.data, 'moov')
        self.assertEqual(self.data[:moov], bare[:moov])
        udta, _ = rztest.find_box(self.data, 'moov/udta')
        bare_udta, _ = rztest.find_box(bare, 'moov/udta')
        self.assertEqual(self.data[moov + 8:udta], bare[moov + 8:bare_udta])


class Overrides(InputTagTest):
    def setUp(self):
        super().setUp()
        self.make_flac(FIELDS, 'cover.png')

    def test_each_option_replaces_its_own_field(self):
        self.convert('--title', 'Mine', '--track', '5', '--disctotal', '9', '--artwork',
                     'cover.jpg', '--encoder', 'enc', '--artist', '')
        tags = self.tags()
        self.assertEqual(tags['\xa9nam'], ['Mine'])
        self.assertNotIn('\xa9ART', tags)
        self.assertEqual(tags['\xa9alb'], [value('ALBUM')])
        self.assertEqual(tags['trkn'], [(5, 12)])
        self.assertEqual(tags['disk'], [(1, 9)])
        self.assertEqual(tags['\xa9too'], ['enc'])
        self.assertEqual(tags['\xa9grp'], [value('GROUPING')])
        self.assertEqual(bytes(tags['covr'][0]), JPEG)
        self.assertEqual(tags['covr'][0].imageformat, self.mp4.MP4Cover.FORMAT_JPEG)
        self.assertEqual(len(tags['covr']), 1)

    def test_number_with_total_replaces_both(self):
        self.convert('--track', '7/8', '--disc', '4')
        self.assertEqual(self.tags()['trkn'], [(7, 8)])
        self.assertEqual(self.tags()['disk'], [(4, 2)])

    def test_no_input_tags_copies_nothing(self):
        self.convert('--no-input-tags', '--album', 'Only')
        tags = self.tags()
        self.assertEqual(set(tags.keys()), {'\xa9alb', '\xa9too'})
        self.assertEqual(tags['\xa9alb'], ['Only'])


class OddCases(InputTagTest):
    def test_several_values_and_names_in_any_case(self):
        self.make_flac([('ARTIST', 'One'), ('title', 'T'), ('Artist', 'Two'),
                        ('artist', 'Three'), ('YEAR', '1999'), ('DATE', '2001'),
                        ('ALBUM ARTIST', 'Spaced'), ('ALBUMARTIST', 'Joined'),
                        ('TRACKNUMBER', '4/10'), ('TRACKTOTAL', '11'), ('isrc', 'A'),
                        ('ISRC', 'B'), ('DESCRIPTION', 'described'),
                        ('UNSYNCEDLYRICS', 'words'), ('TOTALDISCS', '3'), ('DISCNUMBER', '2')])
        self.convert()
        tags = self.tags()
        self.assertEqual(tags['\xa9ART'], ['One; Two; Three'])
        self.assertEqual(tags['\xa9nam'], ['T'])
        self.assertEqual(tags['\xa9day'], ['2001'])
        self.assertEqual(tags['aART'], ['Joined'])
        self.assertEqual(tags['trkn'], [(4, 11)])
        self.assertEqual(tags['disk'], [(2, 3)])
        self.assertEqual(tags['\xa9cmt'], ['described'])
        self.assertEqual(tags['\xa9lyr'], ['words'])
        self.assertEqual(tags[f'----:{FREEFORM}:isrc'], [b'A; B'])
        self.assertEqual(sorted(k for k in tags.keys() if k.startswith('----')),
                         [f'----:{FREEFORM}:isrc'])

    def test_alternative_names_alone(self):
        self.make_flac([('Year', '1999'), ('Album Artist', 'Spaced'), ('TRACKNUMBER', '4/10')])
        self.convert()
        tags = self.tags()
        self.assertEqual(tags['\xa9day'], ['1999'])
        self.assertEqual(tags['aART'], ['Spaced'])
        self.assertEqual(tags['trkn'], [(4, 10)])

    def test_broken_numbers_are_left_out_with_a_warning(self):
        self.make_flac([('TITLE', 'Kept'), ('TrackNumber', 'three'), ('BPM', '70000'),
                        ('DISCNUMBER', '1/'), ('COMPILATION', 'yes'), ('DISCTOTAL', '2')])
        code, out, err = rztest.run('in.flac', 'out.m4a', cwd=self.dir)
        self.assertEqual(code, 0)
        self.assertTrue(out.endswith('Conversion complete.\n'), out)
        self.assertEqual(err, ''.join(
            f'Warning: tag {name} has an unusable value and was not copied\n'
            for name in ('TrackNumber', 'DISCNUMBER', 'BPM', 'COMPILATION')))
        tags = self.tags()
        self.assertEqual(tags['\xa9nam'], ['Kept'])
        self.assertEqual(tags['disk'], [(0, 2)])
        for key in ('trkn', 'tmpo', 'cpil'):
            self.assertNotIn(key, tags)
        # --quiet keeps the warnings back too.
        self.convert()

    def test_front_cover_else_first_picture(self):
        self.make_flac([], '4|||1x1x24|cover.jpg', '3|||1x1x24|cover.png')
        self.convert()
        self.assertEqual(bytes(self.tags()['covr'][0]), PNG)
        self.make_flac([], '5|||1x1x24|cover.png', '4|||1x1x24|cover.jpg')
        self.convert()
        self.assertEqual(bytes(self.tags()['covr'][0]), PNG)
        self.assertEqual(len(self.tags()['covr']), 1)

    def test_picture_that_is_no_jpeg_or_png_is_not_copied(self):
        self.write('cover.gif', b'GIF89a\x01\x00\x01\x00\x00\x00\x00;')
        self.make_flac([('TITLE', 'T')], '3|image/gif||1x1x24|cover.gif')
        self.convert()
        self.assertNotIn('covr', self.tags())
        self.assertEqual(self.tags()['\xa9nam'], ['T'])


def info_list(*entries):
    body = b'INFO'
    for key, text in entries:
        body += key + len(text).to_bytes(4, 'little') + text + (b'\0' if len(text) & 1 else b'')
    return b'LIST' + len(body).to_bytes(4, 'little') + body


class WavInfo(InputTagTest):
    def setUp(self):
        super().setUp()
        wav = rztest.wav_bytes(self.frames, 2)
        data_at = wav.index(b'data')
        before = info_list((b'INAM', 'Tïtle\0'.encode('utf-8')), (b'ITRK', b'7\0'))
        after = info_list((b'IART', b'Bj\xf6rk\0'), (b'IPRD', b'Album\0'),
                          (b'ICMT', b'late\0'), (b'INAM', b'ignored\0'))
        body = wav[12:data_at] + before + wav[data_at:] + after
        self.write('tagged.wav', b'RIFF' + (4 + len(body)).to_bytes(4, 'little') + b'WAVE' + body)

    def assert_info_tags(self, track):
        tags = self.tags()
        self.assertEqual(tags['\xa9nam'], ['Tïtle'])
        self.assertEqual(tags['\xa9ART'], ['Björk'])
        self.assertEqual(tags['\xa9alb'], ['Album'])
        self.assertEqual(tags['\xa9cmt'], ['late'])
        self.assertEqual(tags['trkn'], [track])

    def test_info_lists_before_and_after_the_audio(self):
        self.convert(source='tagged.wav')
        self.assert_info_tags((7, 0))
        self.convert('--track', '3/9', source='tagged.wav')
        self.assert_info_tags((3, 9))

    def test_standard_input_reads_the_list_after_the_audio(self):
        with open(self.path('tagged.wav'), 'rb') as f:
            result = rztest.run('-', 'out.m4a', '--quiet', cwd=self.dir, stdin=f)
        self.assertEqual(result, (0, '', ''))
        self.assert_info_tags((7, 0))

    def test_no_input_tags(self):
        self.convert('--no-input-tags', source='tagged.wav')
        self.assertEqual(set(self.tags().keys()), {'\xa9too'})


if __name__ == '__main__':
    unittest.main()
