#pragma once
// Whether an output name is free, taken, or a folder.
#include <filesystem>

namespace qv::platform {

enum class FileStatus {
    exists,     // a file or anything else that is not a folder has this name,
                // a symbolic link included even when what it names is gone
    directory,  // a folder, or a link to one
    missing,    // the system says the name (or a folder on its way) does not exist
    error,      // the query failed for another reason (for example access denied)
};

// On error, `system_error` receives the system's error code.
FileStatus query_file_status(const std::filesystem::path& path, int& system_error);

}  // namespace qv::platform
