#include "platform/input_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/interrupt.h"

namespace qv::platform {
namespace {

HANDLE as_handle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

// A file on disk, with its size; pipes, consoles and devices are not.
bool is_regular_file(HANDLE handle, uint64_t& size) {
    LARGE_INTEGER bytes{};
    const bool regular = GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &bytes);
    size = regular ? static_cast<uint64_t>(bytes.QuadPart) : 0;
    return regular;
}

}  // namespace

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::filesystem::path& path) {
    close();
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    regular_ = is_regular_file(handle, size_);
    handle_ = reinterpret_cast<intptr_t>(handle);
    owned_ = true;
    return true;
}

void InputFile::open_standard_input() {
    close();
    HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    regular_ = is_regular_file(handle, size_);
    handle_ = reinterpret_cast<intptr_t>(handle);
    owned_ = false;
}

bool InputFile::is_open() const { return handle_ != -1; }

void InputFile::close() {
    if (handle_ != -1 && owned_) {
        CloseHandle(as_handle(handle_));
    }
    handle_ = -1;
    owned_ = false;
    regular_ = false;
    size_ = 0;
}

bool InputFile::read(void* data, std::size_t size, std::size_t& count) {
    count = 0;
    if (handle_ == -1 || interrupt_requested()) {
        return false;
    }
    // ReadFile takes a 32-bit count; callers loop over short reads anyway.
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD got = 0;
    if (ReadFile(as_handle(handle_), data, chunk, &got, nullptr)) {
        count = got;
        return true;
    }
    // The writer of a pipe closing its end is the pipe's end of data. A read
    // cancelled by the Ctrl-C handler fails with ERROR_OPERATION_ABORTED.
    return GetLastError() == ERROR_BROKEN_PIPE && !interrupt_requested();
}

}  // namespace qv::platform
