"""A recording just past 4 GiB for the large-file tests: an RF64 file of
incompressible 8-channel 24-bit samples, written in a stream from a
deterministic generator and never kept, and the checks shared by the Linux
and the Windows test."""
import hashlib
import shutil
import struct

import rztest

CHANNELS = 8
BYTES_PER_SAMPLE = 3
BITS = 8 * BYTES_PER_SAMPLE
BLOCK = CHANNELS * BYTES_PER_SAMPLE
RATE = 48000
PACKET_FRAMES = 4096
# Just past 4 GiB of samples, ending in a short packet. Noise is stored
# uncompressed, so the media data is at least as large as the samples.
FRAMES = (1 << 32) // BLOCK + 2 * PACKET_FRAMES + 1234
DATA_BYTES = FRAMES * BLOCK

# A pseudo-random pool repeated end to end. Its length is far above a
# packet's 98,304 bytes and shares no period with it, so every packet holds
# fresh noise that no predictor can compress.
POOL = hashlib.shake_256(b'ro-zoza large recording').digest((1 << 20) + 13)
CHUNK = POOL * 16
SUBTYPE_PCM = bytes.fromhex('0100000000001000800000aa00389b71')
MOOV_STBL = 'moov/trak/mdia/minf/stbl/'


def rf64_header():
    """RF64 header up to the data chunk's payload: ds64 carries the sizes,
    the 32-bit fields hold the placeholder 0xFFFFFFFF."""
    ds64 = struct.pack('<QQQI', 0, DATA_BYTES, FRAMES, 0)
    fmt = struct.pack('<HHIIHHHHI', 0xFFFE, CHANNELS, RATE, RATE * BLOCK, BLOCK, BITS, 22, BITS,
                      0) + SUBTYPE_PCM
    return (b'RF64' + struct.pack('<I', 0xFFFFFFFF) + b'WAVE'
            + b'ds64' + struct.pack('<I', len(ds64)) + ds64
            + b'fmt ' + struct.pack('<I', len(fmt)) + fmt
            + b'data' + struct.pack('<I', 0xFFFFFFFF))


def write_input(path):
    """Writes the RF64 file; returns the SHA-256 of its sample bytes."""
    digest = hashlib.sha256()
    with open(path, 'wb') as f:
        f.write(rf64_header())
        left = DATA_BYTES
        while left:
            chunk = CHUNK if left >= len(CHUNK) else CHUNK[:left]
            f.write(chunk)
            digest.update(chunk)
            left -= len(chunk)
    return digest.hexdigest()


def file_sha256(path):
    digest = hashlib.sha256()
    with open(path, 'rb') as f:
        while block := f.read(1 << 22):
            digest.update(block)
    return digest.hexdigest()


def require_free_space(test, folder, needed):
    """Fails under CI, else skips, when `folder` has less than `needed`
    bytes free."""
    free = shutil.disk_usage(folder).free
    if free < needed:
        message = f'{needed / 1e9:.1f} GB of free disk space needed in {folder}, ' \
                  f'{free / 1e9:.1f} GB free'
        if rztest.IN_CI:
            test.fail(message)
        test.skipTest(message)


def check_layout(test, path):
    """Checks the 64-bit mdat header, co64 and the sample tables of an
    output of the recording, reading only its head and its moov box.
    Returns the media data size."""
    with open(path, 'rb') as f:
        head = f.read(36)
        test.assertEqual(head[:28], b'\0\0\0\x14ftypM4A \0\0\0\0isom\0\0\0\x01mdat')
        payload = struct.unpack('>Q', head[28:36])[0] - 16
        f.seek(36 + payload)
        moov = f.read()
    test.assertGreater(payload, 0xFFFFFFFF - 8)
    test.assertEqual([box[0] for box in rztest.walk_boxes(moov)], [b'moov'])
    test.assertIsNone(rztest.find_box(moov, MOOV_STBL + 'stco'))
    off, _ = rztest.find_box(moov, MOOV_STBL + 'co64')
    test.assertEqual(struct.unpack('>IQ', moov[off + 12:off + 24]), (1, 36))
    off, _ = rztest.find_box(moov, MOOV_STBL + 'stsz')
    count = struct.unpack('>I', moov[off + 16:off + 20])[0]
    test.assertEqual(count, -(-FRAMES // PACKET_FRAMES))
    test.assertEqual(sum(struct.unpack(f'>{count}I', moov[off + 20:off + 20 + 4 * count])),
                     payload)
    off, _ = rztest.find_box(moov, 'moov/trak/mdia/mdhd')
    test.assertEqual(struct.unpack('>II', moov[off + 20:off + 28]), (RATE, FRAMES))
    return payload
