#include "platform/file_status.h"

#include <windows.h>

namespace qv::platform {
namespace {

// The errors with which the system says that a name, or a folder on the way
// to it, does not exist.
bool means_missing(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:    // 2
    case ERROR_PATH_NOT_FOUND:    // 3
    case ERROR_BAD_NETPATH:       // 53
    case ERROR_NETNAME_DELETED:   // 64
    case ERROR_INVALID_NAME:      // 123
    case ERROR_BAD_PATHNAME:      // 161
    case ERROR_DIRECTORY:         // 267
        return true;
    default:
        return false;
    }
}

FileStatus classify_failure(DWORD code, int& system_error) {
    if (means_missing(code)) return FileStatus::missing;
    system_error = static_cast<int>(code);
    return FileStatus::error;
}

}  // namespace

FileStatus query_file_status(const std::filesystem::path& path, int& system_error) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return classify_failure(GetLastError(), system_error);
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return FileStatus::exists;

    // A symbolic link or junction: the attributes above are the link's own.
    // Opening the name follows the link, so a dangling one reads as missing.
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return classify_failure(GetLastError(), system_error);
    CloseHandle(handle);
    return FileStatus::exists;
}

}  // namespace qv::platform
