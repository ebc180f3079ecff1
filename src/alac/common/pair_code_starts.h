#pragma once
// The encoder's hint to a decoder of where each pair's V codes start.
#include <cstdint>

namespace qv {

// Where each pair element's V residual codes begin, in bits from the
// packet's first bit, by the pair's instance number; 0 where unknown. A
// decoder can then read U's and V's codes side by side; it checks them.
struct PairCodeStarts {
    uint32_t v_bits[4] = {};
};

}  // namespace qv
