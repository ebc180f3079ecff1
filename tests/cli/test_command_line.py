"""The command line: one-argument forms, the left-to-right parse, the number
and extension rules, and that a malformed command line touches no file."""
import os
import unittest

import rztest

BANNER = ('RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder\n'
          'Copyright (C) 2026 The ro-zoza developers\n')

HELP_BODY = (
    'Lossless WAV/RF64/FLAC to ALAC/M4A encoder.\n\n'
    'Usage:\n  ro-zoza.exe [options] <input.wav|input.flac> -o <output.m4a>\n'
    '  ro-zoza.exe <input.wav|input.flac> <output.m4a> [options]\n'
    '  ro-zoza.exe [options] -d <folder> <input|folder>...\n'
    '  Input "-" reads WAV/RF64 from standard input.\n\n'
    'Encoding:\n  --fast                 Use the fast ALAC path\n'
    '  --verify               Decode every packet and compare it with the input\n'
    '  --threads <n>          Encoding threads (0: one per processor)\n\n'
    'Input:\n  --ignorelength         Read WAV audio to the end, ignoring its data size\n'
    '  --no-input-tags        Do not copy tags and cover art from the input\n\n'
    'Metadata (M4A):\n'
    '  --title <text>\n  --artist <text>\n  --album <text>\n'
    '  --albumartist <text>   Album artist\n  --album-artist <text>  Alias for --albumartist\n'
    '  --band <text>          Alias for --albumartist\n'
    '  --genre <text>\n  --date <text>          Date/year\n  --year <text>          Alias for --date\n'
    '  --track <n[/total]>    Track number, optionally total\n  --tracktotal <n>       Total tracks\n'
    '  --disc <n[/total]>     Disc number, optionally total\n  --disk <n[/total]>     Alias for --disc\n'
    '  --disctotal <n>        Total discs\n'
    '  --comment <text>\n  --composer <text>\n  --lyrics <text>        Lyrics\n  --copyright <text>\n'
    '  --encoder <text>       Override encoder metadata\n'
    '  --artwork <jpg|png>    Embed cover artwork (JPEG or PNG file)\n\n'
    'Other:\n  -A                     Accepted for compatibility; no effect\n'
    '  -o, --output <file>    Output M4A file\n  -d, --output-dir <dir> Write one M4A per input into this folder\n'
    '  --overwrite            Replace an existing output file\n'
    '  --quiet                Suppress progress/status output\n'
    '  --profile              Print internal encoder stage profile\n'
    '  --features             Show runtime features\n'
    '  -V, --version          Display version\n'
    '  -h, --help             Display help\n\n')

FEATURE_TAIL = ('ALAC encoder core: enabled\nM4A output: enabled\nM4A tags/artwork: enabled\n'
                'WAV/RF64 input: enabled\n')

VALUE_OPTIONS = ['-o', '--output', '--title', '--artist', '--album', '--albumartist',
                 '--album-artist', '--band', '--genre', '--date', '--year', '--track',
                 '--tracktotal', '--disc', '--disk', '--disctotal', '--comment', '--composer',
                 '--lyrics', '--copyright', '--encoder', '--artwork']

NUMBER_MESSAGES = {'--track': '--track', '--tracktotal': '--tracktotal',
                   '--disc': '--disc', '--disk': '--disc', '--disctotal': '--disctotal'}


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def flac_enabled():
    code, out, _ = rztest.run('--features')
    return code == 0 and '\nFLAC input: enabled\n' in out


def help_text():
    state = 'enabled (libFLAC.dll)' if flac_enabled() else 'disabled (libFLAC.dll not found)'
    return BANNER + HELP_BODY + f'FLAC input: {state}\n'


class CommandLineTest(rztest.TempDirTest):
    """Every case runs in an empty folder that must stay empty."""

    @classmethod
    def setUpClass(cls):
        cls.help = help_text()

    def tearDown(self):
        self.assertEqual(os.listdir(self.dir), [], 'the command line wrote a file')
        super().tearDown()

    def check(self, args, code, out='', err=''):
        result = rztest.run(*args, cwd=self.dir)
        self.assertEqual(result, (code, out, err), args)

    def check_error(self, args, message):
        self.check(args, 2, err=f'Error: {message}\n')


class OneArgumentForms(CommandLineTest):
    def test_no_arguments_prints_help(self):
        self.check([], 0, self.help)

    def test_help_and_version(self):
        for arg in ('--help', '-h'):
            self.check([arg], 0, self.help)
        for arg in ('--version', '-V'):
            self.check([arg], 0, BANNER)

    def test_features(self):
        code, out, err = rztest.run('--features', cwd=self.dir)
        self.assertEqual((code, err), (0, ''))
        if flac_enabled():
            head = BANNER + '\nFLAC input: enabled\nlibFLAC:    '
            self.assertTrue(out.startswith(head), out)
            path, tail = out[len(head):].split('\n', 1)
            self.assertTrue(os.path.isabs(path) and os.path.exists(path), path)
            self.assertEqual(tail, FEATURE_TAIL)
        else:
            self.assertEqual(out, BANNER + '\nFLAC input: disabled\n' + FEATURE_TAIL)

    def test_features_with_other_arguments_is_unknown(self):
        self.check_error(['--features', 'in.wav'], 'unknown option --features')
        self.check_error(['in.wav', 'out.m4a', '--features'], 'unknown option --features')

    def test_single_other_argument_goes_to_the_parse(self):
        self.check(['--quiet'], 2, self.help)
        self.check(['in.wav'], 2, self.help)
        self.check(['--bogus'], 2, err='Error: unknown option --bogus\n')


class ParseOrder(CommandLineTest):
    def test_help_and_version_stop_the_parse(self):
        self.check(['--help', '--bogus'], 0, self.help)
        self.check(['in.wav', '-h', '--track', 'x'], 0, self.help)
        self.check(['--version', '--bogus'], 0, BANNER)
        self.check(['--fast', '-V', 'extra', 'extra', 'extra'], 0, BANNER)
        self.check(['--quiet', '--help'], 0, self.help)

    def test_first_error_wins(self):
        self.check_error(['--bogus', '--version'], 'unknown option --bogus')
        self.check_error(['--bogus', '--help'], 'unknown option --bogus')
        self.check_error(['--track', 'x', '--bogus'], 'invalid --track value x')
        self.check_error(['a.wav', 'b.m4a', 'c.m4a', '--bogus'], 'unexpected argument c.m4a')

    def test_flags_are_accepted(self):
        for flag in ('--fast', '-A', '--overwrite', '--quiet', '--profile'):
            self.check([flag, 'in.wav', flag, 'out.mp4', flag], 2,
                       err='Error: output must use .m4a extension.\n')

    def test_missing_names_print_help(self):
        self.check(['in.wav', '--fast'], 2, self.help)
        self.check(['-o', 'out.m4a'], 2, self.help)
        self.check(['--title', 'x', '--artist', 'y'], 2, self.help)

    def test_unknown_options(self):
        for arg in ('--output=x.m4a', '-', '--Fast', '-v', '-x', '--', '---fast'):
            self.check_error(['in.wav', 'out.m4a', arg], f'unknown option {arg}')

    def test_third_positional(self):
        self.check_error(['in.wav', 'out.m4a', 'extra.m4a'], 'unexpected argument extra.m4a')
        # -o fills the output, so the two positionals are input and unexpected.
        self.check_error(['-o', 'out.m4a', 'in.wav', 'extra'], 'unexpected argument extra')

    def test_empty_argument_leaves_its_slot_empty(self):
        self.check(['', 'in.wav', 'out.mp4'], 2, err='Error: output must use .m4a extension.\n')
        self.check(['in.wav', '', 'out.mp4'], 2, err='Error: output must use .m4a extension.\n')
        self.check(['in.wav', '-o', ''], 2, self.help)


class ValueOptions(CommandLineTest):
    def test_every_value_option_needs_a_value(self):
        for option in VALUE_OPTIONS:
            self.check_error(['in.wav', 'out.m4a', option], f'{option} requires a value')

    def test_value_is_taken_whatever_it_looks_like(self):
        for option in VALUE_OPTIONS:
            args = [option, '--bogus', 'in.wav', 'out.mp4']
            if option in NUMBER_MESSAGES:
                self.check_error(args, f'invalid {NUMBER_MESSAGES[option]} value --bogus')
            elif option in ('-o', '--output'):
                # The output is "--bogus"; in.wav is the input, out.mp4 unexpected.
                self.check_error(args, 'unexpected argument out.mp4')
            else:
                self.check_error(args, 'output must use .m4a extension.')

    def test_option_as_value_is_consumed(self):
        # "-o" is the title here, so out.txt is the output (not the input).
        self.check_error(['--title', '-o', 'in.wav', 'out.txt'], 'output must use .m4a extension.')
        self.check_error(['--artwork', '--help', 'in.wav', 'out.txt'],
                         'output must use .m4a extension.')
        # A later -o replaces the positional output.
        self.check_error(['in.wav', 'out.m4a', '-o', 'out.mp4'], 'output must use .m4a extension.')
        self.check_error(['in.wav', '--output', 'out.mp4', '-o', 'out.mp3'],
                         'output must use .m4a extension.')


class NumberRules(CommandLineTest):
    def accepted(self, option, value):
        # Acceptance shows as the parse going on to the next argument.
        self.check_error([option, value, '--end'], 'unknown option --end')

    def test_accepted_values(self):
        for option in ('--track', '--disc', '--disk'):
            for value in ('0', '1', '65535', '3/12', '0/0', '65535/65535', ' +7', '-0', '007/08'):
                self.accepted(option, value)
        for option in ('--tracktotal', '--disctotal'):
            for value in ('0', '12', '65535', ' 9', '+3', '-0'):
                self.accepted(option, value)

    def test_refused_values(self):
        for option, shown in NUMBER_MESSAGES.items():
            bad = ['', '65536', '4294967296', '-1', 'x', '3a', '1.5', ' ', '7 ']
            if option in ('--track', '--disc', '--disk'):
                bad += ['3/', '/12', '3/12/1', '1/65536', '65536/1', '/']
            else:
                bad += ['3/12']
            for value in bad:
                self.check_error([option, value, 'in.wav', 'out.m4a'],
                                 f'invalid {shown} value {value}')


class NameRules(CommandLineTest):
    OUTPUT_ERROR = 'output must use .m4a extension.'
    INPUT_ERROR = 'unsupported input extension.'

    def test_input_extensions(self):
        for name in ('in.wav', 'IN.WAV', 'in.Wave', 'x.RF64', 'archive.tar.flac', 'In.FLAC',
                     'dir/in.wav', 'dir.x/in.wav', 'Symphony No. 5: Allegro.wav', '..wav',
                     '\udcff\udcfe.wav'):
            self.check_error([name, 'out.mp4'], self.OUTPUT_ERROR)
        for name in ('in.aiff', '.wav', 'in.wav.', 'in', 'in.wav.txt', 'in.wav/', 'dir.wav/in',
                     'dir.wav\\in', '.', '..', 'in.wav:x', 'in.wa v'):
            self.check_error([name, 'out.m4a'], self.INPUT_ERROR)

    def test_input_is_checked_before_output(self):
        self.check_error(['in.aiff', 'out.mp4'], self.INPUT_ERROR)
        self.check_error(['-o', 'out.mp4', 'in.aiff'], self.INPUT_ERROR)

    def test_output_extensions(self):
        for name in ('out.mp4', '.m4a', 'out.m4a.', 'out', 'out.m4a.tmp', 'out.m4a/', 'a:b'):
            self.check_error(['in.wav', name], self.OUTPUT_ERROR)

    def test_accepted_output_goes_on_to_the_conversion(self):
        for name in ('OUT.M4A', 'x.tar.m4a', 'x: y.m4a', 'sub\\out.m4a'):
            self.check(['missing.wav', name], 1, err='Error: could not open WAV/RF64 input\n')


class NothingIsTouched(rztest.TempDirTest):
    def test_malformed_command_lines_write_nothing(self):
        rztest.write_wav(self.path('in.wav'), [(i, -i) for i in range(100)], 2)
        before = read_bytes(self.path('in.wav'))
        for extra in (['--bogus'], ['--track', '65536'], ['extra.m4a'], ['--title'],
                      ['--disc', '1/'], ['--output=x.m4a']):
            code, out, err = rztest.run('in.wav', 'out.m4a', *extra, cwd=self.dir)
            self.assertEqual((code, out), (2, ''), extra)
            self.assertTrue(err.startswith('Error: '), err)
            self.assertEqual(sorted(os.listdir(self.dir)), ['in.wav'], extra)
        self.assertEqual(read_bytes(self.path('in.wav')), before)


if __name__ == '__main__':
    unittest.main()
