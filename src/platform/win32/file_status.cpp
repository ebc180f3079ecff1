#include "platform/file_status.h"

#include <windows.h>

namespace qv::platform {
namespace {

// The errors with which the system says that a name, or a folder on the way
// to it, does not exist.
bool means_missing(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:   // 2
        case ERROR_PATH_NOT_FOUND:   // 3
        case ERROR_BAD_NETPATH:      // 53
        case ERROR_NETNAME_DELETED:  // 64
        case ERROR_INVALID_NAME:     // 123
        case ERROR_BAD_PATHNAME:     // 161
        case ERROR_DIRECTORY:        // 267
            return true;
        default: return false;
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
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return classify_failure(GetLastError(), system_error);
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileStatus::directory
                                                            : FileStatus::exists;
    }
    // A symbolic link or junction: the attributes above are the link's own.
    // The name is taken whatever it points to; opening it follows the link
    // to tell a folder from anything else, and a dangling link is a file.
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return FileStatus::exists;
    }
    BY_HANDLE_FILE_INFORMATION target{};
    const bool folder = GetFileInformationByHandle(handle, &target) &&
                        (target.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    CloseHandle(handle);
    return folder ? FileStatus::directory : FileStatus::exists;
}

}  // namespace qv::platform
