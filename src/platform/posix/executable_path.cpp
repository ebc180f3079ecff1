// The running executable's path from the kernel's /proc link.
#include "platform/executable_path.h"

#include <unistd.h>

#include <vector>

namespace qv::platform {

std::filesystem::path executable_path() {
    // readlink does not say whether it truncated, so grow the buffer until
    // the result leaves room to spare.
    std::vector<char> buffer(4096);
    while (buffer.size() <= 32768) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            return std::filesystem::path(std::string(buffer.data(), static_cast<size_t>(length)));
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace qv::platform
