// Stand-in reader until FLAC input lands.
#include "input/flac_reader.h"

namespace qv {

bool read_flac_input(const FlacLibrary*, const std::filesystem::path&, AudioFormat&, PcmConsumer,
                     void*, std::string& error) {
    error = "FLAC input support is unavailable. Place libFLAC.dll beside ro-zoza.exe to enable FLAC decoding.";
    return false;
}

}  // namespace qv
