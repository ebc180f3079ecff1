// Stand-in loader until FLAC input lands: the library is never available.
#include "input/flac_library.h"

namespace qv {

std::unique_ptr<FlacLibrary> load_flac_library() {
    auto library = std::make_unique<FlacLibrary>();
    library->reason = "libFLAC.dll not available";
    return library;
}

bool flac_library_available(const FlacLibrary* library) {
    return library != nullptr && library->available;
}

void unload_flac_library(std::unique_ptr<FlacLibrary>& library) { library.reset(); }

}  // namespace qv
