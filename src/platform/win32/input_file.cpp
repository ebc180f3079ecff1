#include "platform/input_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/interrupt.h"

namespace qv::platform {
namespace {

HANDLE as_handle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

InputFile::~InputFile() {
    close();
}

bool InputFile::open(const std::filesystem::path& path) {
    close();
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    regular_ = GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size);
    size_ = regular_ ? static_cast<uint64_t>(size.QuadPart) : 0;
    handle_ = reinterpret_cast<intptr_t>(handle);
    return true;
}

bool InputFile::is_open() const {
    return handle_ != -1;
}

void InputFile::close() {
    if (handle_ != -1) {
        CloseHandle(as_handle(handle_));
        handle_ = -1;
    }
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
