// The cover file is held whole in memory until the movie box is written.
#include "app/artwork_file.h"

#include "app/extension.h"
#include "platform/input_file.h"

namespace qv {

bool load_artwork(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                  uint32_t& type_code, std::string& error) {
    const std::string extension = lowercase_extension(path);
    if (extension == ".jpg" || extension == ".jpeg") {
        type_code = artwork_type_jpeg;
    } else if (extension == ".png") {
        type_code = artwork_type_png;
    } else {
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
    bytes = std::move(content);
    return true;
}

}  // namespace qv
