#pragma once
// Why an ALAC frame could not be decoded: one status per kind of fault, each
// with a fixed message.
#include <cstdint>

namespace qv {

enum class AlacDecodeStatus : uint8_t {
    ok,
    not_configured,        // decode_frame before a successful configure
    truncated,             // a field runs past the last byte of the frame
    bad_element_tag,       // tag other than single, pair or end
    unexpected_element,    // element kind differs from the channel layout
    bad_instance,          // instance number out of sequence
    missing_channels,      // end tag before every channel was coded
    extra_element,         // an element after the last channel
    reserved_bits,         // the 12 reserved header bits are not zero
    bad_frame_count,       // partial frame count is 0 or above the frame length
    frame_count_mismatch,  // elements of one frame disagree on the frame count
    bad_bytes_shifted,     // bytes shifted leave no room for the bit depth
    bad_single_mix,        // single-channel element with non-zero mix fields
    bad_mix_bits,          // matrixing shift of 32 or more
    bad_prediction_mode,   // prediction mode other than 0
    bad_den_shift,         // prediction shift of 0
    bad_weight,            // predictor weight factor other than 4
    zero_run_overflow,     // a zero run reaches past the frame count
    sample_out_of_range,   // a decoded value exceeds its bit width
    nonzero_padding,       // padding after the end tag is not zero
    trailing_bytes,        // bytes after the frame's final byte boundary
};

// A lower-case phrase without a final period, e.g. "ALAC frame is truncated".
const char* alac_decode_status_text(AlacDecodeStatus status);

}  // namespace qv
