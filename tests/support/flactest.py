"""FLAC fixtures for the whole-program tests: deterministic PCM, FLAC files
made from it by the flac tool, and where a FLAC file's audio frames start."""
import os
import random
import subprocess

import rztest


def make_frames(channels, bits, count, seed=1):
    """`count` frames of `channels` samples at `bits`: noise over a ramp,
    with both ends of the range in every channel."""
    rng = random.Random(seed * 1000 + channels * 40 + bits)
    top = (1 << (bits - 1)) - 1
    low = -top - 1
    frames = []
    for i in range(count):
        frame = []
        for c in range(channels):
            if i % 997 == c:
                frame.append(top)
            elif i % 991 == c:
                frame.append(low)
            else:
                ramp = ((i * (c + 1) * 37) % 2001 - 1000) * (top // 2000)
                frame.append(max(low, min(top, ramp + rng.randint(-top // 8, top // 8))))
        frames.append(tuple(frame))
    return frames


def container_bits(bits):
    """The WAV container for a sample size."""
    return (bits + 7) // 8 * 8


def write_flac(test, path, frames, channels, bits, rate=44100):
    """Encodes the frames with the flac tool (through a WAV beside `path`)
    and returns the WAV's path."""
    flac = rztest.require_tool(test, 'flac')
    wav = os.path.splitext(path)[0] + '.source.wav'
    rztest.write_wav(wav, frames, channels, rate=rate, container_bits=container_bits(bits),
                     valid_bits=bits)
    # The WAV fixtures carry no speaker mask; keep the file's channel order.
    args = [flac, '-s', '-f', '--channel-map=none', '-o', path, wav]
    proc = subprocess.run(args, capture_output=True, timeout=300)
    test.assertEqual(proc.returncode, 0, proc.stderr.decode('utf-8', 'replace'))
    return wav


def audio_offset(data):
    """Where the first audio frame starts: after "fLaC" and the metadata
    blocks, each a 4-byte header (last-block flag, type, 24-bit length)."""
    if data[:4] != b'fLaC':
        raise ValueError('not a FLAC file')
    pos = 4
    while True:
        header = data[pos]
        pos += 4 + int.from_bytes(data[pos + 1:pos + 4], 'big')
        if header & 0x80:
            return pos
