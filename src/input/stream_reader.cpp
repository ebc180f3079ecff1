#include "input/stream_reader.h"

#include <algorithm>
#include <cstring>

namespace qv {
namespace {

constexpr std::size_t buffer_capacity = 64 * 1024;

}  // namespace

StreamReader::StreamReader(platform::InputFile& file)
    : file_(file), buffer_(std::make_unique<unsigned char[]>(buffer_capacity)) {}

bool StreamReader::refill() {
    begin_ = 0;
    end_ = 0;
    if (at_end_) {
        return true;
    }
    std::size_t count = 0;
    if (!file_.read(buffer_.get(), buffer_capacity, count)) {
        return false;
    }
    end_ = count;
    at_end_ = count == 0;
    return true;
}

bool StreamReader::read_up_to(void* data, std::size_t size, std::size_t& count) {
    auto* out = static_cast<unsigned char*>(data);
    count = 0;
    while (count < size) {
        if (begin_ == end_) {
            const std::size_t wanted = size - count;
            if (wanted >= buffer_capacity && !at_end_) {
                // A large read skips the buffer: one system read, no copy.
                std::size_t got = 0;
                if (!file_.read(out + count, wanted, got)) {
                    return false;
                }
                at_end_ = got == 0;
                if (at_end_) {
                    return true;
                }
                count += got;
                continue;
            }
            if (!refill()) {
                return false;
            }
            if (begin_ == end_) {
                return true;
            }
        }
        const std::size_t n = std::min(size - count, end_ - begin_);
        std::memcpy(out + count, buffer_.get() + begin_, n);
        begin_ += n;
        count += n;
    }
    return true;
}

bool StreamReader::read_exact(void* data, std::size_t size) {
    std::size_t count = 0;
    return read_up_to(data, size, count) && count == size;
}

bool StreamReader::skip(uint64_t size) {
    while (size > 0) {
        if (begin_ == end_) {
            if (!refill() || begin_ == end_) {
                return false;
            }
        }
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(size, end_ - begin_));
        begin_ += n;
        size -= n;
    }
    return true;
}

}  // namespace qv
