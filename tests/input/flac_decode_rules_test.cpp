// The reader's decisions against a scripted stand-in for libFLAC's decoder:
// which message wins, when error statuses fail the read, format checks on
// every frame, and that every way out deletes the decoder.
#include <gtest/gtest.h>

#include <variant>

#include "input/flac_decode_state.h"
#include "input/flac_fixture.h"
#include "input/flac_reader.h"

namespace qv::test {
namespace {

struct Frame {
    uint32_t channels = 2;
    uint32_t bits = 16;
    uint32_t rate = 44100;
    uint32_t blocksize = 4;
};
struct Status {
    int value;
};
using Event = std::variant<Frame, Status>;

// What the scripted decoder reports; one script per test.
struct Script {
    bool allocate = true;
    int init_status = 0;
    bool metadata_ok = true;
    bool stream_ok = true;  // the processing result when no write was aborted
    const char* state_text = "STATE";
    uint64_t total = 8;
    std::vector<Event> events;
    // The optional MD5 export: whether the library has it, and whether
    // finish reports the decoded audio as matching the signature.
    bool has_md5_export = false;
    bool md5_matches = true;

    // Observed.
    Frame current;
    int news = 0, deletes = 0, finishes = 0, writes = 0;
    bool md5_checking = false;
    FlacWriteCallback write = nullptr;
    FlacErrorCallback error = nullptr;
    void* client = nullptr;
    std::vector<std::vector<int32_t>> planes;
    std::vector<const int32_t*> handed;  // the buffers the decoder handed out
};

Script* script = nullptr;
int decoder_object;  // its address stands for the decoder

void* fake_new() {
    ++script->news;
    return script->allocate ? &decoder_object : nullptr;
}
void fake_delete(void*) { ++script->deletes; }
int fake_init(void*, const char*, FlacWriteCallback write, FlacMetadataCallback metadata,
              FlacErrorCallback error, void* client) {
    EXPECT_EQ(metadata, nullptr);
    script->write = write;
    script->error = error;
    script->client = client;
    return script->init_status;
}
int fake_metadata(void*) { return script->metadata_ok; }
int fake_stream(void*) {
    for (const Event& event : script->events) {
        if (const Status* status = std::get_if<Status>(&event)) {
            script->error(&decoder_object, status->value, script->client);
            continue;
        }
        script->current = std::get<Frame>(event);
        script->planes.assign(script->current.channels,
                              std::vector<int32_t>(script->current.blocksize, 7));
        script->handed.clear();
        for (const auto& plane : script->planes) script->handed.push_back(plane.data());
        ++script->writes;
        if (script->write(&decoder_object, nullptr, script->handed.data(), script->client) != 0) {
            return 0;
        }
    }
    return script->stream_ok;
}
int fake_finish(void*) {
    ++script->finishes;
    return !script->md5_checking || script->md5_matches;
}
int fake_set_md5_checking(void*, int value) {
    EXPECT_EQ(script->finishes, 0) << "MD5 checking must be asked for before decoding";
    script->md5_checking = value != 0;
    return 1;
}
unsigned fake_channels(const void*) { return script->current.channels; }
unsigned fake_bits(const void*) { return script->current.bits; }
unsigned fake_rate(const void*) { return script->current.rate; }
unsigned fake_blocksize(const void*) { return script->current.blocksize; }
uint64_t fake_total(const void*) { return script->total; }
const char* fake_state(const void*) { return script->state_text; }

FlacLibrary scripted_library() {
    FlacLibrary library;
    library.available = true;
    library.functions = {fake_new,    fake_delete,    fake_init,     fake_metadata,
                         fake_stream, fake_finish,    fake_channels, fake_bits,
                         fake_rate,   fake_blocksize, fake_total,    fake_state};
    if (script->has_md5_export) {
        library.functions.stream_decoder_set_md5_checking = fake_set_md5_checking;
    }
    return library;
}

class FlacDecodeRules : public ::testing::Test {
protected:
    void SetUp() override { script = &s; }
    void TearDown() override { script = nullptr; }

    FlacRun read(size_t refuse_call = SIZE_MAX) {
        const FlacLibrary library = scripted_library();
        FlacRun run = run_flac_reader_on(&library, "scripted.flac", refuse_call);
        if (s.allocate) {
            EXPECT_EQ(s.deletes, 1);
        }
        return run;
    }

    Script s;
};

TEST_F(FlacDecodeRules, CleanStreamSucceeds) {
    s.events = {Frame{}, Frame{}};
    const FlacRun run = read();
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.recorder.blocks, (std::vector<uint32_t>{4, 4}));
    EXPECT_EQ(s.finishes, 1);
}

// The consumer sees the decoder's own per-channel buffers.
TEST_F(FlacDecodeRules, HandsOverTheDecodersBuffers) {
    s.events = {Frame{3, 24, 48000, 5}};
    s.total = 5;
    struct Seen {
        std::vector<const int32_t*> planes;
        static bool consume(void* context, const int32_t* const* planes, uint32_t) {
            auto* seen = static_cast<Seen*>(context);
            seen->planes.assign(planes, planes + 3);
            return true;
        }
    } seen;
    const FlacLibrary library = scripted_library();
    AudioFormat format;
    std::string error;
    ASSERT_TRUE(read_flac_input(&library, "x.flac", format, &Seen::consume, &seen, error));
    EXPECT_EQ(seen.planes, s.handed);
}

TEST_F(FlacDecodeRules, NoDecoderNoInit) {
    s.allocate = false;
    FlacRun run = read();
    EXPECT_EQ(run.error, "libFLAC could not allocate a decoder");
    EXPECT_EQ(s.deletes, 0);
    s = Script{};
    s.init_status = 1;
    run = read();
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "libFLAC could not initialize the input file");
    EXPECT_EQ(s.finishes, 0);
}

TEST_F(FlacDecodeRules, MetadataFailureWithAndWithoutStateText) {
    s.metadata_ok = false;
    FlacRun run = read();
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC metadata decode failed: STATE");
    EXPECT_EQ(s.finishes, 1);
    s = Script{};
    s.metadata_ok = false;
    s.state_text = nullptr;
    run = read();
    EXPECT_EQ(run.error, "FLAC metadata decode failed");
}

TEST_F(FlacDecodeRules, TotalIsSetAfterTheMetadata) {
    s.total = 123456789012ull;
    const FlacRun run = read();
    EXPECT_EQ(run.format.total_frames, 123456789012ull);
    EXPECT_TRUE(run.recorder.blocks.empty());
    // A stream that declares audio and holds none is damaged.
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error,
              "FLAC decode error: the stream holds 0 sample frames, 123456789012 were declared");
}

// Frames lost or repeated without damage to any single frame: only the
// count against the declared total tells.
TEST_F(FlacDecodeRules, FrameCountMustMatchTheDeclaredTotal) {
    s.total = 12;
    s.events = {Frame{}, Frame{}};
    FlacRun run = read();
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode error: the stream holds 8 sample frames, 12 were declared");

    // More than declared: what lies past the total is counted, never encoded.
    s = Script{};
    s.events = {Frame{}, Frame{}, Frame{}, Frame{}};
    run = read();
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode error: the stream holds 16 sample frames, 8 were declared");
    EXPECT_EQ(run.recorder.blocks, (std::vector<uint32_t>{4, 4}));
    EXPECT_EQ(s.writes, 4);

    // Without a declared total there is nothing to compare with.
    s = Script{};
    s.total = 0;
    s.events = {Frame{}, Frame{}, Frame{}};
    run = read();
    EXPECT_TRUE(run.ok) << run.error;
}

TEST_F(FlacDecodeRules, Md5MismatchFailsTheRead) {
    s.has_md5_export = true;
    s.md5_matches = false;
    s.events = {Frame{}, Frame{}};
    FlacRun run = read();
    EXPECT_TRUE(s.md5_checking);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error,
              "FLAC decode error: decoded audio does not match the stream's MD5 signature");

    // The count is the more telling report when both are wrong.
    s = Script{};
    s.has_md5_export = true;
    s.md5_matches = false;
    s.events = {Frame{}};
    run = read();
    EXPECT_EQ(run.error, "FLAC decode error: the stream holds 4 sample frames, 8 were declared");

    // A failure inside the decode outranks both whole-stream checks.
    s = Script{};
    s.has_md5_export = true;
    s.md5_matches = false;
    s.events = {Frame{}, Status{2}};
    run = read();
    EXPECT_EQ(run.error, "FLAC decode error: frame CRC mismatch");

    s = Script{};
    s.has_md5_export = true;
    s.events = {Frame{}, Frame{}};
    run = read();
    EXPECT_TRUE(run.ok) << run.error;
}

TEST_F(FlacDecodeRules, InvalidFirstFormats) {
    const std::string invalid =
        "FLAC stream did not provide a valid audio format after decoding started";
    const struct {
        Frame frame;
        std::string message;
    } cases[] = {
        {{2, 16, 0, 4}, invalid},
        {{0, 16, 44100, 4}, invalid},
        {{2, 0, 44100, 4}, invalid},
        {{9, 16, 44100, 4}, "FLAC input has more than 8 channels; ALAC supports at most 8"},
        {{2, 4, 44100, 4},
         "FLAC input uses 4-bit PCM; RO-ZOZA accepts 16, 20, 24 or 32-bit input without "
         "conversion"},
        {{2, 31, 44100, 4},
         "FLAC input uses 31-bit PCM; RO-ZOZA accepts 16, 20, 24 or 32-bit input without "
         "conversion"},
    };
    for (const auto& c : cases) {
        s = Script{};
        s.events = {c.frame};
        const FlacRun run = read();
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.error, c.message);
        EXPECT_TRUE(run.recorder.blocks.empty());
        EXPECT_EQ(run.format.channels, c.frame.channels);
        EXPECT_EQ(run.format.bits_per_sample, c.frame.bits);
        EXPECT_EQ(run.format.sample_rate, c.frame.rate);
    }
}

TEST_F(FlacDecodeRules, EveryFrameMustKeepTheFirstFormat) {
    for (const Frame& later :
         {Frame{1, 16, 44100, 4}, Frame{2, 24, 44100, 4}, Frame{2, 16, 48000, 4}}) {
        s = Script{};
        s.events = {Frame{}, later, Frame{}};
        const FlacRun run = read();
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.error, "FLAC stream changed its audio format after the first frame");
        EXPECT_EQ(run.recorder.blocks.size(), 1u);
        EXPECT_EQ(s.writes, 2);
    }
}

TEST_F(FlacDecodeRules, EmptyFrameAborts) {
    s.events = {Frame{}, Frame{2, 16, 44100, 0}};
    const FlacRun run = read();
    EXPECT_EQ(run.error, "FLAC decode was aborted by the PCM consumer");
    EXPECT_EQ(run.recorder.blocks.size(), 1u);
}

TEST_F(FlacDecodeRules, RefusedBlockStopsAtOnce) {
    s.events = {Frame{}, Frame{}, Frame{}};
    s.total = 12;
    const FlacRun run = read(1);
    EXPECT_EQ(run.error, "FLAC decode was aborted by the PCM consumer");
    EXPECT_EQ(s.writes, 2);
}

// Statuses met while declared audio is still missing fail the read with the
// first of them, and no later frame is delivered.
TEST_F(FlacDecodeRules, ErrorBeforeTheDeclaredEndFails) {
    s.events = {Frame{}, Status{2}, Status{0}, Frame{}};
    const FlacRun run = read();
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode error: frame CRC mismatch");
    EXPECT_EQ(run.recorder.blocks.size(), 1u);
}

TEST_F(FlacDecodeRules, ErrorBeforeAnyFrameFails) {
    s.events = {Status{1}};
    const FlacRun run = read();
    EXPECT_EQ(run.error, "FLAC decode error: bad frame header");
}

TEST_F(FlacDecodeRules, ErrorWithoutDeclaredTotalFailsAnywhere) {
    s.total = 0;
    s.events = {Frame{}, Frame{}, Status{0}};
    const FlacRun run = read();
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode error: lost sync");
}

TEST_F(FlacDecodeRules, ErrorAfterTheDeclaredEndIsTolerated) {
    s.events = {Frame{}, Frame{}, Status{0}, Status{3}};
    const FlacRun run = read();
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.recorder.blocks.size(), 2u);
}

// When processing itself fails after tolerated statuses, the last one names it.
TEST_F(FlacDecodeRules, FailedProcessingNamesTheLastStatus) {
    s.events = {Frame{}, Frame{}, Status{0}, Status{2}};
    s.stream_ok = false;
    FlacRun run = read();
    EXPECT_EQ(run.error, "FLAC decode error: frame CRC mismatch");
    s = Script{};
    s.events = {Frame{}, Frame{}};
    s.stream_ok = false;
    run = read();
    EXPECT_EQ(run.error, "FLAC decode failed: STATE");
    s = Script{};
    s.stream_ok = false;
    s.state_text = nullptr;
    run = read();
    EXPECT_EQ(run.error, "FLAC decode failed");
}

TEST_F(FlacDecodeRules, DamageStopsDeliveryBeforeTheFormatIsJudged) {
    s.events = {Status{0}, Frame{9, 16, 44100, 4}};
    s.total = 0;
    const FlacRun run = read();
    EXPECT_EQ(run.error, "FLAC decode error: lost sync");
    EXPECT_EQ(run.format.channels, 0u);
}

TEST_F(FlacDecodeRules, WriteCallbackMessageOutranksFailedProcessing) {
    s.events = {Frame{}, Frame{}, Status{0}, Frame{1, 16, 44100, 4}};
    s.stream_ok = false;
    const FlacRun run = read();
    EXPECT_EQ(run.error, "FLAC stream changed its audio format after the first frame");
}

TEST(FlacErrorStatusText, NamesEveryStatus) {
    EXPECT_STREQ(flac_error_status_text(0), "lost sync");
    EXPECT_STREQ(flac_error_status_text(1), "bad frame header");
    EXPECT_STREQ(flac_error_status_text(2), "frame CRC mismatch");
    EXPECT_STREQ(flac_error_status_text(3), "unparseable stream");
    EXPECT_STREQ(flac_error_status_text(4), "bad metadata");
    EXPECT_STREQ(flac_error_status_text(5), "out of bounds");
    EXPECT_STREQ(flac_error_status_text(6), "missing frame");
    EXPECT_STREQ(flac_error_status_text(7), "decoder error");
    EXPECT_STREQ(flac_error_status_text(-1), "decoder error");
}

}  // namespace
}  // namespace qv::test
