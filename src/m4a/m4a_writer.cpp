#include "m4a/m4a_writer.h"

#include <cstddef>
#include <span>
#include <utility>

#include "m4a/box_builder.h"
#include "m4a/moov_builder.h"

namespace qv {
namespace {

constexpr const char* major_brand = "M4A ";
constexpr const char* compatible_brands[] = {"M4A ", "mp42", "isom"};
// The one compatible brand of the shortened ftyp in front of a 64-bit mdat:
// any reader of the base format knows it, and the major brand already names
// the M4A flavour.
constexpr const char* base_format_brand = "isom";
constexpr std::size_t compact_mdat_header_size = 8;
constexpr std::size_t large_mdat_header_size = 16;

Bytes build_ftyp(std::span<const char* const> compatible) {
    Bytes payload;
    put_fourcc(payload, major_brand);
    put_u32_be(payload, 0);  // minor version
    for (const char* brand : compatible) {
        put_fourcc(payload, brand);
    }
    return make_box("ftyp", payload);
}

}  // namespace

M4aWriter::~M4aWriter() { close(); }

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
    frame_runs.clear();
    stream_failed = false;
    finalized = false;
}

void M4aWriter::set_artwork(std::vector<uint8_t> bytes, uint32_t type_code) {
    artwork = std::move(bytes);
    artwork_type = type_code;
}

void M4aWriter::set_tags(const TagSet& tag_set) { tags = tag_set; }

bool M4aWriter::open(bool replace_existing, std::string& error) {
    overwrite = replace_existing;
    if (!file.create(output_path)) {
        stream_failed = true;
        error = "could not create M4A output";
        return false;
    }
    stream_failed = false;

    const Bytes ftyp = build_ftyp(compatible_brands);
    Bytes mdat_header;
    put_u32_be(mdat_header, 0);  // size, patched by finalize
    put_fourcc(mdat_header, "mdat");

    bool ok = file.write(ftyp.data(), ftyp.size());
    mdat_offset = file.position();
    ok = ok && file.write(mdat_header.data(), mdat_header.size());
    chunk_offset = mdat_offset + compact_mdat_header_size;
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
    if (packet_sizes.size() >= max_packets) {
        error = "too many ALAC packets for one M4A file";
        return false;
    }
    if (!file.write(packet.data, packet.byte_count)) {
        stream_failed = true;
        error = "failed while writing M4A media data";
        return false;
    }
    packet_sizes.push_back(packet.byte_count);
    add_packet_frames(frame_runs, packet.frame_count);
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
    const bool large = payload_bytes > largest_compact_payload;
    bool ok = large ? write_large_mdat_header() : write_compact_mdat_size();
    ok = ok && file.seek(end_position);
    if (ok) {
        const Bytes moov = build_moov(format, packet_sizes, frame_runs, chunk_offset,
                                      large ? ChunkOffsetBox::co64 : ChunkOffsetBox::stco, cookie,
                                      tags, artwork, artwork_type);
        ok = file.write(moov.data(), moov.size()) && file.flush_and_sync();
    }
    if (!ok) {
        stream_failed = true;
        error = "failed while finalizing M4A metadata";
        return false;
    }

    switch (file.commit(overwrite)) {
        case platform::CommitResult::done: finalized = true; return true;
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

bool M4aWriter::write_compact_mdat_size() {
    Bytes size_field;
    put_u32_be(size_field, static_cast<uint32_t>(compact_mdat_header_size + payload_bytes));
    return file.seek(mdat_offset) && file.write(size_field.data(), size_field.size());
}

bool M4aWriter::write_large_mdat_header() {
    Bytes head = build_ftyp(std::span(&base_format_brand, 1));
    append_bytes(head, make_large_box_header("mdat", large_mdat_header_size + payload_bytes));
    // The ftyp written at open had two more brands: the new header ends just
    // where the media data begins.
    return head.size() == chunk_offset && file.seek(0) && file.write(head.data(), head.size());
}

void M4aWriter::close() {
    file.discard();
    artwork = std::vector<uint8_t>();
    packet_sizes = std::vector<uint32_t>();
    frame_runs = std::vector<FrameRun>();
}

}  // namespace qv
