// The cover file is held whole in memory until the movie box is written.
#include "app/artwork_file.h"

#include <algorithm>
#include <array>

#include "app/extension.h"
#include "platform/input_file.h"

namespace qv {
namespace {

constexpr std::array<uint8_t, 3> jpeg_signature{0xFF, 0xD8, 0xFF};
constexpr std::array<uint8_t, 8> png_signature{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

template <std::size_t N>
bool starts_with(std::span<const uint8_t> bytes, const std::array<uint8_t, N>& signature) {
    return bytes.size() >= N && std::equal(signature.begin(), signature.end(), bytes.begin());
}

}  // namespace

uint32_t artwork_type_of(std::span<const uint8_t> bytes) {
    if (starts_with(bytes, jpeg_signature)) {
        return artwork_type_jpeg;
    }
    if (starts_with(bytes, png_signature)) {
        return artwork_type_png;
    }
    return 0;
}

bool load_artwork(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                  uint32_t& type_code, std::string& error) {
    const std::string extension = lowercase_extension(path);
    if (extension != ".jpg" && extension != ".jpeg" && extension != ".png") {
        error = "artwork must be JPEG or PNG";
        return false;
    }

    platform::InputFile file;
    if (!file.open(path)) {
        error = "could not open artwork file";
        return false;
    }
    // A regular file's size is known before reading; a pipe is read to its
    // end, but never more than one byte past the limit.
    const uint64_t expected = file.is_regular() ? file.regular_size() : artwork_size_limit + 1;
    if (file.is_regular() && (expected == 0 || expected > artwork_size_limit)) {
        error = "artwork file is empty or too large";
        return false;
    }
    std::vector<uint8_t> content(static_cast<size_t>(expected));
    size_t filled = 0;
    while (filled < content.size()) {
        size_t count = 0;
        if (!file.read(content.data() + filled, content.size() - filled, count)) {
            error = "failed reading artwork file";
            return false;
        }
        if (count == 0) {
            break;
        }
        filled += count;
    }
    if (file.is_regular() && filled != content.size()) {
        error = "failed reading artwork file";
        return false;
    }
    if (filled == 0 || filled > artwork_size_limit) {
        error = "artwork file is empty or too large";
        return false;
    }
    content.resize(filled);
    // The name only admits the file; the bytes say what it holds, so that a
    // PNG named .jpg is labelled a PNG and other images are refused.
    type_code = artwork_type_of(content);
    if (type_code == 0) {
        error = "artwork must be JPEG or PNG";
        return false;
    }
    bytes = std::move(content);
    return true;
}

}  // namespace qv
