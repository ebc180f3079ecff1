#include "m4a/moov_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "box_walker.h"
#include "m4a/metadata.h"

namespace qv {
namespace {

using test::Box;
using test::box_at;
using test::u16_at;
using test::u32_at;
using test::u64_at;

constexpr const char* stbl = "moov/trak/mdia/minf/stbl/";

Bytes cookie_of(std::size_t size) {
    Bytes cookie(size);
    for (std::size_t i = 0; i < size; ++i) cookie[i] = static_cast<uint8_t>(0xC0 + i);
    return cookie;
}

TagSet no_tags() {
    TagSet tags;
    tags.encoder.clear();
    return tags;
}

AudioFormat format_of(uint32_t rate, uint32_t bits, uint32_t channels) {
    AudioFormat format;
    format.sample_rate = rate;
    format.bits_per_sample = bits;
    format.channels = channels;
    return format;
}

std::vector<FrameRun> runs_of(const std::vector<uint32_t>& frames) {
    std::vector<FrameRun> runs;
    for (uint32_t f : frames) add_packet_frames(runs, f);
    return runs;
}

Bytes moov_for(const AudioFormat& format, const std::vector<uint32_t>& sizes,
               const std::vector<uint32_t>& frames, const Bytes& cookie,
               const TagSet& tags = no_tags()) {
    return build_moov(format, sizes, runs_of(frames), 36, ChunkOffsetBox::stco, cookie, tags, {},
                      0);
}

// Entry count then the u32 fields that follow, of a full box.
std::vector<uint32_t> table_of(const Bytes& d, const std::string& path) {
    const Box b = box_at(d, path);
    std::vector<uint32_t> values;
    for (std::size_t at = b.offset + 12; at < b.offset + b.size; at += 4)
        values.push_back(u32_at(d, at));
    return values;
}

// A player that stops at the movie's duration must reach the last sample,
// so any fraction of a millisecond counts as a whole one.
TEST(MoovBuilder, DurationRoundsUpToWholeMilliseconds) {
    EXPECT_EQ(duration_ms(4096, 44100), 93u);
    EXPECT_EQ(duration_ms(10 * 4096 + 100, 44100), 932u);  // 931.07 ms
    EXPECT_EQ(duration_ms(44100, 44100), 1000u);           // exact: no extra millisecond
    EXPECT_EQ(duration_ms(44101, 44100), 1001u);
    EXPECT_EQ(duration_ms(1, 2000), 1u);
    EXPECT_EQ(duration_ms(48, 48000), 1u);
    EXPECT_EQ(duration_ms(49, 48000), 2u);
    // Below half a millisecond the duration stays 0, as a track far shorter
    // than its movie is skipped by some readers.
    EXPECT_EQ(duration_ms(1, 44100), 0u);
    EXPECT_EQ(duration_ms(22, 44100), 0u);
    EXPECT_EQ(duration_ms(23, 44100), 1u);
    EXPECT_EQ(duration_ms(24, 48000), 1u);
    EXPECT_EQ(duration_ms(1, 2001), 0u);
    EXPECT_EQ(duration_ms(0, 44100), 0u);
    EXPECT_EQ(duration_ms(123456, 0), 0u);
}

TEST(MoovBuilder, DurationNeverSaturates) {
    EXPECT_EQ(duration_ms(0xFFFFFFFFull, 1000), 0xFFFFFFFFu);
    EXPECT_EQ(duration_ms(0x100000000ull, 1000), 0x100000000ull);
    EXPECT_EQ(duration_ms(0xFFFFFFFFull, 500), 8589934590ull);
    // frames * 1000 alone would overflow 64 bits here; a third of a
    // millisecond left over rounds up.
    EXPECT_EQ(duration_ms(1ull << 60, 48000), 24019198012642646ull);
    EXPECT_EQ(duration_ms((1ull << 60) - 16, 48000), 24019198012642645ull);  // exact
}

TEST(MoovBuilder, TablesAndDurationsForAShortLastPacket) {
    std::vector<uint32_t> sizes, frames;
    for (uint32_t i = 0; i < 10; ++i) {
        sizes.push_back(3000 + i);
        frames.push_back(4096);
    }
    sizes.push_back(77);
    frames.push_back(100);
    const Bytes moov = moov_for(format_of(44100, 16, 2), sizes, frames, cookie_of(24));

    EXPECT_EQ(test::types_of(test::children(moov, 0, moov.size())), "moov");
    EXPECT_EQ(test::types_of(test::children_of(moov, box_at(moov, "moov"), "")), "mvhd trak");
    EXPECT_EQ(table_of(moov, std::string(stbl) + "stts"),
              (std::vector<uint32_t>{2, 10, 4096, 1, 100}));
    EXPECT_EQ(table_of(moov, std::string(stbl) + "stsc"), (std::vector<uint32_t>{1, 1, 11, 1}));
    std::vector<uint32_t> stsz{0, 11};
    stsz.insert(stsz.end(), sizes.begin(), sizes.end());
    EXPECT_EQ(table_of(moov, std::string(stbl) + "stsz"), stsz);
    EXPECT_EQ(table_of(moov, std::string(stbl) + "stco"), (std::vector<uint32_t>{1, 36}));

    const Box mdhd = box_at(moov, "moov/trak/mdia/mdhd");
    EXPECT_EQ(u32_at(moov, mdhd.offset + 20), 44100u);
    EXPECT_EQ(u32_at(moov, mdhd.offset + 24), 41060u);
    EXPECT_EQ(u32_at(moov, box_at(moov, "moov/mvhd").offset + 24), 932u);
    EXPECT_EQ(u32_at(moov, box_at(moov, "moov/trak/tkhd").offset + 28), 932u);
}

TEST(MoovBuilder, RunsMergeOnlyNeighbours) {
    const Bytes moov = moov_for(format_of(48000, 16, 2), {1, 1, 1, 1, 1},
                                {4096, 4096, 10, 4096, 4096}, cookie_of(24));
    EXPECT_EQ(table_of(moov, std::string(stbl) + "stts"),
              (std::vector<uint32_t>{3, 2, 4096, 1, 10, 2, 4096}));
    const Bytes full = moov_for(format_of(48000, 16, 2), {1, 1}, {4096, 4096}, cookie_of(24));
    EXPECT_EQ(table_of(full, std::string(stbl) + "stts"), (std::vector<uint32_t>{1, 2, 4096}));
}

// Version 1 of a header box: the version byte, 64-bit times (zero) and
// duration, and every other field as in the version 0 box of `v0`.
// `middle` is the width of what lies between the times and the duration.
void expect_version_one(const Bytes& moov, const Bytes& v0_moov, const std::string& path,
                        std::size_t middle, uint64_t duration) {
    SCOPED_TRACE(path);
    const Box v1 = box_at(moov, path);
    const Box v0 = box_at(v0_moov, path);
    ASSERT_EQ(v1.size, v0.size + 12);
    EXPECT_EQ(moov[v1.offset + 8], 1u);
    EXPECT_EQ(test::bytes_of(moov, v1.offset + 9, 3), test::bytes_of(v0_moov, v0.offset + 9, 3));
    EXPECT_EQ(u64_at(moov, v1.offset + 12), 0u);  // creation time
    EXPECT_EQ(u64_at(moov, v1.offset + 20), 0u);  // modification time
    EXPECT_EQ(test::bytes_of(moov, v1.offset + 28, middle),
              test::bytes_of(v0_moov, v0.offset + 20, middle));
    EXPECT_EQ(u64_at(moov, v1.offset + 28 + middle), duration);
    const std::size_t rest = v0.size - 24 - middle;
    EXPECT_EQ(test::bytes_of(moov, v1.offset + 36 + middle, rest),
              test::bytes_of(v0_moov, v0.offset + 24 + middle, rest));
}

TEST(MoovBuilder, HeadersStayVersionZeroWhileTheDurationFits) {
    const Bytes moov = moov_for(format_of(1000, 16, 1), {1, 1}, {0xFFFFFFFEu, 1}, cookie_of(24));
    for (const char* path : {"moov/mvhd", "moov/trak/tkhd", "moov/trak/mdia/mdhd"}) {
        EXPECT_EQ(moov[box_at(moov, path).offset + 8], 0u) << path;
    }
    EXPECT_EQ(u32_at(moov, box_at(moov, "moov/trak/mdia/mdhd").offset + 24), 0xFFFFFFFFu);
    EXPECT_EQ(u32_at(moov, box_at(moov, "moov/mvhd").offset + 24), 0xFFFFFFFFu);
    EXPECT_EQ(u32_at(moov, box_at(moov, "moov/trak/tkhd").offset + 28), 0xFFFFFFFFu);
}

TEST(MoovBuilder, HeadersWidenToVersionOneOneFramePastThirtyTwoBits) {
    const Bytes small = moov_for(format_of(1000, 16, 1), {1, 1}, {4096, 1}, cookie_of(24));
    const Bytes moov = moov_for(format_of(1000, 16, 1), {1, 1}, {0xFFFFFFFFu, 1}, cookie_of(24));
    expect_version_one(moov, small, "moov/mvhd", 4, 0x100000000ull);            // timescale
    expect_version_one(moov, small, "moov/trak/tkhd", 8, 0x100000000ull);       // track ID, 0
    expect_version_one(moov, small, "moov/trak/mdia/mdhd", 4, 0x100000000ull);  // timescale
    EXPECT_EQ(box_at(moov, "moov/mvhd").size, 120u);
    EXPECT_EQ(box_at(moov, "moov/trak/tkhd").size, 104u);
    EXPECT_EQ(box_at(moov, "moov/trak/mdia/mdhd").size, 44u);
    // Everything after the headers is as for a short file.
    const Box stsd = box_at(moov, std::string(stbl) + "stsd");
    EXPECT_EQ(test::bytes_of(moov, stsd.offset, stsd.size),
              test::bytes_of(small, box_at(small, std::string(stbl) + "stsd").offset, stsd.size));
}

TEST(MoovBuilder, EachHeaderWidensOnItsOwnDuration) {
    // At 2000 Hz the frames pass 32 bits long before the milliseconds do.
    const Bytes fast = moov_for(format_of(2000, 16, 1), {1, 1}, {0xFFFFFFFFu, 1}, cookie_of(24));
    EXPECT_EQ(fast[box_at(fast, "moov/trak/mdia/mdhd").offset + 8], 1u);
    EXPECT_EQ(u64_at(fast, box_at(fast, "moov/trak/mdia/mdhd").offset + 32), 0x100000000ull);
    EXPECT_EQ(fast[box_at(fast, "moov/mvhd").offset + 8], 0u);
    EXPECT_EQ(u32_at(fast, box_at(fast, "moov/mvhd").offset + 24), 0x80000000u);
    EXPECT_EQ(fast[box_at(fast, "moov/trak/tkhd").offset + 8], 0u);
    // At 500 Hz the milliseconds pass it first.
    const Bytes slow = moov_for(format_of(500, 16, 1), {1}, {0xFFFFFFFFu}, cookie_of(24));
    EXPECT_EQ(slow[box_at(slow, "moov/trak/mdia/mdhd").offset + 8], 0u);
    EXPECT_EQ(u32_at(slow, box_at(slow, "moov/trak/mdia/mdhd").offset + 24), 0xFFFFFFFFu);
    EXPECT_EQ(slow[box_at(slow, "moov/mvhd").offset + 8], 1u);
    EXPECT_EQ(u64_at(slow, box_at(slow, "moov/mvhd").offset + 32), 8589934590ull);
    EXPECT_EQ(slow[box_at(slow, "moov/trak/tkhd").offset + 8], 1u);
    EXPECT_EQ(u64_at(slow, box_at(slow, "moov/trak/tkhd").offset + 36), 8589934590ull);
}

TEST(MoovBuilder, WideChunkOffsets) {
    const std::vector<uint32_t> sizes{7, 9}, frames{4096, 10};
    const Bytes narrow = moov_for(format_of(44100, 16, 2), sizes, frames, cookie_of(24));
    const Bytes wide = build_moov(format_of(44100, 16, 2), sizes, runs_of(frames), 36,
                                  ChunkOffsetBox::co64, cookie_of(24), no_tags(), {}, 0);
    EXPECT_FALSE(test::find_box(wide, std::string(stbl) + "stco").has_value());
    const Box co64 = box_at(wide, std::string(stbl) + "co64");
    EXPECT_EQ(
        test::bytes_of(wide, co64.offset, co64.size),
        (Bytes{0, 0, 0, 24, 'c', 'o', '6', '4', 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 36}));
    EXPECT_EQ(wide.size(), narrow.size() + 4);
    // Up to the offsets the two movies are the same but for the sizes of the
    // boxes that hold them.
    const Box stsz = box_at(wide, std::string(stbl) + "stsz");
    EXPECT_EQ(test::bytes_of(wide, stsz.offset, stsz.size),
              test::bytes_of(narrow, box_at(narrow, std::string(stbl) + "stsz").offset, stsz.size));

    const Bytes none = build_moov(format_of(44100, 16, 2), {}, {}, 36, ChunkOffsetBox::co64,
                                  cookie_of(24), no_tags(), {}, 0);
    const Box empty = box_at(none, std::string(stbl) + "co64");
    EXPECT_EQ(test::bytes_of(none, empty.offset, empty.size),
              (Bytes{0, 0, 0, 16, 'c', 'o', '6', '4', 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(MoovBuilder, MovieAndTrackHeaders) {
    const Bytes moov = moov_for(format_of(44100, 16, 2), {5}, {4096}, cookie_of(24));
    const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};

    const Box mvhd = box_at(moov, "moov/mvhd");
    ASSERT_EQ(mvhd.size, 108u);
    EXPECT_EQ(u32_at(moov, mvhd.offset + 8), 0u);
    EXPECT_EQ(u32_at(moov, mvhd.offset + 20), 1000u);  // timescale
    EXPECT_EQ(u32_at(moov, mvhd.offset + 24), 93u);
    EXPECT_EQ(u32_at(moov, mvhd.offset + 28), 0x10000u);
    EXPECT_EQ(u16_at(moov, mvhd.offset + 32), 0x0100u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(u32_at(moov, mvhd.offset + 44 + 4 * i), matrix[i]);
    EXPECT_EQ(u32_at(moov, mvhd.offset + 104), 2u);  // next track ID

    const Box tkhd = box_at(moov, "moov/trak/tkhd");
    ASSERT_EQ(tkhd.size, 92u);
    EXPECT_EQ(u32_at(moov, tkhd.offset + 8), 7u);   // version 0, flags 7
    EXPECT_EQ(u32_at(moov, tkhd.offset + 20), 1u);  // track ID
    EXPECT_EQ(u16_at(moov, tkhd.offset + 44), 0x0100u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(u32_at(moov, tkhd.offset + 48 + 4 * i), matrix[i]);
    EXPECT_EQ(u32_at(moov, tkhd.offset + 84), 0u);
    EXPECT_EQ(u32_at(moov, tkhd.offset + 88), 0u);

    const Box mdhd = box_at(moov, "moov/trak/mdia/mdhd");
    ASSERT_EQ(mdhd.size, 32u);
    EXPECT_EQ(u16_at(moov, mdhd.offset + 28), 0x55C4u);
}

TEST(MoovBuilder, HandlerAndDataReferenceBytes) {
    const Bytes moov = moov_for(format_of(44100, 16, 2), {5}, {4096}, cookie_of(24));
    const Box hdlr = box_at(moov, "moov/trak/mdia/hdlr");
    Bytes expected{0, 0, 0, 45, 'h', 'd', 'l', 'r', 0, 0, 0, 0, 0, 0, 0, 0, 's', 'o', 'u', 'n'};
    expected.insert(expected.end(), 12, 0);
    for (char c : std::string("SoundHandler")) expected.push_back(static_cast<uint8_t>(c));
    expected.push_back(0);
    EXPECT_EQ(test::bytes_of(moov, hdlr.offset, hdlr.size), expected);

    EXPECT_EQ(test::types_of(test::children_of(moov, box_at(moov, "moov/trak/mdia/minf"), "mdia")),
              "smhd dinf stbl");
    const Box smhd = box_at(moov, "moov/trak/mdia/minf/smhd");
    EXPECT_EQ(test::bytes_of(moov, smhd.offset, smhd.size),
              (Bytes{0, 0, 0, 16, 's', 'm', 'h', 'd', 0, 0, 0, 0, 0, 0, 0, 0}));
    const Box dinf = box_at(moov, "moov/trak/mdia/minf/dinf");
    EXPECT_EQ(test::bytes_of(moov, dinf.offset, dinf.size),
              (Bytes{0, 0, 0, 36, 'd', 'i', 'n', 'f', 0, 0,  0,   28,  'd', 'r', 'e', 'f', 0, 0,
                     0, 0, 0, 0,  0,   1,   0,   0,   0, 12, 'u', 'r', 'l', ' ', 0,   0,   0, 1}));
    EXPECT_EQ(
        test::types_of(test::children_of(moov, box_at(moov, "moov/trak/mdia/minf/stbl"), "minf")),
        "stsd stts stsc stsz stco");
}

struct EntryCase {
    uint32_t channels;
    uint32_t bits;
    std::size_t cookie_size;
};

TEST(MoovBuilder, SampleEntryHoldsTheCookieUnchanged) {
    for (const EntryCase c : {EntryCase{1, 16, 24}, EntryCase{2, 24, 24}, EntryCase{3, 16, 48},
                              EntryCase{8, 32, 48}, EntryCase{2, 20, 24}}) {
        SCOPED_TRACE(c.channels);
        const Bytes cookie = cookie_of(c.cookie_size);
        const Bytes moov = moov_for(format_of(44100, c.bits, c.channels), {9}, {4096}, cookie);
        const Box stsd = box_at(moov, std::string(stbl) + "stsd");
        const Box entry = box_at(moov, std::string(stbl) + "stsd/alac");
        const Box nested = box_at(moov, std::string(stbl) + "stsd/alac/alac");
        EXPECT_EQ(stsd.size, c.cookie_size + 64);    // 88 or 112
        EXPECT_EQ(entry.size, c.cookie_size + 48);   // 72 or 96
        EXPECT_EQ(nested.size, c.cookie_size + 12);  // 36 or 60
        EXPECT_EQ(u32_at(moov, stsd.offset + 12), 1u);
        const std::size_t e = entry.offset + 8;
        EXPECT_EQ(test::bytes_of(moov, e, 8), (Bytes{0, 0, 0, 0, 0, 0, 0, 1}));
        EXPECT_EQ(u32_at(moov, e + 8), 0u);
        EXPECT_EQ(u32_at(moov, e + 12), 0u);
        EXPECT_EQ(u16_at(moov, e + 16), c.channels);
        EXPECT_EQ(u16_at(moov, e + 18), c.bits);
        EXPECT_EQ(u32_at(moov, e + 20), 0u);  // compression ID, packet size
        EXPECT_EQ(u32_at(moov, e + 24), 0xAC440000u);
        EXPECT_EQ(u32_at(moov, nested.offset + 8), 0u);
        EXPECT_EQ(test::bytes_of(moov, nested.offset + 12, c.cookie_size), cookie);
    }
}

TEST(MoovBuilder, SampleEntryRateFitsSixteenBits) {
    for (const auto& [rate, field] :
         {std::pair{44100u, 0xAC440000u}, std::pair{48000u, 0xBB800000u},
          std::pair{88200u, 0xAC440000u}, std::pair{96000u, 0xBB800000u},
          std::pair{192000u, 0xBB800000u}, std::pair{65535u, 0xFFFF0000u},
          std::pair{65536u, 0x80000000u}}) {
        SCOPED_TRACE(rate);
        const Bytes moov = moov_for(format_of(rate, 16, 2), {9}, {4096}, cookie_of(24));
        EXPECT_EQ(u32_at(moov, box_at(moov, std::string(stbl) + "stsd/alac").offset + 32), field);
        EXPECT_EQ(u32_at(moov, box_at(moov, "moov/trak/mdia/mdhd").offset + 20), rate);
    }
}

TEST(MoovBuilder, MetadataFollowsTheTrack) {
    TagSet tags = no_tags();
    tags.title = "abc";
    const Bytes moov = moov_for(format_of(44100, 16, 2), {5}, {4096}, cookie_of(24), tags);
    EXPECT_EQ(test::types_of(test::children_of(moov, box_at(moov, "moov"), "")), "mvhd trak udta");
    const Box udta = box_at(moov, "moov/udta");
    EXPECT_EQ(test::bytes_of(moov, udta.offset, udta.size), build_udta(tags, {}, 0));
}

}  // namespace
}  // namespace qv
