#pragma once
// The system calls behind OutputFile, one implementation per platform
// (posix/, win32/); the buffering and naming above them are shared.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "platform/output_file.h"

namespace qv::platform::os {

inline constexpr intptr_t no_file = -1;

// Creates `path` for writing only if no such name exists. Returns no_file on
// failure, with `name_taken` telling an existing name from other errors.
intptr_t create_new_file(const std::filesystem::path& path, bool& name_taken);
// Writes all `size` bytes at `offset` (retrying partial writes).
bool write_at(intptr_t file, const unsigned char* data, std::size_t size, uint64_t offset);
bool sync_file(intptr_t file);
bool close_file(intptr_t file);
// Renames a closed file; without `replace` an existing `to` is never
// replaced. A done move is made durable as far as the system allows.
CommitResult move_file(const std::filesystem::path& from, const std::filesystem::path& to,
                       bool replace);
void remove_file(const std::filesystem::path& path);
unsigned long process_id();
// False only when the system says no process with this id runs; any doubt
// (no right to ask, say) counts as running.
bool process_running(unsigned long pid);

}  // namespace qv::platform::os
