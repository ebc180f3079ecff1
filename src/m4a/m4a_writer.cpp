#include "m4a/m4a_writer.h"

#include <utility>

#include "m4a/box_builder.h"
#include "m4a/moov_builder.h"

namespace qv {

M4aWriter::~M4aWriter() {
    close();
}

void M4aWriter::reset(const std::filesystem::path& path, const AudioFormat& audio_format,
                      const TagSet& tag_set) {
    close();
    output_path = path;
    format = audio_format;
    tags = tag_set;
    artwork.clear();
    artwork_type = 0;
    mdat_offset = 0;
    chunk_offset = 0;
    payload_bytes = 0;
    packet_sizes.clear();
    packet_frames.clear();
    stream_failed = false;
    finalized = false;
}

void M4aWriter::set_artwork(std::vector<uint8_t> bytes, uint32_t type_code) {
    artwork = std::move(bytes);
    artwork_type = type_code;
}

void M4aWriter::set_tags(const TagSet& tag_set) {
    tags = tag_set;
}

bool M4aWriter::open(bool replace_existing, std::string& error) {
    overwrite = replace_existing;
    if (!file.create(output_path)) {
        stream_failed = true;
        error = "could not create M4A output";
        return false;
    }
    stream_failed = false;

    Bytes ftyp_payload;
    put_fourcc(ftyp_payload, "M4A ");
    put_u32_be(ftyp_payload, 0);  // minor version
    put_fourcc(ftyp_payload, "M4A ");
    put_fourcc(ftyp_payload, "mp42");
    put_fourcc(ftyp_payload, "isom");
    const Bytes ftyp = make_box("ftyp", ftyp_payload);

    Bytes mdat_header;
    put_u32_be(mdat_header, 0);  // size, patched by finalize
    put_fourcc(mdat_header, "mdat");

    bool ok = file.write(ftyp.data(), ftyp.size());
    mdat_offset = file.position();
    ok = ok && file.write(mdat_header.data(), mdat_header.size());
    chunk_offset = mdat_offset + 8;
    if (!ok) {
        // The caller reports its own generic failure.
        stream_failed = true;
        return false;
    }
    return true;
}

bool M4aWriter::append_packet(const AlacPacket& packet, std::string& error) {
    if (stream_failed || finalized || packet.data == nullptr || packet.byte_count == 0 ||
        packet.frame_count == 0) {
        error = "invalid ALAC packet for M4A output";
        return false;
    }
    if (!file.write(packet.data, packet.byte_count)) {
        stream_failed = true;
        error = "failed while writing M4A media data";
        return false;
    }
    packet_sizes.push_back(packet.byte_count);
    packet_frames.push_back(packet.frame_count);
    payload_bytes += packet.byte_count;
    return true;
}

bool M4aWriter::finalize(const std::vector<uint8_t>& cookie, std::string& error) {
    if (finalized) {
        return true;
    }
    if (stream_failed) {
        error = "M4A output is not open";
        return false;
    }
    if (cookie.size() < 24) {
        error = "ALAC magic cookie is invalid";
        return false;
    }
    const uint64_t end_position = file.position();
    const uint64_t mdat_size = payload_bytes + 8;
    if (mdat_size > 0xFFFFFFFFu) {
        error = "M4A media payload exceeds the current 32-bit mdat limit";
        return false;
    }

    Bytes size_field;
    put_u32_be(size_field, static_cast<uint32_t>(mdat_size));
    bool ok = file.seek(mdat_offset) && file.write(size_field.data(), size_field.size()) &&
              file.seek(end_position);
    if (ok) {
        const Bytes moov = build_moov(format, packet_sizes, packet_frames, chunk_offset, cookie,
                                      tags, artwork, artwork_type);
        ok = file.write(moov.data(), moov.size()) && file.flush_and_sync();
    }
    if (!ok) {
        stream_failed = true;
        error = "failed while finalizing M4A metadata";
        return false;
    }

    switch (file.commit(overwrite)) {
    case platform::CommitResult::done:
        finalized = true;
        return true;
    case platform::CommitResult::exists:
        error = "output file already exists (use --overwrite)";
        break;
    case platform::CommitResult::failed:
        error = "could not move the finished M4A output into place";
        break;
    }
    stream_failed = true;
    file.discard();
    return false;
}

void M4aWriter::close() {
    file.discard();
    artwork = std::vector<uint8_t>();
    packet_sizes = std::vector<uint32_t>();
    packet_frames = std::vector<uint32_t>();
}

}  // namespace qv
