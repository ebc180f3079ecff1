"""Shared helpers for the whole-program tests: running the built binary,
writing WAV fixtures, decoding our M4A files with independent decoders and
walking MP4 boxes."""
import os
import shlex
import shutil
import struct
import subprocess
import tempfile
import unittest

BINARY = os.environ.get('RO_ZOZA', '')
# A command that runs the binary, e.g. "wine" for the Windows build.
WRAPPER = shlex.split(os.environ.get('RO_ZOZA_WRAPPER', ''))
IN_CI = os.environ.get('CI') == 'true'


def run(*args, cwd=None, env=None, timeout=300, preexec_fn=None, stdin=subprocess.DEVNULL):
    """Runs ro-zoza with the given arguments; returns (code, stdout, stderr)
    with the two texts decoded as UTF-8 and CR LF normalised to LF."""
    cmd = WRAPPER + [BINARY] + [str(a) for a in args]
    proc = subprocess.run(cmd, cwd=cwd, env=env, capture_output=True, timeout=timeout,
                          preexec_fn=preexec_fn, stdin=stdin)
    out = proc.stdout.decode('utf-8', 'replace').replace('\r\n', '\n')
    err = proc.stderr.decode('utf-8', 'replace').replace('\r\n', '\n')
    return proc.returncode, out, err


def require_tool(test, name):
    """Skips the test when a tool is missing, except in CI, where a missing
    interop tool is a failure."""
    path = shutil.which(name)
    if path is None:
        if IN_CI:
            test.fail(f'{name} is required in CI but not installed')
        test.skipTest(f'{name} not installed')
    return path


def require_mutagen(test):
    """mutagen's MP4 module; a missing mutagen skips the test, except in CI,
    where it is a failure."""
    try:
        import mutagen.mp4
    except ImportError:
        if IN_CI:
            test.fail('mutagen is required in CI but not installed')
        test.skipTest('mutagen not installed')
    return mutagen.mp4


class TempDirTest(unittest.TestCase):
    """A test case with a fresh temporary folder in self.dir."""

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix='rz-')
        self.dir = self._tmp.name

    def tearDown(self):
        self._tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)


# ---------------------------------------------------------------- WAV fixtures

def pack_samples(frames, container_bits, valid_bits=None):
    """Interleaved little-endian bytes for `frames` (a list of per-frame
    tuples of integer samples at `valid_bits`), left-justified in the
    container when valid_bits < container_bits."""
    valid_bits = valid_bits or container_bits
    shift = container_bits - valid_bits
    width = container_bits // 8
    out = bytearray()
    for frame in frames:
        for s in frame:
            v = (s << shift) & ((1 << container_bits) - 1)
            out += v.to_bytes(width, 'little')
    return bytes(out)


def wav_bytes(frames, channels, rate=44100, container_bits=16, valid_bits=None,
              extensible=None, rf64=False):
    """A complete WAV (or RF64) file holding `frames`."""
    valid_bits = valid_bits or container_bits
    if extensible is None:
        extensible = valid_bits != container_bits or channels > 2 or container_bits > 16
    data = pack_samples(frames, container_bits, valid_bits)
    block = channels * container_bits // 8
    if extensible:
        fmt = struct.pack('<HHIIHHHHI', 0xFFFE, channels, rate, rate * block, block,
                          container_bits, 22, valid_bits, 0)
        fmt += struct.pack('<I', 1) + bytes.fromhex('000000001000800000aa00389b71')
    else:
        fmt = struct.pack('<HHIIHH', 1, channels, rate, rate * block, block, container_bits)
    chunks = b'fmt ' + struct.pack('<I', len(fmt)) + fmt
    if rf64:
        ds64 = struct.pack('<QQQI', 0, len(data), len(frames), 0)
        chunks = b'ds64' + struct.pack('<I', len(ds64)) + ds64 + chunks
        chunks += b'data' + struct.pack('<I', 0xFFFFFFFF) + data
        head = b'RF64' + struct.pack('<I', 0xFFFFFFFF) + b'WAVE'
    else:
        chunks += b'data' + struct.pack('<I', len(data)) + data
        head = b'RIFF' + struct.pack('<I', 4 + len(chunks)) + b'WAVE'
    if len(data) & 1:
        chunks += b'\0'
    return head + chunks


def write_wav(path, frames, channels, **kw):
    with open(path, 'wb') as f:
        f.write(wav_bytes(frames, channels, **kw))


# ---------------------------------------------------------------- decoding

def decode_with_ffmpeg(test, m4a_path, channels, bits):
    """Decodes an M4A with ffmpeg into a list of per-frame tuples. Samples of
    20 and 24 bits come back in 32-bit containers and are shifted down."""
    require_tool(test, 'ffmpeg')
    fmt, width = ('s16le', 2) if bits == 16 else ('s32le', 4)
    proc = subprocess.run(['ffmpeg', '-v', 'error', '-i', m4a_path, '-f', fmt, '-'],
                          capture_output=True, timeout=300)
    test.assertEqual(proc.returncode, 0, proc.stderr.decode('utf-8', 'replace'))
    raw = proc.stdout
    shift = 32 - bits if width == 4 else 0
    count = len(raw) // width
    values = struct.unpack(f'<{count}{"h" if width == 2 else "i"}', raw)
    if shift:
        values = [v >> shift for v in values]
    return [tuple(values[i:i + channels]) for i in range(0, count, channels)]


# ---------------------------------------------------------------- MP4 boxes

CONTAINERS = {b'moov', b'trak', b'mdia', b'minf', b'stbl', b'dinf', b'udta', b'ilst'}


def walk_boxes(data, start=0, end=None):
    """Top-level boxes of data[start:end] as (type, offset, size) tuples."""
    end = len(data) if end is None else end
    pos, boxes = start, []
    while pos + 8 <= end:
        size, kind = struct.unpack('>I4s', data[pos:pos + 8])
        if size < 8 or pos + size > end:
            raise ValueError(f'bad box {kind!r} at {pos}')
        boxes.append((kind, pos, size))
        pos += size
    if pos != end:
        raise ValueError('trailing bytes after boxes')
    return boxes


def find_box(data, path):
    """Offset and size of the box at a path such as 'moov/trak/mdia/mdhd'.
    `meta` is a full box: its children start 4 bytes into its payload."""
    start, end = 0, len(data)
    found = None
    for name in path.split('/'):
        key = name.encode('latin-1')
        match = [b for b in walk_boxes(data, start, end) if b[0] == key]
        if not match:
            return None
        _, off, size = match[0]
        found = (off, size)
        start, end = off + 8 + (4 if key == b'meta' else 0), off + size
    return found
