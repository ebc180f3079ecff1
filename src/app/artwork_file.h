#pragma once
// Reading the cover image named on the command line.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace qv {

inline constexpr uint32_t artwork_type_jpeg = 13;
inline constexpr uint32_t artwork_type_png = 14;
inline constexpr uint64_t artwork_size_limit = 64ull * 1024 * 1024;

// The cover type code of an image by its first bytes: JPEG (FF D8 FF) or
// PNG (the eight-byte PNG signature); 0 for anything else.
uint32_t artwork_type_of(std::span<const uint8_t> bytes);

// Admits the file by its name (.jpg/.jpeg or .png, any letter case), reads
// the whole file, 1 byte to 64 MiB, and takes the type from its content.
bool load_artwork(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                  uint32_t& type_code, std::string& error);

}  // namespace qv
