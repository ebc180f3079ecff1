// Whether a name exists, by stat (which follows symbolic links).
#include "platform/file_status.h"

#include <sys/stat.h>

#include <cerrno>

namespace qv::platform {

FileStatus query_file_status(const std::filesystem::path& path, int& system_error) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        return FileStatus::exists;
    }
    // ENOTDIR: a component on the way is a file, so the name cannot exist.
    if (errno == ENOENT || errno == ENOTDIR) {
        return FileStatus::missing;
    }
    system_error = errno;
    return FileStatus::error;
}

}  // namespace qv::platform
