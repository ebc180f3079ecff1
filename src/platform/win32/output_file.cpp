#include <windows.h>

#include <algorithm>

#include "platform/output_file_system.h"

namespace qv::platform::os {
namespace {

HANDLE as_handle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

intptr_t create_new_file(const std::filesystem::path& path, bool& name_taken) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        name_taken = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        return no_file;
    }
    name_taken = false;
    return reinterpret_cast<intptr_t>(handle);
}

bool write_at(intptr_t file, const unsigned char* data, std::size_t size, uint64_t offset) {
    while (size > 0) {
        // WriteFile takes a 32-bit count; the offset travels in the
        // OVERLAPPED record, which on a synchronous handle makes the write
        // positional.
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        if (!WriteFile(as_handle(file), data, chunk, &written, &at) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
        offset += written;
    }
    return true;
}

bool sync_file(intptr_t file) { return FlushFileBuffers(as_handle(file)) != 0; }

bool close_file(intptr_t file) { return CloseHandle(as_handle(file)) != 0; }

CommitResult move_file(const std::filesystem::path& from, const std::filesystem::path& to,
                       bool replace) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails rather than replace a
    // file that appeared under the final name; write-through returns only
    // once the new directory entry is on disk.
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (replace) flags |= MOVEFILE_REPLACE_EXISTING;
    if (MoveFileExW(from.c_str(), to.c_str(), flags)) return CommitResult::done;
    const DWORD code = GetLastError();
    if (!replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)) {
        return CommitResult::exists;
    }
    return CommitResult::failed;
}

void remove_file(const std::filesystem::path& path) { DeleteFileW(path.c_str()); }

unsigned long process_id() { return GetCurrentProcessId(); }

bool process_running(unsigned long pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        // No such process; anything else (access denied) may be a live one.
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    DWORD code = 0;
    const bool running = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

}  // namespace qv::platform::os
