#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>

#include "platform/output_file_system.h"

namespace qv::platform::os {
namespace {

// Makes a finished rename survive a crash: the directory entry lives in the
// folder, which has to be synced too. Some file systems refuse to sync a
// folder; the file itself is already durable then.
void sync_folder_of(const std::filesystem::path& path) {
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool links_unsupported(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

CommitResult move_without_replacing(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return CommitResult::done;
    }
    if (errno == EEXIST) {
        return CommitResult::exists;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return CommitResult::failed;
    }
#endif
    // A hard link fails rather than replace an existing name.
    if (::link(from, to) == 0) {
        ::unlink(from);
        return CommitResult::done;
    }
    if (errno == EEXIST) {
        return CommitResult::exists;
    }
    if (!links_unsupported(errno)) {
        return CommitResult::failed;
    }
    // A file system with neither leaves only a check before the rename; a
    // file appearing between the two would be replaced.
    struct stat st {};
    if (::lstat(to, &st) == 0) {
        return CommitResult::exists;
    }
    if (errno != ENOENT) {
        return CommitResult::failed;
    }
    return ::rename(from, to) == 0 ? CommitResult::done : CommitResult::failed;
}

}  // namespace

intptr_t create_new_file(const std::filesystem::path& path, bool& name_taken) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    name_taken = fd < 0 && errno == EEXIST;
    return fd < 0 ? no_file : fd;
}

bool write_at(intptr_t file, const unsigned char* data, std::size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t written =
            ::pwrite(static_cast<int>(file), data, size, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    return true;
}

bool sync_file(intptr_t file) { return ::fsync(static_cast<int>(file)) == 0; }

bool close_file(intptr_t file) { return ::close(static_cast<int>(file)) == 0; }

CommitResult move_file(const std::filesystem::path& from, const std::filesystem::path& to,
                       bool replace) {
    const CommitResult result =
        replace
            ? (::rename(from.c_str(), to.c_str()) == 0 ? CommitResult::done : CommitResult::failed)
            : move_without_replacing(from.c_str(), to.c_str());
    if (result == CommitResult::done) {
        sync_folder_of(to);
    }
    return result;
}

void remove_file(const std::filesystem::path& path) { ::unlink(path.c_str()); }

unsigned long process_id() { return static_cast<unsigned long>(::getpid()); }

bool process_running(unsigned long pid) {
    if (pid == 0 || pid > static_cast<unsigned long>(INT32_MAX)) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

}  // namespace qv::platform::os
