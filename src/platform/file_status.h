#pragma once
// Whether a name exists, following symbolic links.
#include <filesystem>

namespace qv::platform {

enum class FileStatus {
    exists,   // a file, a folder or anything else has this name
    missing,  // the system says the name (or a folder on its way) does not exist
    error,    // the query failed for another reason (for example access denied)
};

// On error, `system_error` receives the system's error code.
FileStatus query_file_status(const std::filesystem::path& path, int& system_error);

}  // namespace qv::platform
