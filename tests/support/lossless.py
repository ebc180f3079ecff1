"""Round-trip helpers for the lossless tests: test signals, packets of our
M4A files, decoding them with our own decoder tool, ffmpeg and GStreamer,
and reading uncompressed ALAC elements straight from the packet bits."""
import math
import os
import random
import subprocess
import struct

import rztest

FRAME_LENGTH = 4096

# ORDER[n][j]: the input channel held by ALAC channel position j.
ORDER = {1: [0], 2: [0, 1], 3: [2, 0, 1], 4: [2, 0, 1, 3], 5: [2, 0, 1, 3, 4],
         6: [2, 0, 1, 4, 5, 3], 7: [2, 0, 1, 4, 5, 6, 3], 8: [2, 6, 7, 0, 1, 4, 5, 3]}
# Elements of a frame, from position 0: 'S' single channel, 'P' channel pair.
ELEMENTS = {1: 'S', 2: 'P', 3: 'SP', 4: 'SPS', 5: 'SPP', 6: 'SPPS', 7: 'SPPSS', 8: 'SPPPS'}


# ---------------------------------------------------------------- signals

def music(count, channels, bits, seed=1):
    """Frames of two sines per channel, at frequencies that differ between
    channels (so that a swapped channel shows), plus a little noise."""
    rng = random.Random(seed)
    peak = (1 << (bits - 1)) - 1
    noise = max(1, peak >> 10)
    freqs = [(2 * math.pi * (220 + 97 * c) / 44100, 2 * math.pi * (1500 + 331 * c) / 44100)
             for c in range(channels)]
    frames = []
    for i in range(count):
        frame = []
        for f1, f2 in freqs:
            v = int(peak * (0.5 * math.sin(f1 * i) + 0.3 * math.sin(f2 * i)))
            frame.append(max(-peak - 1, min(peak, v + rng.randint(-noise, noise))))
        frames.append(tuple(frame))
    return frames


def noise(count, channels, bits, seed=2):
    """Frames of independent white noise over the full range."""
    rng = random.Random(seed)
    low, high = -(1 << (bits - 1)), (1 << (bits - 1)) - 1
    return [tuple(rng.randint(low, high) for _ in range(channels)) for _ in range(count)]


def silence(count, channels):
    return [(0,) * channels] * count


def container_bits(bits):
    return 24 if bits == 20 else bits


# ---------------------------------------------------------------- conversion

def convert(test, frames, channels, bits, wav, m4a, *options, rf64=False):
    """Writes the WAV, converts it quietly and checks the run was clean."""
    rztest.write_wav(wav, frames, channels, container_bits=container_bits(bits),
                     valid_bits=bits, rf64=rf64)
    if os.path.exists(m4a):
        os.remove(m4a)
    code, out, err = rztest.run(wav, m4a, '--quiet', *options)
    test.assertEqual((code, err), (0, ''))
    # The encoder's only output under --quiet: a diagnostic for each element
    # whose compressed form came out larger than the uncompressed one.
    for line in out.splitlines(keepends=True):
        test.assertRegex(line, r'^compressed frame too big: \d+ vs\. \d+ ?\n$')


def m4a_packets(data):
    """The ALAC packets of an M4A file, in order, from stsz and stco."""
    off, size = rztest.find_box(data, 'moov/trak/mdia/minf/stbl/stsz')
    count = struct.unpack('>I', data[off + 16:off + 20])[0]
    sizes = struct.unpack(f'>{count}I', data[off + 20:off + 20 + 4 * count])
    off, _ = rztest.find_box(data, 'moov/trak/mdia/minf/stbl/stco')
    pos = struct.unpack('>I', data[off + 16:off + 20])[0] if count else 0
    packets = []
    for s in sizes:
        packets.append(data[pos:pos + s])
        pos += s
    return packets


def decoder_tool(test):
    path = os.environ.get('RO_ZOZA_DECODE', '')
    if not path or not os.path.exists(path):
        if rztest.IN_CI:
            test.fail('RO_ZOZA_DECODE must name the built decoder tool in CI')
        test.skipTest('decoder tool not built')
    return path


def decode_with_tool(test, m4a, channels):
    """Our decoder's frames, as tuples of right-aligned samples."""
    proc = subprocess.run([decoder_tool(test), m4a], capture_output=True, timeout=300)
    test.assertEqual(proc.returncode, 0, proc.stderr.decode('utf-8', 'replace'))
    return _frames(proc.stdout, '<i', 4, channels)


def decode_with_ffmpeg(test, m4a, channels, bits):
    """(frames, stderr) from ffmpeg; frames is None when ffmpeg reported a
    problem, since it then skips the packets it could not decode."""
    rztest.require_tool(test, 'ffmpeg')
    fmt, code, width = ('s16le', '<h', 2) if bits == 16 else ('s32le', '<i', 4)
    proc = subprocess.run(['ffmpeg', '-v', 'warning', '-i', m4a, '-f', fmt, '-'],
                          capture_output=True, timeout=300)
    err = proc.stderr.decode('utf-8', 'replace')
    if proc.returncode != 0 or err:
        return None, err
    frames = _frames(proc.stdout, code, width, channels)
    if width == 4 and bits < 32:
        frames = [tuple(v >> (32 - bits) for v in f) for f in frames]
    return frames, err


def decode_with_gstreamer_s16(test, m4a, out, channels):
    """Frames of a 16-bit M4A decoded by GStreamer's demuxer and decoder."""
    rztest.require_tool(test, 'gst-launch-1.0')
    proc = subprocess.run(
        ['gst-launch-1.0', '-q', 'filesrc', f'location={m4a}', '!', 'qtdemux', '!',
         'avdec_alac', '!', 'audioconvert', '!',
         'audio/x-raw,format=S16LE,layout=interleaved', '!', 'filesink', f'location={out}'],
        capture_output=True, timeout=300)
    test.assertEqual(proc.returncode, 0, proc.stderr.decode('utf-8', 'replace'))
    with open(out, 'rb') as f:
        return _frames(f.read(), '<h', 2, channels)


def _frames(raw, code, width, channels):
    count = len(raw) // width
    values = struct.unpack(f'<{count}{code[1]}', raw[:count * width])
    return [tuple(values[i:i + channels]) for i in range(0, count, channels)]


# ---------------------------------------------------------------- packet bits

def _bits(packet):
    return bin(int.from_bytes(b'\x01' + packet, 'big'))[3:]


def _field(value, width):
    return format(value & ((1 << width) - 1), f'0{width}b')


def uncompressed_header(tag, instance, frames):
    """Tag, instance, 12 reserved bits, partial flag, bytes shifted 0,
    uncompressed flag 1 and, for a partial packet, the frame count."""
    partial = frames != FRAME_LENGTH
    bits = _field(tag, 3) + _field(instance, 4) + '0' * 12 + ('1' if partial else '0') + '001'
    return bits + (_field(frames, 32) if partial else '')


def walk_uncompressed_frame(test, packet, channels, bits):
    """Reads a frame whose every element is uncompressed, checking each
    header field, the end tag and the zero padding; returns its frames in the
    input's channel order."""
    stream = _bits(packet)
    pos = 0

    def take(width):
        nonlocal pos
        test.assertLessEqual(pos + width, len(stream), 'element runs past the packet')
        value = int(stream[pos:pos + width], 2)
        pos += width
        return value

    by_position = []
    instances = {'S': 0, 'P': 0}
    count = None
    for kind in ELEMENTS[channels]:
        test.assertEqual(take(3), 0 if kind == 'S' else 1, 'element tag')
        test.assertEqual(take(4), instances[kind], 'element instance')
        instances[kind] += 1
        test.assertEqual(take(12), 0, 'reserved bits')
        partial = take(1)
        test.assertEqual(take(2), 0, 'bytes shifted')
        test.assertEqual(take(1), 1, 'uncompressed flag')
        frames = take(32) if partial else FRAME_LENGTH
        test.assertEqual(bool(partial), frames != FRAME_LENGTH)
        if count is None:
            count = frames
        test.assertEqual(frames, count, 'elements disagree on the frame count')
        width = 1 if kind == 'S' else 2
        samples = [[] for _ in range(width)]
        sign = 1 << (bits - 1)
        for _ in range(frames):
            for k in range(width):
                v = take(bits)
                samples[k].append(v - 2 * sign if v & sign else v)
        by_position.extend(samples)
    test.assertEqual(take(3), 7, 'end tag')
    test.assertEqual(stream[pos:], '0' * (len(stream) - pos), 'padding after the end tag')
    test.assertLess(len(stream) - pos, 8, 'bytes after the end tag')
    by_input = [None] * channels
    for j, src in enumerate(ORDER[channels]):
        by_input[src] = by_position[j]
    return list(zip(*by_input))


def uncompressed_pairs(packet, frames, channels, bits):
    """ALAC positions of the pairs that `packet` holds as uncompressed
    elements whose bits equal `frames` (the packet's input frames): the
    element's bits are looked up in the packet bit for bit."""
    stream = _bits(packet)
    found = []
    position, instance = 0, 0
    for kind in ELEMENTS[channels]:
        if kind == 'P':
            left, right = ORDER[channels][position], ORDER[channels][position + 1]
            body = ''.join(_field(f[left], bits) + _field(f[right], bits) for f in frames)
            if uncompressed_header(1, instance, len(frames)) + body in stream:
                found.append(position)
            instance += 1
            position += 2
        else:
            position += 1
    return found
