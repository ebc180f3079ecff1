#include "alac/decoder/golomb_decoder.h"

#include "alac/decoder/golomb_reader.h"

namespace qv {
namespace {

template <uint32_t FixedPb>
AlacDecodeStatus decode_residuals(BitReader& reader, const GolombParams& params, int32_t* out,
                                  uint32_t count, uint32_t sample_bits) {
    golomb_reader::ResidualReader<FixedPb> stream(reader, params, out, count, sample_bits);
    const AlacDecodeStatus status = stream.decode_to(count);
    stream.store(reader);
    return status;
}

}  // namespace

AlacDecodeStatus golomb_decode(BitReader& reader, const GolombParams& params, int32_t* out,
                               uint32_t count, uint32_t sample_bits) {
    if (params.pb == usual_pb)
        return decode_residuals<usual_pb>(reader, params, out, count, sample_bits);
    return decode_residuals<0>(reader, params, out, count, sample_bits);
}

}  // namespace qv
