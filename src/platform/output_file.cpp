#include "platform/output_file.h"

#include <cstring>
#include <string>

#include "platform/output_file_system.h"

namespace qv::platform {
namespace {

constexpr std::size_t buffer_capacity = 256 * 1024;
constexpr int name_attempts = 1000;

// ".<name>.<pid>-<counter>.tmp" beside the final name: hidden, tied to this
// process, and never the name of a finished output.
std::filesystem::path temporary_name(const std::filesystem::path& final_path, unsigned counter) {
    std::filesystem::path name(".");
    name += final_path.filename();
    std::string suffix(".");
    suffix += std::to_string(os::process_id());
    suffix += '-';
    suffix += std::to_string(counter);
    suffix += ".tmp";
    name += suffix;
    return final_path.parent_path() / name;
}

}  // namespace

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::create(const std::filesystem::path& final_path) {
    discard();
    static unsigned counter = 0;
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        std::filesystem::path candidate = temporary_name(final_path, counter++);
        bool name_taken = false;
        const intptr_t file = os::create_new_file(candidate, name_taken);
        if (file != os::no_file) {
            handle_ = file;
            final_path_ = final_path;
            temp_path_ = std::move(candidate);
            if (!buffer_) {
                buffer_ = std::make_unique<unsigned char[]>(buffer_capacity);
            }
            return true;
        }
        if (!name_taken) {
            break;
        }
    }
    failed_ = true;
    return false;
}

bool OutputFile::is_open() const {
    return handle_ != os::no_file;
}

bool OutputFile::flush_buffer() {
    if (buffered_ == 0) {
        return true;
    }
    const std::size_t count = buffered_;
    buffered_ = 0;
    if (!os::write_at(handle_, buffer_.get(), count, position_ - count)) {
        failed_ = true;
        return false;
    }
    return true;
}

bool OutputFile::write(const void* data, std::size_t size) {
    if (failed_ || !is_open()) {
        failed_ = true;
        return false;
    }
    if (size > buffer_capacity - buffered_ && !flush_buffer()) {
        return false;
    }
    if (size >= buffer_capacity) {
        if (!os::write_at(handle_, static_cast<const unsigned char*>(data), size, position_)) {
            failed_ = true;
            return false;
        }
    } else {
        std::memcpy(buffer_.get() + buffered_, data, size);
        buffered_ += size;
    }
    position_ += size;
    return true;
}

bool OutputFile::seek(uint64_t offset) {
    if (failed_ || !is_open() || !flush_buffer()) {
        failed_ = true;
        return false;
    }
    position_ = offset;
    return true;
}

uint64_t OutputFile::position() const {
    return position_;
}

bool OutputFile::flush_and_sync() {
    if (failed_ || !is_open() || !flush_buffer() || !os::sync_file(handle_)) {
        failed_ = true;
        return false;
    }
    return true;
}

CommitResult OutputFile::commit(bool replace) {
    if (failed_ || !is_open() || !flush_buffer()) {
        failed_ = true;
        return CommitResult::failed;
    }
    const bool closed = os::close_file(handle_);
    handle_ = os::no_file;
    if (!closed) {
        failed_ = true;
        return CommitResult::failed;
    }
    const CommitResult result = os::move_file(temp_path_, final_path_, replace);
    if (result == CommitResult::done) {
        committed_ = true;
    } else {
        failed_ = true;
    }
    return result;
}

void OutputFile::discard() {
    if (is_open()) {
        os::close_file(handle_);
        handle_ = os::no_file;
    }
    if (!committed_ && !temp_path_.empty()) {
        os::remove_file(temp_path_);
    }
    final_path_.clear();
    temp_path_.clear();
    position_ = 0;
    buffered_ = 0;
    committed_ = false;
    failed_ = false;
}

}  // namespace qv::platform
