// Whether a name exists: the name itself by lstat, so that a dangling
// symbolic link counts as taken, and what a link names by stat, so that a
// link to a folder counts as a folder.
#include "platform/file_status.h"

#include <sys/stat.h>

#include <cerrno>

namespace qv::platform {

FileStatus query_file_status(const std::filesystem::path& path, int& system_error) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        // ENOTDIR: a component on the way is a file, so the name cannot exist.
        if (errno == ENOENT || errno == ENOTDIR) {
            return FileStatus::missing;
        }
        system_error = errno;
        return FileStatus::error;
    }
    if (S_ISLNK(info.st_mode)) {
        struct stat target;
        return stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode) ? FileStatus::directory
                                                                           : FileStatus::exists;
    }
    return S_ISDIR(info.st_mode) ? FileStatus::directory : FileStatus::exists;
}

}  // namespace qv::platform
