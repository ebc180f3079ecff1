#include "alac/alac_encoder.h"

#include <cstdlib>
#include <initializer_list>

#include "alac/common/alac_format.h"
#include "alac/common/channel_layout.h"
#include "alac/element_io.h"

namespace qv {

namespace {

template <typename T>
void release(T*& buffer) {
    std::free(buffer);
    buffer = nullptr;
}

template <typename T>
T* zeroed(uint32_t count) {
    return static_cast<T*>(std::calloc(count, sizeof(T)));
}

}  // namespace

ALACEncoder::ALACEncoder() = default;

ALACEncoder::~ALACEncoder() { release_buffers(); }

void ALACEncoder::release_buffers() {
    release(mix_u);
    release(mix_v);
    release(residual_u);
    release(residual_v);
    release(shift_buf);
    release(work_buf);
}

int32_t ALACEncoder::initialize(const StreamFormat& output) {
    num_channels = output.channels_per_frame;
    sample_rate = static_cast<uint32_t>(output.sample_rate);
    switch (output.format_flags) {
        case 1: bit_depth = 16; break;
        case 2: bit_depth = 20; break;
        case 3: bit_depth = 24; break;
        case 4: bit_depth = 32; break;
        default: break;
    }
    max_output_bytes = alac::max_frame_bytes(num_channels, frame_size);

    release_buffers();
    mix_u = zeroed<int32_t>(frame_size);
    mix_v = zeroed<int32_t>(frame_size);
    residual_u = zeroed<int32_t>(frame_size);
    residual_v = zeroed<int32_t>(frame_size);
    shift_buf = zeroed<uint16_t>(2 * frame_size);
    work_buf = zeroed<uint8_t>(max_output_bytes);
    if (!mix_u || !mix_v || !residual_u || !residual_v || !shift_buf || !work_buf) {
        return alac_memory_error;
    }

    // Every order starts from the same filter: 38, -29, -2 in units of 2^9/16.
    for (uint32_t ch = 0; ch < num_channels && ch < 8; ++ch) {
        for (PredictorCoefs* bank : {&coefs_u, &coefs_v}) {
            for (int16_t(&set)[16] : bank->sets[ch]) {
                for (int16_t& a : set) a = 0;
                set[0] = 1216;
                set[1] = -928;
                set[2] = -64;
            }
        }
    }
    return 0;
}

void ALACEncoder::set_source_format(const StreamFormat& source, const StreamFormat&) {
    bit_depth = 16;
    if (source.format_id == fourcc("lpcm") && (source.format_flags & 1) == 0) {
        const uint32_t bits = source.bits_per_channel;
        bit_depth = bits <= 16 ? 16 : bits <= 20 ? 20 : bits <= 24 ? 24 : 32;
    }
}

int32_t ALACEncoder::encode_frame(const StreamFormat& input, const StreamFormat&,
                                  const uint8_t* pcm, uint8_t* out, int32_t* io_bytes) {
    const uint32_t channels = input.channels_per_frame;
    if (input.bytes_per_packet == 0 || channels < 1 || channels > 8 || channels > num_channels ||
        work_buf == nullptr) {
        return alac_param_error;
    }
    const uint32_t count = static_cast<uint32_t>(*io_bytes) / input.bytes_per_packet;
    if (count > frame_size) return alac_param_error;

    BitWriter writer;
    bit_writer_init(writer, out, max_output_bytes);
    code_starts_ = PairCodeStarts{};
    pair_instance_ = 0;
    int32_t status = 0;
    if (channels == 2) {
        write_element_start(writer, alac::tag_pair, 0);
        status = fast_mode ? encode_pair_fast(writer, pcm, count)
                           : encode_pair(writer, pcm, 2, 0, count);
    } else if (channels == 1) {
        write_element_start(writer, alac::tag_single, 0);
        status = encode_single(writer, pcm, 1, 0, count);
    } else {
        const uint32_t sample_bytes = (uint32_t(bit_depth) + 7) / 8;
        const uint8_t* p = pcm;
        uint32_t singles = 0;
        uint32_t pairs = 0;
        for (uint32_t ch = 0; ch < channels && status == 0;) {
            if (element_tag_at(channels, ch) == alac::tag_single) {
                write_element_start(writer, alac::tag_single, singles++);
                status = encode_single(writer, p, channels, ch, count);
                p += sample_bytes;
                ch += 1;
            } else {
                pair_instance_ = pairs;
                write_element_start(writer, alac::tag_pair, pairs++);
                status = encode_pair(writer, p, channels, ch, count);
                p += 2 * sample_bytes;
                ch += 2;
            }
        }
    }
    if (status != 0) return status;

    write_bits(writer, alac::tag_end, alac::tag_bits);
    byte_align(writer);
    const uint32_t size = bit_position(writer) / 8;
    *io_bytes = static_cast<int32_t>(size);
    if (size > max_frame_bytes) max_frame_bytes = size;
    return 0;
}

int32_t ALACEncoder::finish() { return 0; }

}  // namespace qv
