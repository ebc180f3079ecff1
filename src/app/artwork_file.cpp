// The cover file is held whole in memory until the movie box is written.
#include "app/artwork_file.h"

#include <fstream>

#include "app/extension.h"

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

    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        error = "could not open artwork file";
        return false;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    file.seekg(0, std::ios::beg);
    if (end <= 0 || static_cast<uint64_t>(end) > artwork_size_limit) {
        error = "artwork file is empty or too large";
        return false;
    }
    std::vector<uint8_t> content(static_cast<size_t>(end));
    file.read(reinterpret_cast<char*>(content.data()), static_cast<std::streamsize>(content.size()));
    if (!file || file.gcount() != static_cast<std::streamsize>(content.size())) {
        error = "failed reading artwork file";
        return false;
    }
    bytes = std::move(content);
    return true;
}

}  // namespace qv
