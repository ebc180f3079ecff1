#pragma once
// Stereo matrixing: one channel pair of the interleaved packet into the U
// and V signals, with the low bytes of 24/32-bit samples split off.
#include <cstdint>

namespace qv {

// `in` points at the pair's first channel; `stride` is the packet's channel
// count in samples. mix_res 0 gives U = L, V = R; otherwise
// U = (mix_res*L + (2^mix_bits - mix_res)*R) >> mix_bits and V = L - R.
void mix16(const int16_t* in, uint32_t stride, int32_t* u, int32_t* v, int32_t count,
           int32_t mix_res);
void mix20(const uint8_t* in, uint32_t stride, int32_t* u, int32_t* v, int32_t count,
           int32_t mix_bits, int32_t mix_res);
void mix24(const uint8_t* in, uint32_t stride, int32_t* u, int32_t* v, int32_t count,
           int32_t mix_bits, int32_t mix_res, uint16_t* shift_buf, int32_t bytes_shifted);
void mix32(const int32_t* in, uint32_t stride, int32_t* u, int32_t* v, int32_t count,
           int32_t mix_res, uint16_t* shift_buf, int32_t bytes_shifted);

}  // namespace qv
