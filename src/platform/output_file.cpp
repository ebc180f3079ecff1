#include "platform/output_file.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/output_file_system.h"

namespace qv::platform {
namespace {

constexpr std::size_t buffer_capacity = 256 * 1024;
constexpr int name_attempts = 1000;
// The longest name one folder entry may have: 255 bytes on POSIX file
// systems, 255 UTF-16 units on Windows; a path's native string counts in
// those units on each.
constexpr std::size_t max_name_length = 255;
// The longest tail a temporary name adds: ".", "." before the process id
// (up to 10 digits), "-", the counter (up to 10 digits) and ".tmp".
constexpr std::size_t max_suffix_length = 1 + 1 + 10 + 1 + 10 + 4;

using NativeString = std::filesystem::path::string_type;

NativeString native_text(const std::string& ascii) {
    return NativeString(ascii.begin(), ascii.end());
}

// The part of a temporary name that ties it to its output: the final name
// itself, or, when that would make the temporary name too long for the
// folder, a hash of it (FNV-1a, 64 bits, over the native units).
NativeString temporary_stem(const std::filesystem::path& final_path) {
    const NativeString name = final_path.filename().native();
    if (name.size() + max_suffix_length <= max_name_length) {
        return name;
    }
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const auto unit : name) {
        hash = (hash ^ static_cast<uint64_t>(unit)) * 0x100000001b3ull;
    }
    char text[24];
    std::snprintf(text, sizeof text, "rz-%016llx", static_cast<unsigned long long>(hash));
    return native_text(text);
}

// ".<name>.<pid>-<counter>.tmp" beside the final name: hidden, tied to this
// process, and never the name of a finished output.
std::filesystem::path temporary_name(const std::filesystem::path& final_path, unsigned counter) {
    char tail[max_suffix_length + 1];
    std::snprintf(tail, sizeof tail, ".%lu-%u.tmp", os::process_id(), counter);
    NativeString name(1, '.');
    name += temporary_stem(final_path);
    name += native_text(tail);
    return final_path.parent_path() / name;
}

// The process id in a temporary name of `stem`, if `entry` is one.
bool temporary_owner(const NativeString& entry, const NativeString& stem, unsigned long& pid) {
    NativeString prefix(1, '.');
    prefix += stem;
    prefix += '.';
    const NativeString suffix = native_text(".tmp");
    if (entry.size() <= prefix.size() + suffix.size() ||
        entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    // What lies between: "<pid>-<counter>", digits only.
    const NativeString middle =
        entry.substr(prefix.size(), entry.size() - prefix.size() - suffix.size());
    const std::size_t dash = middle.find(static_cast<NativeString::value_type>('-'));
    if (dash == 0 || dash == NativeString::npos || dash + 1 == middle.size() || dash > 10) {
        return false;
    }
    unsigned long value = 0;
    for (std::size_t i = 0; i < middle.size(); ++i) {
        const auto unit = middle[i];
        if (i == dash) {
            continue;
        }
        if (unit < '0' || unit > '9') {
            return false;
        }
        if (i < dash) {
            value = value * 10 + static_cast<unsigned long>(unit - '0');
        }
    }
    pid = value;
    return true;
}

// Removes the temporary files of this output left by conversions whose
// process no longer runs (killed outright, or the machine went down). A
// file of a process that still runs may be another conversion's work in
// progress and stays.
void remove_stale_temporaries(const std::filesystem::path& final_path) {
    const std::filesystem::path folder =
        final_path.parent_path().empty() ? std::filesystem::path(".") : final_path.parent_path();
    const NativeString stem = temporary_stem(final_path);
    const unsigned long own_pid = os::process_id();
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        unsigned long pid = 0;
        if (temporary_owner(entries->path().filename().native(), stem, pid) && pid != own_pid &&
            !os::process_running(pid)) {
            os::remove_file(entries->path());
        }
    }
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::create(const std::filesystem::path& final_path) {
    discard();
    // A final name the folder cannot hold would fail only at the rename,
    // after the whole input was encoded.
    if (final_path.filename().native().size() > max_name_length) {
        failed_ = true;
        return false;
    }
    remove_stale_temporaries(final_path);
    // Conversions on several threads share the counter.
    static std::atomic<unsigned> counter{0};
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

bool OutputFile::is_open() const { return handle_ != os::no_file; }

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

uint64_t OutputFile::position() const { return position_; }

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
