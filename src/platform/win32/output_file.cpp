#include "platform/output_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace qv::platform {
namespace {

constexpr std::size_t buffer_capacity = 1 << 20;
constexpr int create_attempts = 100;

HANDLE as_handle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// "<output name>.<hex>.tmp" beside the output. The hex part mixes the process
// id, a high-resolution clock and the attempt number so that two runs writing
// the same output (or a stale file) do not collide.
std::filesystem::path temporary_name(const std::filesystem::path& final_path, int attempt) {
    LARGE_INTEGER ticks;
    QueryPerformanceCounter(&ticks);
    uint64_t mix = (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
                   static_cast<uint64_t>(ticks.QuadPart) ^
                   (static_cast<uint64_t>(attempt) * 0x9E3779B97F4A7C15ull);
    mix ^= mix >> 29;
    wchar_t hex[9];
    for (int i = 7; i >= 0; --i) {
        hex[i] = L"0123456789abcdef"[mix & 15];
        mix >>= 4;
    }
    hex[8] = L'\0';
    // Keep the name within the 255 characters a component may have.
    std::wstring name = final_path.filename().native().substr(0, 200);
    name += L'.';
    name += hex;
    name += L".tmp";
    return final_path.parent_path() / name;
}

// WriteFile takes at most 4 GiB - 1 per call.
bool write_all(HANDLE handle, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// Hands the gathered bytes to the system; a failure sticks to the file.
bool write_pending(intptr_t handle, const unsigned char* buffer, std::size_t& buffered,
                   bool& failed) {
    if (buffered == 0) return true;
    const bool ok = write_all(as_handle(handle), buffer, buffered);
    buffered = 0;
    if (!ok) failed = true;
    return ok;
}

void close_and_release(intptr_t& handle, unsigned char*& buffer, std::size_t& buffered) {
    if (handle != -1) CloseHandle(as_handle(handle));
    handle = -1;
    delete[] buffer;
    buffer = nullptr;
    buffered = 0;
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::create(const std::filesystem::path& final_path) {
    discard();
    final_path_ = final_path;
    committed_ = false;
    failed_ = false;
    position_ = 0;
    buffered_ = 0;
    for (int attempt = 0; attempt < create_attempts; ++attempt) {
        std::filesystem::path candidate = temporary_name(final_path, attempt);
        HANDLE handle = CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<intptr_t>(handle);
            temp_path_ = std::move(candidate);
            buffer_ = new unsigned char[buffer_capacity];
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
    }
    return false;
}

bool OutputFile::is_open() const { return handle_ != -1; }

bool OutputFile::write(const void* data, std::size_t size) {
    if (!is_open() || failed_) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (buffered_ + size <= buffer_capacity) {
        if (size > 0) std::memcpy(buffer_ + buffered_, bytes, size);
        buffered_ += size;
    } else {
        if (!write_pending(handle_, buffer_, buffered_, failed_)) return false;
        if (size >= buffer_capacity) {
            if (!write_all(as_handle(handle_), bytes, size)) {
                failed_ = true;
                return false;
            }
        } else {
            std::memcpy(buffer_, bytes, size);
            buffered_ = size;
        }
    }
    position_ += size;
    return true;
}

bool OutputFile::seek(uint64_t offset) {
    if (!is_open() || failed_) return false;
    if (!write_pending(handle_, buffer_, buffered_, failed_)) return false;
    LARGE_INTEGER target;
    target.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(as_handle(handle_), target, nullptr, FILE_BEGIN)) {
        failed_ = true;
        return false;
    }
    position_ = offset;
    return true;
}

uint64_t OutputFile::position() const { return position_; }

bool OutputFile::flush_and_sync() {
    if (!is_open() || failed_) return false;
    if (!write_pending(handle_, buffer_, buffered_, failed_)) return false;
    if (!FlushFileBuffers(as_handle(handle_))) {
        failed_ = true;
        return false;
    }
    return true;
}

CommitResult OutputFile::commit(bool replace) {
    if (!is_open() || failed_ || !flush_and_sync()) {
        discard();
        return CommitResult::failed;
    }
    close_and_release(handle_, buffer_, buffered_);
    // The file is closed first: a handle opened without sharing would make
    // the move fail. Without MOVEFILE_REPLACE_EXISTING the move never
    // replaces a file that appeared under the final name in the meantime.
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (replace) flags |= MOVEFILE_REPLACE_EXISTING;
    if (MoveFileExW(temp_path_.c_str(), final_path_.c_str(), flags)) {
        committed_ = true;
        temp_path_.clear();
        return CommitResult::done;
    }
    const DWORD code = GetLastError();
    discard();
    if (!replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)) {
        return CommitResult::exists;
    }
    return CommitResult::failed;
}

void OutputFile::discard() {
    close_and_release(handle_, buffer_, buffered_);
    if (!committed_ && !temp_path_.empty()) DeleteFileW(temp_path_.c_str());
    temp_path_.clear();
}

}  // namespace qv::platform
