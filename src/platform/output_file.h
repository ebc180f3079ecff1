#pragma once
// The output file, written under a temporary name beside its final name and
// moved into place only when it is complete, so that a failed conversion
// never leaves a half-written file or destroys an existing one.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace qv::platform {

enum class CommitResult {
    done,    // the finished file now has its final name
    exists,  // not replacing: a file with the final name appeared meanwhile
    failed,  // the rename failed for another reason
};

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // discards the temporary file unless committed

    // Creates a new, uniquely named temporary file in the folder of
    // `final_path` (exclusive creation). False when it cannot be created.
    bool create(const std::filesystem::path& final_path);
    bool is_open() const;
    // Set by the first failed operation; every later write, seek, sync or
    // commit then fails too.
    bool failed() const { return failed_; }

    // Byte-exact writes at the current position; false on any failure.
    bool write(const void* data, std::size_t size);
    bool seek(uint64_t offset);
    uint64_t position() const;

    // Writes out buffered bytes and makes the file durable (fsync /
    // FlushFileBuffers).
    bool flush_and_sync();

    // Writes out buffered bytes, closes the file and renames it to the final
    // name; with `replace` false an existing file of that name is never
    // replaced. After anything but `done` the temporary file is still there
    // for discard (or the destructor) to remove.
    CommitResult commit(bool replace);

    // Closes and removes the temporary file (after commit it only forgets
    // the names). The object can then create another file.
    void discard();

    const std::filesystem::path& temporary_path() const { return temp_path_; }

private:
    bool flush_buffer();

    std::filesystem::path final_path_;
    std::filesystem::path temp_path_;
    intptr_t handle_ = -1;  // file descriptor, or HANDLE on Windows
    uint64_t position_ = 0;
    bool committed_ = false;
    // Writes are gathered here so that small boxes and packets reach the
    // system in large sequential writes.
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t buffered_ = 0;
    bool failed_ = false;
};

}  // namespace qv::platform
