#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/interrupt.h"

namespace qv::platform {

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::filesystem::path& path) {
    close();
    int fd;
    // Opening a FIFO waits for its writer; a signal ends that wait with EINTR.
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR && !interrupt_requested());
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    // A folder opens on POSIX but never reads; refuse it here, as Windows does.
    if (known && S_ISDIR(info.st_mode)) {
        ::close(fd);
        return false;
    }
    regular_ = known && S_ISREG(info.st_mode);
    size_ = regular_ ? static_cast<uint64_t>(info.st_size) : 0;
    handle_ = fd;
    owned_ = true;
    return true;
}

void InputFile::open_standard_input() {
    close();
    struct stat info {};
    regular_ = ::fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode);
    size_ = regular_ ? static_cast<uint64_t>(info.st_size) : 0;
    handle_ = STDIN_FILENO;
    owned_ = false;
}

bool InputFile::is_open() const { return handle_ >= 0; }

void InputFile::close() {
    if (handle_ >= 0 && owned_) {
        ::close(static_cast<int>(handle_));
    }
    handle_ = -1;
    owned_ = false;
    regular_ = false;
    size_ = 0;
}

bool InputFile::read(void* data, std::size_t size, std::size_t& count) {
    count = 0;
    if (handle_ < 0) {
        return false;
    }
    for (;;) {
        if (interrupt_requested()) {
            return false;
        }
        const ssize_t got = ::read(static_cast<int>(handle_), data, size);
        if (got >= 0) {
            count = static_cast<std::size_t>(got);
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

}  // namespace qv::platform
