#pragma once
// Reading the cover image named on the command line.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv {

inline constexpr uint32_t artwork_type_jpeg = 13;
inline constexpr uint32_t artwork_type_png = 14;
inline constexpr uint64_t artwork_size_limit = 64ull * 1024 * 1024;

// Takes the type from the name (.jpg/.jpeg or .png, any letter case; the
// content is not examined) and reads the whole file, 1 byte to 64 MiB.
bool load_artwork(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                  uint32_t& type_code, std::string& error);

}  // namespace qv
