#pragma once
// Writes one ALAC stream into an M4A file: ftyp and the mdat header at
// open, each packet appended as it arrives, moov with the sample tables and
// metadata at finalize. The file is built under a temporary name and only
// takes the output name once finalize has succeeded.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "alac/alac_packet.h"
#include "input/audio_format.h"
#include "m4a/tag_set.h"
#include "platform/output_file.h"

namespace qv {

class M4aWriter {
public:
    ~M4aWriter();

    void reset(const std::filesystem::path& output_path, const AudioFormat& format,
               const TagSet& tags);
    void set_artwork(std::vector<uint8_t> bytes, uint32_t type_code);
    // Replaces the tags given at reset; they are written only by finalize,
    // so tags that turn up after the audio still reach the file.
    void set_tags(const TagSet& tag_set);
    // `overwrite` decides whether the final rename may replace an existing file.
    bool open(bool overwrite, std::string& error);
    bool append_packet(const AlacPacket& packet, std::string& error);
    bool finalize(const std::vector<uint8_t>& cookie, std::string& error);
    // Closes without finalizing; an unfinished temporary file is removed.
    void close();

private:
    friend struct M4aWriterTestAccess;  // lets tests set the payload count

    std::filesystem::path output_path;
    platform::OutputFile file;
    AudioFormat format{};
    TagSet tags;
    std::vector<uint8_t> artwork;
    uint32_t artwork_type = 0;
    uint64_t mdat_offset = 0;
    uint64_t chunk_offset = 0;
    uint64_t payload_bytes = 0;
    std::vector<uint32_t> packet_sizes;
    std::vector<uint32_t> packet_frames;
    bool overwrite = false;
    bool stream_failed = false;
    bool finalized = false;
};

}  // namespace qv
