"""Helpers for the Windows tests, which run ro-zoza.exe under wine
(RO_ZOZA_WRAPPER) and hold every M4A it writes against the one the Linux
build (RO_ZOZA_LINUX) writes from the same input and options."""
import math
import os
import shutil
import struct
import subprocess
import tempfile

import rztest

EXE = rztest.BINARY
LINUX = os.environ.get('RO_ZOZA_LINUX', '')
STAND_INS = os.environ.get('RO_ZOZA_STAND_INS', '')
# A real libFLAC.dll, built from Debian's flac source.
LIBFLAC = os.environ.get('RO_ZOZA_LIBFLAC', '')


def windows_path(path):
    """The wine name of an absolute Linux path (drive Z: is the root)."""
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def text(data):
    return data.decode('utf-8', 'replace').replace('\r\n', '\n')


def start(cmd, cwd, out, err):
    return subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=err, stdin=subprocess.DEVNULL)


def run_captured(cmd, cwd=None, timeout=300):
    """Runs a command with its output in files rather than pipes: wine's
    service processes, started by whichever program needs them first,
    inherit that program's handles, so a pipe would not see its end while
    they run. Returns (code, stdout, stderr) with CR LF normalised."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = start(cmd, cwd, out, err)
        try:
            proc.wait(timeout=timeout)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        out.seek(0)
        err.seek(0)
        return proc.returncode, text(out.read()), text(err.read())


def run_exe(exe, *args, cwd=None, timeout=300):
    """Runs a given copy of ro-zoza.exe under wine: (code, stdout, stderr)."""
    return run_captured(rztest.WRAPPER + [exe] + [str(a) for a in args], cwd, timeout)


def run_linux(*args, cwd=None, timeout=300):
    """Runs the Linux build with the same arguments."""
    return run_captured([LINUX] + [str(a) for a in args], cwd, timeout)


def require_linux_build(test):
    if not LINUX or not os.access(LINUX, os.X_OK):
        test.fail('RO_ZOZA_LINUX must name the Linux build of ro-zoza')


def require_libflac(test):
    if not LIBFLAC or not os.path.isfile(LIBFLAC):
        test.fail('RO_ZOZA_LIBFLAC must name a libFLAC.dll built for Windows')


def copy_exe(folder, stand_in=None, library=None):
    """A copy of ro-zoza.exe in `folder`, with a libFLAC.dll beside it: the
    named stand-in ('complete' or 'missing-export') or the file `library`."""
    os.makedirs(folder, exist_ok=True)
    exe = os.path.join(folder, 'ro-zoza.exe')
    shutil.copyfile(EXE, exe)
    if stand_in:
        library = os.path.join(STAND_INS, stand_in, 'libFLAC.dll')
    if library:
        shutil.copyfile(library, os.path.join(folder, 'libFLAC.dll'))
    return exe


def music_frames(count, channels, bits, seed=1):
    """Deterministic music-like frames: a few partials per channel plus a
    little noise, peaking near full scale."""
    peak = (1 << (bits - 1)) - 1
    state = seed * 2654435761 & 0xFFFFFFFF
    frames = []
    for i in range(count):
        frame = []
        for c in range(channels):
            state = (state * 1103515245 + 12345) & 0xFFFFFFFF
            noise = ((state >> 8) / (1 << 24) - 0.5) * 0.02
            v = 0.5 * math.sin(2 * math.pi * (220 + 55 * c) * i / 44100)
            v += 0.3 * math.sin(2 * math.pi * (661 + 13 * c) * i / 44100 + c)
            v += 0.15 * math.sin(2 * math.pi * 3520 * i / 44100) * math.sin(i / 900)
            frame.append(max(-peak - 1, min(peak, int((v + noise) * peak))))
        frames.append(tuple(frame))
    return frames


def stand_in_stream(frames, channels, bits, rate=44100, block=1152, total=None):
    """The input file of the stand-in libFLAC.dll (see stand_in_flac.c)."""
    total = len(frames) if total is None else total
    head = b'RZSI' + struct.pack('<6I', channels, bits, rate, total, block, len(frames))
    body = b''.join(struct.pack(f'<{channels}i', *f) for f in frames)
    return head + body


def listing(folder):
    return sorted(os.listdir(folder))


def read(path):
    with open(path, 'rb') as f:
        return f.read()


class WindowsTest(rztest.TempDirTest):
    """A test with a fresh folder, where ro-zoza.exe runs with that folder as
    its working directory."""

    def run_exe(self, *args, exe=None, cwd=None):
        return run_exe(exe or EXE, *args, cwd=cwd or self.dir)

    def convert_both(self, args, win_out='win.m4a', linux_out='linux.m4a', cwd=None, exe=None):
        """Runs the .exe and the Linux build with `args` plus their own
        output name; both must succeed with the same console text and write
        the same bytes. Returns the .exe's output path."""
        require_linux_build(self)
        cwd = cwd or self.dir
        code, out, err = self.run_exe(*args, '-o', win_out, exe=exe, cwd=cwd)
        self.assertEqual((code, err), (0, ''), out)
        lcode, lout, lerr = run_linux(*args, '-o', linux_out, cwd=cwd)
        self.assertEqual((lcode, lerr), (0, ''))
        self.assertEqual(out, lout)
        win_path = os.path.join(cwd, win_out)
        self.assertEqual(read(win_path), read(os.path.join(cwd, linux_out)),
                         'ro-zoza.exe and the Linux build wrote different files')
        return win_path

    def assert_lossless(self, m4a, frames, channels, bits):
        self.assertEqual(rztest.decode_with_ffmpeg(self, m4a, channels, bits), frames)
