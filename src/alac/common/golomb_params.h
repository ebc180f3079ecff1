#pragma once
// The constants of the adaptive Golomb-Rice code, as the magic cookie
// carries them; both the coder and the reader take them.
#include <cstdint>

namespace qv {

// The rate every stream of this encoder uses, for which the readers have a
// faster form.
inline constexpr uint32_t usual_pb = 40;

struct GolombParams {
    uint32_t mb0 = 10;       // initial mean of the mapped residuals, scaled by 512
    uint32_t pb = usual_pb;  // adaptation rate, in 1/512 per residual
    uint32_t kb = 14;        // largest Rice parameter
    uint32_t wb = 16383;     // zero-run divisor mask, 2^kb - 1
};

}  // namespace qv

namespace qv {

// The parameters a cookie's fields give.
inline GolombParams golomb_params_from(uint32_t mb0, uint32_t pb, uint32_t kb) {
    return {mb0, pb, kb, (1u << kb) - 1};
}

}  // namespace qv
