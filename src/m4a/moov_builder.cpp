#include "m4a/moov_builder.h"

#include <cstddef>
#include <initializer_list>

#include "m4a/metadata.h"

namespace qv {
namespace {

void put_zeros(Bytes& out, std::size_t count) { out.insert(out.end(), count, 0); }

void put_unity_matrix(Bytes& out) {
    const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    for (uint32_t value : matrix) {
        put_u32_be(out, value);
    }
}

Bytes concat(std::initializer_list<std::span<const uint8_t>> parts) {
    Bytes out;
    for (auto part : parts) {
        append_bytes(out, part);
    }
    return out;
}

// Movie, track and media headers keep their times and duration in 32 bits
// (version 0) unless the duration needs more; version 1 widens all three to
// 64 bits.
uint8_t header_version(uint64_t duration) { return duration > 0xFFFFFFFFu ? 1 : 0; }

void put_header_field(Bytes& out, uint8_t version, uint64_t value) {
    if (version == 1) {
        put_u64_be(out, value);
    } else {
        put_u32_be(out, static_cast<uint32_t>(value));
    }
}

Bytes build_mvhd(uint64_t duration) {
    const uint8_t version = header_version(duration);
    Bytes p;
    put_header_field(p, version, 0);  // creation time
    put_header_field(p, version, 0);  // modification time
    put_u32_be(p, 1000);
    put_header_field(p, version, duration);
    put_u32_be(p, 0x10000);  // rate 1.0
    put_u16_be(p, 0x0100);   // volume 1.0
    put_zeros(p, 2 + 8);
    put_unity_matrix(p);
    put_zeros(p, 6 * 4);
    put_u32_be(p, 2);  // next track ID
    return make_full_box("mvhd", 0, p, version);
}

Bytes build_tkhd(uint64_t duration) {
    const uint8_t version = header_version(duration);
    Bytes p;
    put_header_field(p, version, 0);  // creation time
    put_header_field(p, version, 0);  // modification time
    put_u32_be(p, 1);                 // track ID
    put_u32_be(p, 0);
    put_header_field(p, version, duration);
    put_zeros(p, 8);
    put_u16_be(p, 0);  // layer
    put_u16_be(p, 0);  // alternate group
    put_u16_be(p, 0x0100);
    put_u16_be(p, 0);
    put_unity_matrix(p);
    put_u32_be(p, 0);  // width
    put_u32_be(p, 0);  // height
    constexpr uint32_t enabled_in_movie_in_preview = 7;
    return make_full_box("tkhd", enabled_in_movie_in_preview, p, version);
}

Bytes build_mdhd(uint32_t rate, uint64_t media_duration) {
    const uint8_t version = header_version(media_duration);
    Bytes p;
    put_header_field(p, version, 0);  // creation time
    put_header_field(p, version, 0);  // modification time
    put_u32_be(p, rate);
    put_header_field(p, version, media_duration);
    put_u16_be(p, 0x55C4);  // "und", three 5-bit letters
    put_u16_be(p, 0);
    return make_full_box("mdhd", 0, p, version);
}

Bytes build_sound_hdlr() {
    Bytes p;
    put_u32_be(p, 0);
    put_fourcc(p, "soun");
    put_zeros(p, 12);
    static const char name[] = "SoundHandler";
    append_bytes(p, {reinterpret_cast<const uint8_t*>(name), sizeof name});  // with its zero
    return make_full_box("hdlr", 0, p);
}

Bytes build_dinf() {
    Bytes dref;
    put_u32_be(dref, 1);
    constexpr uint32_t media_in_this_file = 1;
    append_bytes(dref, make_full_box("url ", media_in_this_file, {}));
    return make_box("dinf", make_full_box("dref", 0, dref));
}

// 16.16 fixed point; rates above 0xFFFF are halved until they fit, the true
// rate being carried by the mdhd timescale and the cookie.
uint32_t sample_entry_rate(uint32_t rate) {
    while (rate > 0xFFFF) {
        rate >>= 1;
    }
    return rate << 16;
}

Bytes build_stsd(const AudioFormat& format, std::span<const uint8_t> cookie) {
    Bytes entry;
    put_zeros(entry, 6);
    put_u16_be(entry, 1);  // data reference index
    put_zeros(entry, 8);   // version, revision, vendor
    put_u16_be(entry, static_cast<uint16_t>(format.channels));
    put_u16_be(entry, static_cast<uint16_t>(format.bits_per_sample));
    put_u16_be(entry, 0);  // compression ID
    put_u16_be(entry, 0);  // packet size
    put_u32_be(entry, sample_entry_rate(format.sample_rate));
    append_bytes(entry, make_full_box("alac", 0, cookie));

    Bytes p;
    put_u32_be(p, 1);
    append_bytes(p, make_box("alac", entry));
    return make_full_box("stsd", 0, p);
}

Bytes build_stts(const std::vector<FrameRun>& runs) {
    Bytes p;
    put_u32_be(p, static_cast<uint32_t>(runs.size()));
    for (const FrameRun& run : runs) {
        put_u32_be(p, run.count);
        put_u32_be(p, run.frames);  // the sample delta
    }
    return make_full_box("stts", 0, p);
}

// All packets form one chunk.
Bytes build_stsc(uint32_t packet_count) {
    Bytes p;
    if (packet_count == 0) {
        put_u32_be(p, 0);
    } else {
        put_u32_be(p, 1);
        put_u32_be(p, 1);  // first chunk
        put_u32_be(p, packet_count);
        put_u32_be(p, 1);  // sample description index
    }
    return make_full_box("stsc", 0, p);
}

Bytes build_stsz(const std::vector<uint32_t>& packet_sizes) {
    Bytes p;
    p.reserve(8 + packet_sizes.size() * 4);
    put_u32_be(p, 0);  // sizes vary
    put_u32_be(p, static_cast<uint32_t>(packet_sizes.size()));
    for (uint32_t size : packet_sizes) {
        put_u32_be(p, size);
    }
    return make_full_box("stsz", 0, p);
}

Bytes build_chunk_offsets(uint32_t packet_count, uint64_t chunk_offset, ChunkOffsetBox box) {
    Bytes p;
    if (packet_count == 0) {
        put_u32_be(p, 0);
    } else {
        put_u32_be(p, 1);
        if (box == ChunkOffsetBox::co64) {
            put_u64_be(p, chunk_offset);
        } else {
            put_u32_be(p, static_cast<uint32_t>(chunk_offset));
        }
    }
    return make_full_box(box == ChunkOffsetBox::co64 ? "co64" : "stco", 0, p);
}

}  // namespace

void add_packet_frames(std::vector<FrameRun>& runs, uint32_t frames) {
    if (runs.empty() || runs.back().frames != frames) {
        runs.push_back({1, frames});
    } else {
        ++runs.back().count;
    }
}

uint64_t duration_ms(uint64_t frames, uint32_t rate) {
    if (rate == 0) {
        return 0;
    }
    // Under half a millisecond the duration stays 0: a reader that finds a
    // track far shorter than its movie takes it for a still image and skips it.
    if (frames < rate && frames * 2000 < rate) {
        return 0;
    }
    // Rounded up: a player that stops at the movie's duration must not cut
    // the last fraction of a millisecond. Whole seconds and the remainder
    // apart, so that frames * 1000 cannot overflow.
    return frames / rate * 1000 + ((frames % rate) * 1000 + rate - 1) / rate;
}

Bytes build_moov(const AudioFormat& format, const std::vector<uint32_t>& packet_sizes,
                 const std::vector<FrameRun>& frame_runs, uint64_t chunk_offset,
                 ChunkOffsetBox offset_box, std::span<const uint8_t> cookie, const TagSet& tags,
                 std::span<const uint8_t> artwork, uint32_t artwork_type) {
    uint64_t total_frames = 0;
    for (const FrameRun& run : frame_runs) {
        total_frames += uint64_t{run.count} * run.frames;
    }
    const uint64_t duration = duration_ms(total_frames, format.sample_rate);
    const auto packet_count = static_cast<uint32_t>(packet_sizes.size());

    const Bytes stbl =
        make_box("stbl", concat({build_stsd(format, cookie), build_stts(frame_runs),
                                 build_stsc(packet_count), build_stsz(packet_sizes),
                                 build_chunk_offsets(packet_count, chunk_offset, offset_box)}));
    const Bytes smhd = make_full_box("smhd", 0, Bytes(4, 0));  // balance, reserved
    const Bytes minf = make_box("minf", concat({smhd, build_dinf(), stbl}));
    const Bytes mdia = make_box(
        "mdia", concat({build_mdhd(format.sample_rate, total_frames), build_sound_hdlr(), minf}));
    const Bytes trak = make_box("trak", concat({build_tkhd(duration), mdia}));

    Bytes body = concat({build_mvhd(duration), trak});
    {
        const Bytes udta = build_udta(tags, artwork, artwork_type);
        append_bytes(body, udta);
    }
    return make_box("moov", body);
}

}  // namespace qv
