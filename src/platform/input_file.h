#pragma once
// An input read front to back through the system's own calls: a file, a
// named pipe or a device. A wait for data (a FIFO without a writer, a
// stalled pipe) ends as a failure once an interruption has been requested,
// instead of holding the program until the data comes.
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace qv::platform {

class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // False when the name cannot be opened for reading, names a folder, or
    // when an interruption ended the wait for it to open.
    bool open(const std::filesystem::path& path);
    // Takes the process's standard input, read as raw bytes (no newline
    // translation on Windows). It is not closed by this object.
    void open_standard_input();
    bool is_open() const;
    void close();

    // Reads up to `size` bytes; `count` receives how many arrived, 0 only at
    // the end of the input. False on a read error or an interruption.
    bool read(void* data, std::size_t size, std::size_t& count);

    // A regular file has a size known in advance; pipes and devices do not.
    bool is_regular() const { return regular_; }
    uint64_t regular_size() const { return size_; }

private:
    intptr_t handle_ = -1;  // file descriptor, or HANDLE on Windows
    bool regular_ = false;
    bool owned_ = false;  // closed with this object (not standard input)
    uint64_t size_ = 0;
};

}  // namespace qv::platform
