// A stand-in for libFLAC, built as a shared library for the loader tests. It
// exports the twelve stream-decoder names (or all but the state-text one,
// when built with RZ_WITHOUT_STATE_STRING) and decodes nothing: it never
// hands out a decoder, so a conversion through it fails at once.
#include <cstdint>

extern "C" {

void* FLAC__stream_decoder_new() { return nullptr; }
void FLAC__stream_decoder_delete(void*) {}
int FLAC__stream_decoder_init_file(void*, const char*, void*, void*, void*, void*) { return 1; }
int FLAC__stream_decoder_process_until_end_of_metadata(void*) { return 0; }
int FLAC__stream_decoder_process_until_end_of_stream(void*) { return 0; }
int FLAC__stream_decoder_finish(void*) { return 1; }
unsigned FLAC__stream_decoder_get_channels(const void*) { return 0; }
unsigned FLAC__stream_decoder_get_bits_per_sample(const void*) { return 0; }
unsigned FLAC__stream_decoder_get_sample_rate(const void*) { return 0; }
unsigned FLAC__stream_decoder_get_blocksize(const void*) { return 0; }
uint64_t FLAC__stream_decoder_get_total_samples(const void*) { return 0; }
#ifndef RZ_WITHOUT_STATE_STRING
const char* FLAC__stream_decoder_get_resolved_state_string(const void*) { return nullptr; }
#endif
}
