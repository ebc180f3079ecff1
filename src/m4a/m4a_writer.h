#pragma once
// Writes one ALAC stream into an M4A file: ftyp and the mdat header at
// open, each packet appended as it arrives, moov with the sample tables and
// metadata at finalize. The file is built under a temporary name and only
// takes the output name once finalize has succeeded.
//
// Media data whose box size fits 32 bits keeps the mdat header written at
// open. For more, finalize shortens ftyp to its major and one compatible
// brand so that the 8 bytes freed and the 8-byte header become one 16-byte
// header with a 64-bit size: the media data stays where it was written, at
// offset 36, and its offset goes into co64.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "alac/alac_packet.h"
#include "input/audio_format.h"
#include "m4a/moov_builder.h"
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
    // Patch the mdat header at finalize, in its 32-bit or its 64-bit form.
    bool write_compact_mdat_size();
    bool write_large_mdat_header();

    friend struct M4aWriterTestAccess;  // lets tests set the payload count and the limits

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
    std::vector<FrameRun> frame_runs;
    // The largest payload whose mdat size, 8-byte header included, fits in
    // 32 bits.
    uint64_t largest_compact_payload = 0xFFFFFFFFu - 8;
    // The moov box has a 32-bit size and lists 4 bytes per packet; this many
    // packets (about 2.9 years at 44.1 kHz) leave room for the rest, cover
    // included.
    uint64_t max_packets = 1000000000;
    bool overwrite = false;
    bool stream_failed = false;
    bool finalized = false;
};

}  // namespace qv
