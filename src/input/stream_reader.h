#pragma once
// Buffered front-to-back reading of an input that may be a pipe: small reads
// (chunk headers) come from a buffer, large ones (audio blocks) go straight
// into the caller's memory, and skipping reads past rather than seeking.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/input_file.h"

namespace qv {

class StreamReader {
public:
    explicit StreamReader(platform::InputFile& file);

    // Exactly `size` bytes, or false (end of input, read error, interruption).
    bool read_exact(void* data, std::size_t size);
    // Up to `size` bytes, fewer only at the end of the input.
    bool read_up_to(void* data, std::size_t size, std::size_t& count);
    // Reads past `size` bytes; false when the input ends first.
    bool skip(uint64_t size);

private:
    bool refill();

    platform::InputFile& file_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool at_end_ = false;
};

}  // namespace qv
