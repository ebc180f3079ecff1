/* A stand-in libFLAC.dll for the Windows tests: it exports the twelve
 * stream-decoder functions the program resolves and plays back a synthetic
 * stream through the program's real callbacks.
 *
 * The "FLAC" file it opens is the tests' own format, all fields u32
 * little-endian: magic "RZSI", channels, bits per sample, sample rate,
 * declared total frames, frames per delivered block, frame count, then the
 * frames as interleaved int32 samples. The file name arrives as UTF-8, as
 * libFLAC takes it on Windows, and is opened through the wide API so that a
 * name outside the ANSI code page proves the conversion.
 *
 * Built with -DRZ_OMIT_STATE_STRING it lacks
 * FLAC__stream_decoder_get_resolved_state_string, the last export the
 * program looks up. */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __declspec(dllexport)

typedef int (*write_callback)(const void* decoder, const void* frame, const int32_t* const buffer[],
                              void* client);
typedef void (*error_callback)(const void* decoder, int status, void* client);

enum { max_channels = 8, header_fields = 7 };

typedef struct {
    write_callback write;
    error_callback error;
    void* client;
    uint32_t channels, bits, rate, block, frames;
    uint64_t total;
    uint32_t current_block;
    int32_t* samples; /* interleaved */
    const char* state;
} Decoder;

/* Big enough for libFLAC's frame header record, which the program ignores. */
static unsigned char frame_record[1024];

EXPORT void* FLAC__stream_decoder_new(void) {
    Decoder* d = calloc(1, sizeof *d);
    if (d) d->state = "FLAC__STREAM_DECODER_UNINITIALIZED";
    return d;
}

EXPORT void FLAC__stream_decoder_delete(void* decoder) {
    Decoder* d = decoder;
    if (!d) return;
    free(d->samples);
    free(d);
}

static FILE* open_utf8(const char* name) {
    wchar_t wide[4096];
    if (!MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide, 4096)) return NULL;
    return _wfopen(wide, L"rb");
}

static int read_stream(Decoder* d, FILE* f) {
    uint32_t head[header_fields];
    if (fread(head, 4, header_fields, f) != header_fields || memcmp(head, "RZSI", 4) != 0) return 0;
    d->channels = head[1];
    d->bits = head[2];
    d->rate = head[3];
    d->total = head[4];
    d->block = head[5];
    d->frames = head[6];
    if (d->channels == 0 || d->channels > max_channels || d->block == 0) return 0;
    size_t count = (size_t)d->frames * d->channels;
    d->samples = malloc(count ? count * 4 : 4);
    return d->samples && fread(d->samples, 4, count, f) == count;
}

/* Returns libFLAC's init status: 0 OK, 4 error opening file. */
EXPORT int FLAC__stream_decoder_init_file(void* decoder, const char* filename, write_callback write,
                                          void* metadata, error_callback error, void* client) {
    Decoder* d = decoder;
    (void)metadata;
    FILE* f = open_utf8(filename);
    if (!f) return 4;
    int ok = read_stream(d, f);
    fclose(f);
    if (!ok) return 4;
    d->write = write;
    d->error = error;
    d->client = client;
    d->state = "FLAC__STREAM_DECODER_SEARCH_FOR_METADATA";
    return 0;
}

EXPORT int FLAC__stream_decoder_process_until_end_of_metadata(void* decoder) {
    Decoder* d = decoder;
    d->state = "FLAC__STREAM_DECODER_SEARCH_FOR_FRAME_SYNC";
    return 1;
}

/* One write callback per block, with per-channel buffers as libFLAC hands
 * them out. */
EXPORT int FLAC__stream_decoder_process_until_end_of_stream(void* decoder) {
    Decoder* d = decoder;
    int32_t* planes[max_channels];
    for (uint32_t c = 0; c < d->channels; ++c) {
        planes[c] = malloc((size_t)d->block * 4);
        if (!planes[c]) return 0;
    }
    int ok = 1;
    for (uint32_t start = 0; start < d->frames && ok; start += d->block) {
        uint32_t n = d->frames - start < d->block ? d->frames - start : d->block;
        for (uint32_t i = 0; i < n; ++i)
            for (uint32_t c = 0; c < d->channels; ++c)
                planes[c][i] = d->samples[(size_t)(start + i) * d->channels + c];
        d->current_block = n;
        if (d->write(d, frame_record, (const int32_t* const*)planes, d->client) != 0) {
            d->state = "FLAC__STREAM_DECODER_ABORTED";
            ok = 0;
        }
    }
    for (uint32_t c = 0; c < d->channels; ++c) free(planes[c]);
    if (ok) d->state = "FLAC__STREAM_DECODER_END_OF_STREAM";
    return ok;
}

EXPORT int FLAC__stream_decoder_finish(void* decoder) {
    Decoder* d = decoder;
    d->state = "FLAC__STREAM_DECODER_UNINITIALIZED";
    return 1;
}

EXPORT unsigned FLAC__stream_decoder_get_channels(const void* decoder) {
    return ((const Decoder*)decoder)->channels;
}

EXPORT unsigned FLAC__stream_decoder_get_bits_per_sample(const void* decoder) {
    return ((const Decoder*)decoder)->bits;
}

EXPORT unsigned FLAC__stream_decoder_get_sample_rate(const void* decoder) {
    return ((const Decoder*)decoder)->rate;
}

EXPORT unsigned FLAC__stream_decoder_get_blocksize(const void* decoder) {
    return ((const Decoder*)decoder)->current_block;
}

EXPORT uint64_t FLAC__stream_decoder_get_total_samples(const void* decoder) {
    return ((const Decoder*)decoder)->total;
}

#ifndef RZ_OMIT_STATE_STRING
EXPORT const char* FLAC__stream_decoder_get_resolved_state_string(const void* decoder) {
    return ((const Decoder*)decoder)->state;
}
#endif
