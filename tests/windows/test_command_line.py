"""ro-zoza.exe's console texts and command-line errors under wine."""
import os
import struct
import unittest

import rztest
import wintest

USAGE_BODY = (
    "Lossless WAV/RF64/FLAC to ALAC/M4A encoder.\n\n"
    "Usage:\n  ro-zoza.exe [options] <input.wav|input.flac> -o <output.m4a>\n"
    "  ro-zoza.exe <input.wav|input.flac> <output.m4a> [options]\n"
    "  ro-zoza.exe [options] -d <folder> <input|folder>...\n"
    "  Input \"-\" reads WAV/RF64 from standard input.\n\n"
    "Encoding:\n  --fast                 Use the fast ALAC path\n"
    "  --verify               Decode every packet and compare it with the input\n"
    "  --threads <n>          Encoding threads (0: one per processor)\n\n"
    "Input:\n  --ignorelength         Read WAV audio to the end, ignoring its data size\n"
    "  --no-input-tags        Do not copy tags and cover art from the input\n\n"
    "Metadata (M4A):\n"
    "  --title <text>\n  --artist <text>\n  --album <text>\n"
    "  --albumartist <text>   Album artist\n  --album-artist <text>  Alias for --albumartist\n"
    "  --band <text>          Alias for --albumartist\n"
    "  --genre <text>\n  --date <text>          Date/year\n  --year <text>          Alias for --date\n"
    "  --track <n[/total]>    Track number, optionally total\n  --tracktotal <n>       Total tracks\n"
    "  --disc <n[/total]>     Disc number, optionally total\n"
    "  --disk <n[/total]>     Alias for --disc\n  --disctotal <n>        Total discs\n"
    "  --comment <text>\n  --composer <text>\n  --lyrics <text>        Lyrics\n  --copyright <text>\n"
    "  --encoder <text>       Override encoder metadata\n"
    "  --artwork <jpg|png>    Embed cover artwork (JPEG or PNG file)\n\n"
    "Other:\n  -A                     Accepted for compatibility; no effect\n"
    "  -o, --output <file>    Output M4A file\n  -d, --output-dir <dir> Write one M4A per input into this folder\n  --overwrite            Replace an existing output file\n"
    "  --quiet                Suppress progress/status output\n"
    "  --profile              Print internal encoder stage profile\n"
    "  --features             Show runtime features\n  -V, --version          Display version\n"
    "  -h, --help             Display help\n\n"
    "FLAC input: disabled (libFLAC.dll not found)\n")

FEATURES_TAIL = ("ALAC encoder core: enabled\nM4A output: enabled\nM4A tags/artwork: enabled\n"
                 "WAV/RF64 input: enabled\n")


class ConsoleTexts(wintest.WindowsTest):
    """Help, version and feature list, exactly as the Linux build prints
    them apart from FLAC, which has no libFLAC.dll here."""

    def banner(self):
        wintest.require_linux_build(self)
        code, out, err = wintest.run_linux('--version')
        self.assertEqual((code, err), (0, ''))
        self.assertTrue(out.startswith('RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder\n'), out)
        return out

    def test_version_and_its_alias(self):
        banner = self.banner()
        self.assertEqual(self.run_exe('--version'), (0, banner, ''))
        self.assertEqual(self.run_exe('-V'), (0, banner, ''))

    def test_help_forms(self):
        usage = self.banner() + USAGE_BODY
        self.assertEqual(self.run_exe(), (0, usage, ''))
        self.assertEqual(self.run_exe('in.wav', '--help', '--bogus'), (0, usage, ''))
        # Without both names the help text comes with exit code 2.
        self.assertEqual(self.run_exe('--quiet'), (2, usage, ''))

    def test_features_without_libflac(self):
        expected = self.banner() + '\nFLAC input: disabled\n' + FEATURES_TAIL
        self.assertEqual(self.run_exe('--features'), (0, expected, ''))


class VersionResource(unittest.TestCase):
    """The version block Windows shows in the file's properties."""

    def test_fixed_and_string_versions(self):
        with open(wintest.EXE, 'rb') as f:
            data = f.read()
        at = data.find(struct.pack('<I', 0xFEEF04BD))
        self.assertGreater(at, 0, 'no VS_FIXEDFILEINFO')
        # Structure version, then file and product version as 1.0 / 1.0.
        self.assertEqual(struct.unpack_from('<5I', data, at + 4),
                         (0x10000, 0x10000, 0x10000, 0x10000, 0x10000))
        for key, value in [('FileVersion', '1.0.1.0'), ('ProductVersion', '1.0.1.0'),
                           ('ProductName', 'ro-zoza')]:
            with self.subTest(key=key):
                entry = key.encode('utf-16-le') + b'\0\0'
                pos = data.find(entry)
                self.assertGreater(pos, 0, key)
                # The value follows, aligned to four bytes.
                pos = (pos + len(entry) + 3) & ~3
                self.assertEqual(data[pos:pos + 2 * len(value) + 2],
                                 value.encode('utf-16-le') + b'\0\0')


class CommandLineErrors(wintest.WindowsTest):
    """Errors go to standard error with exit code 2 and touch no file; text
    outside the ANSI code page arrives intact through the wide command line."""

    def check(self, args, message):
        self.assertEqual(self.run_exe(*args), (2, '', message))
        self.assertEqual(os.listdir(self.dir), [])

    def test_errors(self):
        cases = [
            (['in.wav', 'out.m4a', '--track'], 'Error: --track requires a value\n'),
            (['in.wav', 'out.m4a', '--disk', '1/'], 'Error: invalid --disc value 1/\n'),
            (['in.wav', 'out1.m4a', 'extra.m4a'], 'Error: unexpected argument extra.m4a\n'),
            (['in.aiff', 'out.mp4'], 'Error: unsupported input extension.\n'),
            (['IN.WAV', 'out.mp4'], 'Error: output must use .m4a extension.\n'),
            (['in.wav', 'out.m4a', '--Ωμέγα-日本-🎵'], 'Error: unknown option --Ωμέγα-日本-🎵\n'),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.check(args, message)

    def test_colon_ends_a_name_on_windows(self):
        # "x.wav:stream.txt" names a stream of x.wav; its extension is .wav.
        self.check(['a.txt:x.wav', 'out.m4a'], 'Error: unsupported input extension.\n')

    def test_missing_input_after_valid_names(self):
        # The names pass; the reader then fails on the missing file.
        code, out, err = self.run_exe('missing.wav', 'out.m4a')
        lcode, lout, lerr = wintest.run_linux('missing.wav', 'out.m4a', cwd=self.dir)
        self.assertEqual((code, out, err), (lcode, lout, lerr))
        self.assertEqual(code, 1)
        self.assertTrue(err.startswith('Error: '), err)
        self.assertEqual(os.listdir(self.dir), [])


if __name__ == '__main__':
    unittest.main()
