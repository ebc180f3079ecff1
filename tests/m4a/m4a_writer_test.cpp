#include "m4a/m4a_writer.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "box_walker.h"
#include "file_size_limit.h"
#include "m4a/metadata.h"
#include "test_folder.h"

namespace qv {

struct M4aWriterTestAccess {
    static void set_payload_bytes(M4aWriter& writer, uint64_t bytes) {
        writer.payload_bytes = bytes;
    }
    static void set_largest_compact_payload(M4aWriter& writer, uint64_t bytes) {
        writer.largest_compact_payload = bytes;
    }
    static void set_max_packets(M4aWriter& writer, uint64_t count) { writer.max_packets = count; }
};

namespace {

using test::Box;
using test::box_at;
using test::ByteVec;
using test::check;
using test::expect_with_file_size_limit;
using test::TestFolder;
using test::u32_at;
using test::u64_at;

constexpr const char* stbl = "moov/trak/mdia/minf/stbl/";

const ByteVec cookie24(24, 0x5A);

AudioFormat stereo_44k() {
    AudioFormat format;
    format.sample_rate = 44100;
    format.bits_per_sample = 16;
    format.channels = 2;
    return format;
}

ByteVec packet_bytes(uint32_t size, uint8_t seed) {
    ByteVec bytes(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 31);
    return bytes;
}

bool append(M4aWriter& writer, const ByteVec& bytes, uint32_t frames, std::string& error) {
    AlacPacket packet;
    packet.data = bytes.data();
    packet.byte_count = static_cast<uint32_t>(bytes.size());
    packet.frame_count = frames;
    return writer.append_packet(packet, error);
}

bool is_temporary_name(const std::string& name, const std::string& output) {
    return std::regex_match(name, std::regex("\\." + output + "\\.[0-9]+-[0-9]+\\.tmp"));
}

class M4aWriterTest : public ::testing::Test {
protected:
    TestFolder folder;
    std::filesystem::path out = folder / "out.m4a";
    std::string error;

    void open_writer(M4aWriter& writer, bool overwrite = false, TagSet tags = TagSet()) {
        writer.reset(out, stereo_44k(), tags);
        ASSERT_TRUE(writer.open(overwrite, error)) << error;
    }
};

TEST_F(M4aWriterTest, FileLayoutAndSampleTables) {
    M4aWriter writer;
    open_writer(writer);
    std::vector<ByteVec> packets;
    ByteVec payload;
    for (uint32_t i = 0; i < 11; ++i) {
        packets.push_back(packet_bytes(500 + 37 * i, static_cast<uint8_t>(i)));
        payload.insert(payload.end(), packets.back().begin(), packets.back().end());
        ASSERT_TRUE(append(writer, packets.back(), i < 10 ? 4096 : 100, error)) << error;
    }
    ASSERT_TRUE(writer.finalize(cookie24, error)) << error;
    writer.close();

    const ByteVec file = test::read_file(out);
    const std::vector<Box> top = test::children(file, 0, file.size());
    ASSERT_EQ(test::types_of(top), "ftyp mdat moov");
    EXPECT_EQ(test::bytes_of(file, 0, 28),
              (ByteVec{0, 0, 0,   28,  'f', 't', 'y', 'p', 'M', '4', 'A', ' ', 0,   0,
                       0, 0, 'M', '4', 'A', ' ', 'm', 'p', '4', '2', 'i', 's', 'o', 'm'}));
    EXPECT_EQ(top[1].offset, 28u);
    EXPECT_EQ(top[1].size, 8 + payload.size());
    EXPECT_EQ(test::bytes_of(file, 36, payload.size()), payload);
    EXPECT_EQ(top[2].offset, 36 + payload.size());

    const Box stsz = box_at(file, std::string(stbl) + "stsz");
    ASSERT_EQ(u32_at(file, stsz.offset + 16), 11u);
    uint64_t sum = 0;
    for (uint32_t i = 0; i < 11; ++i) {
        EXPECT_EQ(u32_at(file, stsz.offset + 20 + 4 * i), packets[i].size());
        sum += u32_at(file, stsz.offset + 20 + 4 * i);
    }
    EXPECT_EQ(top[1].size, 8 + sum);
    const Box stco = box_at(file, std::string(stbl) + "stco");
    EXPECT_EQ(u32_at(file, stco.offset + 12), 1u);
    EXPECT_EQ(u32_at(file, stco.offset + 16), 36u);
    // The default encoder text is the one item.
    EXPECT_TRUE(test::find_box(file, "moov/udta/meta/ilst/\xA9too").has_value());
}

TEST_F(M4aWriterTest, NoPackets) {
    M4aWriter writer;
    TagSet tags;
    tags.encoder.clear();
    open_writer(writer, false, tags);
    ASSERT_TRUE(writer.finalize(cookie24, error)) << error;
    const ByteVec file = test::read_file(out);
    ASSERT_EQ(file.size(), 36u + box_at(file, "moov").size);
    EXPECT_EQ(u32_at(file, 28), 8u);
    EXPECT_EQ(test::types_of(test::children_of(file, box_at(file, "moov"), "")), "mvhd trak");
    for (const char* table : {"stts", "stsc", "stco"}) {
        EXPECT_EQ(u32_at(file, box_at(file, std::string(stbl) + table).offset + 12), 0u) << table;
    }
    EXPECT_EQ(u32_at(file, box_at(file, std::string(stbl) + "stsz").offset + 16), 0u);
    EXPECT_EQ(u32_at(file, box_at(file, "moov/trak/mdia/mdhd").offset + 24), 0u);
    EXPECT_EQ(u32_at(file, box_at(file, "moov/trak/tkhd").offset + 28), 0u);
}

TEST_F(M4aWriterTest, ArtworkReachesTheFile) {
    M4aWriter writer;
    writer.reset(out, stereo_44k(), TagSet());
    const ByteVec cover = packet_bytes(300000, 9);
    writer.set_artwork(cover, artwork_type_png);
    ASSERT_TRUE(writer.open(false, error));
    ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    ASSERT_TRUE(writer.finalize(cookie24, error)) << error;
    const ByteVec file = test::read_file(out);
    const Box data = box_at(file, "moov/udta/meta/ilst/covr/data");
    EXPECT_EQ(u32_at(file, data.offset + 8), 14u);
    EXPECT_EQ(test::bytes_of(file, data.offset + 16, data.size - 16), cover);
}

TEST_F(M4aWriterTest, InvalidCookieLeavesNothing) {
    for (const ByteVec& cookie : {ByteVec(23, 1), ByteVec()}) {
        M4aWriter writer;
        open_writer(writer);
        ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
        EXPECT_FALSE(writer.finalize(cookie, error));
        EXPECT_EQ(error, "ALAC magic cookie is invalid");
        EXPECT_FALSE(std::filesystem::exists(out));
        writer.close();
        EXPECT_TRUE(folder.names().empty());
    }
}

TEST_F(M4aWriterTest, FinalizedFileStaysAsItIs) {
    M4aWriter writer;
    open_writer(writer);
    ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    ASSERT_TRUE(writer.finalize(cookie24, error));
    const ByteVec before = test::read_file(out);
    error.clear();
    EXPECT_TRUE(writer.finalize(ByteVec(), error));
    EXPECT_EQ(error, "");
    EXPECT_FALSE(append(writer, packet_bytes(10, 1), 4096, error));
    EXPECT_EQ(error, "invalid ALAC packet for M4A output");
    writer.close();
    EXPECT_EQ(test::read_file(out), before);
}

TEST_F(M4aWriterTest, InvalidPacketsAreNotRecorded) {
    M4aWriter writer;
    open_writer(writer);
    const ByteVec bytes = packet_bytes(10, 1);
    AlacPacket packet{bytes.data(), 10, 4096};
    ASSERT_TRUE(writer.append_packet(packet, error));
    for (AlacPacket bad : {AlacPacket{nullptr, 10, 4096}, AlacPacket{bytes.data(), 0, 4096},
                           AlacPacket{bytes.data(), 10, 0}}) {
        error.clear();
        EXPECT_FALSE(writer.append_packet(bad, error));
        EXPECT_EQ(error, "invalid ALAC packet for M4A output");
    }
    ASSERT_TRUE(writer.finalize(cookie24, error));
    const ByteVec file = test::read_file(out);
    EXPECT_EQ(u32_at(file, 28), 18u);
    EXPECT_EQ(u32_at(file, box_at(file, std::string(stbl) + "stsz").offset + 16), 1u);
}

const ByteVec ftyp28{0, 0, 0,   28,  'f', 't', 'y', 'p', 'M', '4', 'A', ' ', 0,   0,
                     0, 0, 'M', '4', 'A', ' ', 'm', 'p', '4', '2', 'i', 's', 'o', 'm'};
const ByteVec ftyp20{0,   0,   0, 20, 'f', 't', 'y', 'p', 'M', '4',
                     'A', ' ', 0, 0,  0,   0,   'i', 's', 'o', 'm'};

ByteVec concat(ByteVec a, const ByteVec& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The moov box that begins at `offset` of a file, on its own.
ByteVec moov_from(const ByteVec& file, std::size_t offset) {
    return ByteVec(file.begin() + static_cast<std::ptrdiff_t>(offset), file.end());
}

TEST_F(M4aWriterTest, MdatSizeAtTheFourGigabyteLimit) {
    // The recorded payload is set past what was written: only the headers
    // and tables are looked at.
    {
        M4aWriter writer;
        open_writer(writer);
        ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
        M4aWriterTestAccess::set_payload_bytes(writer, 4294967287u);
        ASSERT_TRUE(writer.finalize(cookie24, error)) << error;
        const ByteVec file = test::read_file(out);
        EXPECT_EQ(test::bytes_of(file, 0, 36),
                  concat(ftyp28, ByteVec{0xFF, 0xFF, 0xFF, 0xFF, 'm', 'd', 'a', 't'}));
        const ByteVec moov = moov_from(file, 46);
        EXPECT_EQ(u32_at(moov, box_at(moov, std::string(stbl) + "stco").offset + 16), 36u);
    }
    std::filesystem::remove(out);
    M4aWriter writer;
    open_writer(writer);
    ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    M4aWriterTestAccess::set_payload_bytes(writer, 4294967288u);
    ASSERT_TRUE(writer.finalize(cookie24, error)) << error;
    const ByteVec file = test::read_file(out);
    // 16 + 4294967288 = 0x1'0000'0008
    EXPECT_EQ(test::bytes_of(file, 0, 36),
              concat(ftyp20, ByteVec{0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 1, 0, 0, 0, 8}));
    EXPECT_EQ(test::bytes_of(file, 36, 10), packet_bytes(10, 1));
    const ByteVec moov = moov_from(file, 46);
    EXPECT_FALSE(test::find_box(moov, std::string(stbl) + "stco").has_value());
    const Box co64 = box_at(moov, std::string(stbl) + "co64");
    EXPECT_EQ(u32_at(moov, co64.offset + 12), 1u);
    EXPECT_EQ(u64_at(moov, co64.offset + 16), 36u);
}

class LoweredLimitTest : public M4aWriterTest {
protected:
    static constexpr uint64_t limit = 1000;

    // Writes packets of the given sizes (the last one short of frames),
    // with the limit lowered or not; returns the file.
    ByteVec write(const std::vector<uint32_t>& sizes, bool lowered) {
        std::filesystem::remove(out);
        M4aWriter writer;
        TagSet tags;
        tags.title = "over the limit";
        open_writer(writer, false, tags);
        if (lowered) {
            M4aWriterTestAccess::set_largest_compact_payload(writer, limit);
        }
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const uint32_t frames = i + 1 < sizes.size() ? 4096 : 17;
            EXPECT_TRUE(
                append(writer, packet_bytes(sizes[i], static_cast<uint8_t>(i)), frames, error))
                << error;
        }
        EXPECT_TRUE(writer.finalize(cookie24, error)) << error;
        return test::read_file(out);
    }
};

TEST_F(LoweredLimitTest, PayloadAtTheLimitKeepsTheCompactHeader) {
    const ByteVec lowered = write({600, 300, 100}, true);
    EXPECT_EQ(lowered, write({600, 300, 100}, false));
    EXPECT_EQ(test::bytes_of(lowered, 0, 36),
              concat(ftyp28, ByteVec{0, 0, 0x03, 0xF0, 'm', 'd', 'a', 't'}));  // 8 + 1000
}

TEST_F(LoweredLimitTest, OneByteMoreTakesTheLargeHeaderAndCo64) {
    const std::vector<uint32_t> sizes{600, 300, 101};
    const ByteVec file = write(sizes, true);
    const ByteVec compact = write(sizes, false);

    const std::vector<Box> top = test::children(file, 0, file.size());
    ASSERT_EQ(test::types_of(top), "ftyp mdat moov");
    EXPECT_EQ(test::bytes_of(file, 0, 20), ftyp20);
    EXPECT_EQ(top[1].offset, 20u);
    EXPECT_EQ(top[1].size, 16u + 1001u);
    EXPECT_EQ(test::bytes_of(file, 20, 16),
              (ByteVec{0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 0, 0, 0, 0x03, 0xF9}));
    // The media data sits where the compact file has it.
    EXPECT_EQ(test::bytes_of(file, 36, 1001), test::bytes_of(compact, 36, 1001));
    EXPECT_EQ(top[2].offset, 1037u);

    const Box co64 = box_at(file, std::string(stbl) + "co64");
    EXPECT_EQ(test::bytes_of(file, co64.offset, co64.size),
              (ByteVec{0, 0, 0, 24, 'c', 'o', '6', '4', 0, 0, 0, 0,
                       0, 0, 0, 1,  0,   0,   0,   0,   0, 0, 0, 36}));
    EXPECT_FALSE(test::find_box(file, std::string(stbl) + "stco").has_value());
    // Every other box as in the compact file.
    for (const char* path :
         {"moov/mvhd", "moov/trak/tkhd", "moov/trak/mdia/mdhd", "moov/trak/mdia/hdlr",
          "moov/trak/mdia/minf/stbl/stsd", "moov/trak/mdia/minf/stbl/stts",
          "moov/trak/mdia/minf/stbl/stsc", "moov/trak/mdia/minf/stbl/stsz", "moov/udta"}) {
        const Box b = box_at(file, path);
        EXPECT_EQ(test::bytes_of(file, b.offset, b.size),
                  test::bytes_of(compact, box_at(compact, path).offset, b.size))
            << path;
    }
    EXPECT_EQ(top[2].size, box_at(compact, "moov").size + 4);
}

TEST_F(M4aWriterTest, PacketCountLimit) {
    M4aWriter writer;
    open_writer(writer);
    M4aWriterTestAccess::set_max_packets(writer, 2);
    ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    ASSERT_TRUE(append(writer, packet_bytes(10, 2), 4096, error));
    EXPECT_FALSE(append(writer, packet_bytes(10, 3), 4096, error));
    EXPECT_EQ(error, "too many ALAC packets for one M4A file");
    ASSERT_TRUE(writer.finalize(cookie24, error)) << error;
    const ByteVec file = test::read_file(out);
    EXPECT_EQ(u32_at(file, 28), 28u);
    EXPECT_EQ(u32_at(file, box_at(file, std::string(stbl) + "stsz").offset + 16), 2u);
}

TEST_F(M4aWriterTest, TemporaryFileUntilFinalized) {
    M4aWriter writer;
    open_writer(writer);
    ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    const std::set<std::string> names = folder.names();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(is_temporary_name(*names.begin(), "out\\.m4a")) << *names.begin();
    ASSERT_TRUE(writer.finalize(cookie24, error));
    EXPECT_EQ(folder.names(), std::set<std::string>{"out.m4a"});
    writer.close();
    EXPECT_EQ(folder.names(), std::set<std::string>{"out.m4a"});
}

TEST_F(M4aWriterTest, UnfinishedWriterLeavesNothing) {
    {
        M4aWriter writer;
        open_writer(writer);
        ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    }
    EXPECT_TRUE(folder.names().empty());
    M4aWriter writer;
    open_writer(writer);
    writer.close();
    EXPECT_TRUE(folder.names().empty());
    EXPECT_FALSE(writer.finalize(cookie24, error));
}

TEST_F(M4aWriterTest, FileAppearingMeanwhileIsNotReplaced) {
    M4aWriter writer;
    open_writer(writer, false);
    ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    test::write_file(out, "intruder");
    EXPECT_FALSE(writer.finalize(cookie24, error));
    EXPECT_EQ(error, "output file already exists (use --overwrite)");
    EXPECT_EQ(folder.names(), std::set<std::string>{"out.m4a"});
    EXPECT_EQ(test::read_text(out), "intruder");
    EXPECT_FALSE(writer.finalize(cookie24, error));
    EXPECT_EQ(error, "M4A output is not open");
}

TEST_F(M4aWriterTest, OverwriteReplacesOnlyOnSuccess) {
    test::write_file(out, "old contents");
    {
        M4aWriter writer;
        open_writer(writer, true);
        ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    }
    EXPECT_EQ(test::read_text(out), "old contents");
    M4aWriter writer;
    open_writer(writer, true);
    ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    ASSERT_TRUE(writer.finalize(cookie24, error)) << error;
    EXPECT_EQ(test::read_file(out).size(), 36u + 10u + box_at(test::read_file(out), "moov").size);
    EXPECT_EQ(folder.names(), std::set<std::string>{"out.m4a"});
}

TEST_F(M4aWriterTest, FailedRename) {
    // A folder in the way cannot be replaced by a file.
    std::filesystem::create_directories(out / "inside");
    M4aWriter writer;
    open_writer(writer, true);
    ASSERT_TRUE(append(writer, packet_bytes(10, 1), 4096, error));
    EXPECT_FALSE(writer.finalize(cookie24, error));
    EXPECT_EQ(error, "could not move the finished M4A output into place");
    EXPECT_EQ(folder.names(), std::set<std::string>{"out.m4a"});
    EXPECT_TRUE(std::filesystem::is_directory(out / "inside"));
}

TEST_F(M4aWriterTest, MissingFolder) {
    M4aWriter writer;
    writer.reset(folder / "missing" / "out.m4a", stereo_44k(), TagSet());
    EXPECT_FALSE(writer.open(false, error));
    EXPECT_EQ(error, "could not create M4A output");
    EXPECT_FALSE(append(writer, packet_bytes(10, 1), 4096, error));
    EXPECT_EQ(error, "invalid ALAC packet for M4A output");
    EXPECT_FALSE(writer.finalize(cookie24, error));
    EXPECT_EQ(error, "M4A output is not open");
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(M4aWriterTest, NeverOpened) {
    M4aWriter writer;
    writer.reset(out, stereo_44k(), TagSet());
    EXPECT_FALSE(writer.finalize(ByteVec(), error));
    EXPECT_EQ(error, "ALAC magic cookie is invalid");
    EXPECT_FALSE(writer.finalize(cookie24, error));
    EXPECT_EQ(error, "failed while finalizing M4A metadata");
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(M4aWriterTest, MediaWriteFailure) {
    expect_with_file_size_limit(1 << 20, [&] {
        M4aWriter writer;
        writer.reset(out, stereo_44k(), TagSet());
        std::string e;
        if (!writer.open(false, e)) return "open failed: " + e;
        const ByteVec bytes = packet_bytes(65536, 3);
        int appended = 0;
        while (append(writer, bytes, 4096, e) && appended < 100) ++appended;
        std::string failures = check(appended < 100, "no write failed");
        failures += check(e == "failed while writing M4A media data", "append: " + e);
        append(writer, bytes, 4096, e);
        failures += check(e == "invalid ALAC packet for M4A output", "next append: " + e);
        writer.finalize(cookie24, e);
        failures += check(e == "M4A output is not open", "finalize: " + e);
        return failures;
    });
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(M4aWriterTest, MetadataWriteFailure) {
    expect_with_file_size_limit(1 << 20, [&] {
        M4aWriter writer;
        writer.reset(out, stereo_44k(), TagSet());
        writer.set_artwork(ByteVec(300000, 0xAB), artwork_type_jpeg);
        std::string e;
        if (!writer.open(false, e)) return "open failed: " + e;
        const ByteVec bytes = packet_bytes(65536, 3);
        for (int i = 0; i < 12; ++i) {
            if (!append(writer, bytes, 4096, e)) return "append failed: " + e;
        }
        std::string failures = check(!writer.finalize(cookie24, e), "finalize succeeded");
        failures += check(e == "failed while finalizing M4A metadata", "finalize: " + e);
        return failures;
    });
    EXPECT_TRUE(folder.names().empty());
}

}  // namespace
}  // namespace qv
