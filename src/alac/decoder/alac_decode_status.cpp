#include "alac/decoder/alac_decode_status.h"

namespace qv {

const char* alac_decode_status_text(AlacDecodeStatus status) {
    switch (status) {
        case AlacDecodeStatus::ok: return "ALAC frame decoded";
        case AlacDecodeStatus::not_configured: return "ALAC decoder is not configured";
        case AlacDecodeStatus::truncated: return "ALAC frame is truncated";
        case AlacDecodeStatus::bad_element_tag: return "ALAC frame has an unsupported element tag";
        case AlacDecodeStatus::unexpected_element:
            return "ALAC element does not match the channel layout";
        case AlacDecodeStatus::bad_instance: return "ALAC element instance is out of sequence";
        case AlacDecodeStatus::missing_channels:
            return "ALAC frame ends before all channels are coded";
        case AlacDecodeStatus::extra_element: return "ALAC frame has more elements than channels";
        case AlacDecodeStatus::reserved_bits: return "ALAC element reserved bits are not zero";
        case AlacDecodeStatus::bad_frame_count: return "ALAC frame count is out of range";
        case AlacDecodeStatus::frame_count_mismatch:
            return "ALAC elements disagree on the frame count";
        case AlacDecodeStatus::bad_bytes_shifted:
            return "ALAC bytes shifted does not fit the bit depth";
        case AlacDecodeStatus::bad_single_mix:
            return "ALAC single-channel element has mix parameters";
        case AlacDecodeStatus::bad_mix_bits: return "ALAC mix bits are out of range";
        case AlacDecodeStatus::bad_prediction_mode: return "ALAC prediction mode is unsupported";
        case AlacDecodeStatus::bad_den_shift: return "ALAC prediction shift is zero";
        case AlacDecodeStatus::bad_weight: return "ALAC predictor weight is unsupported";
        case AlacDecodeStatus::zero_run_overflow: return "ALAC zero run is longer than the frame";
        case AlacDecodeStatus::sample_out_of_range:
            return "ALAC decoded sample exceeds the bit depth";
        case AlacDecodeStatus::nonzero_padding: return "ALAC frame padding bits are not zero";
        case AlacDecodeStatus::trailing_bytes: return "ALAC frame has bytes after its end";
    }
    return "ALAC frame status unknown";
}

}  // namespace qv
