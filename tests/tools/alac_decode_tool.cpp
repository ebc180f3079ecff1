// Decodes the ALAC track of an M4A file with qv::AlacDecoder and writes the
// samples as interleaved little-endian int32, right-aligned at the stream's
// bit depth, in the input's channel order.
//
//   rz_alac_decode IN.m4a [OUT.raw]     (stdout without OUT.raw)
//
// Every packet must decode; the tool stops with exit code 1 and a line on
// standard error naming the packet and the decoder's verdict otherwise.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "alac/decoder/alac_decoder.h"
#include "common/byte_order.h"

namespace {

using Bytes = std::vector<uint8_t>;
using qv::load_be32;

struct Range {
    size_t begin = 0;
    size_t end = 0;
    bool found = false;
};

// The payload of the first box of type `type` directly inside [begin, end).
Range child(const Bytes& file, Range parent, const char* type) {
    size_t pos = parent.begin;
    while (pos + 8 <= parent.end) {
        const uint64_t size = load_be32(&file[pos]);
        if (size < 8 || pos + size > parent.end) break;
        if (std::memcmp(&file[pos + 4], type, 4) == 0) return {pos + 8, pos + size, true};
        pos += size;
    }
    return {};
}

Range path(const Bytes& file, std::initializer_list<const char*> types) {
    Range r{0, file.size(), true};
    for (const char* type : types) {
        r = child(file, r, type);
        if (!r.found) return r;
    }
    return r;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "rz_alac_decode: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: rz_alac_decode IN.m4a [OUT.raw]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) return fail("cannot open input");
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const Range stbl = path(file, {"moov", "trak", "mdia", "minf", "stbl"});
    if (!stbl.found) return fail("no moov/trak/mdia/minf/stbl");
    const Range stsd = child(file, stbl, "stsd");
    const Range stsz = child(file, stbl, "stsz");
    const Range stco = child(file, stbl, "stco");
    if (!stsd.found || !stsz.found || !stco.found) return fail("missing stsd, stsz or stco");

    // stsd: version/flags, entry count, then the 'alac' sample entry whose
    // 28 bytes of audio fields precede the nested 'alac' full box (the cookie).
    const Range entry = child(file, {stsd.begin + 8, stsd.end, true}, "alac");
    if (!entry.found || entry.end - entry.begin < 28) return fail("no alac sample entry");
    const Range nested = child(file, {entry.begin + 28, entry.end, true}, "alac");
    if (!nested.found || nested.end - nested.begin < 4) return fail("no alac cookie box");

    qv::MagicCookie config;
    std::string error;
    if (!qv::read_magic_cookie(&file[nested.begin + 4], nested.end - nested.begin - 4, config,
                               error)) {
        return fail("cookie: " + error);
    }
    qv::AlacDecoder decoder;
    if (!decoder.configure(config, error)) return fail("configure: " + error);

    // stsz: version/flags, uniform size (0 here), count, sizes.
    if (stsz.end - stsz.begin < 12) return fail("short stsz");
    const uint32_t uniform = load_be32(&file[stsz.begin + 4]);
    const uint32_t packets = load_be32(&file[stsz.begin + 8]);
    if (uniform == 0 && stsz.end - stsz.begin < 12 + uint64_t{packets} * 4) {
        return fail("short stsz table");
    }
    // stco: all packets form one chunk.
    if (stco.end - stco.begin < 8) return fail("short stco");
    const uint32_t chunks = load_be32(&file[stco.begin + 4]);
    if (chunks > 1) return fail("more than one chunk");
    if (packets > 0 && (chunks != 1 || stco.end - stco.begin < 12)) return fail("no chunk offset");
    uint64_t offset = packets > 0 ? load_be32(&file[stco.begin + 8]) : 0;

    std::FILE* out = argc == 3 ? std::fopen(argv[2], "wb") : stdout;
    if (out == nullptr) return fail("cannot create output");
    const uint32_t channels = config.channels;
    std::vector<uint8_t> interleaved;
    for (uint32_t p = 0; p < packets; ++p) {
        const uint32_t size = uniform != 0 ? uniform : load_be32(&file[stsz.begin + 12 + 4 * p]);
        if (offset + size > file.size())
            return fail("packet " + std::to_string(p) + " past the file end");
        const qv::AlacDecodeStatus status = decoder.decode_frame(&file[offset], size);
        if (status != qv::AlacDecodeStatus::ok) {
            return fail("packet " + std::to_string(p) + ": " + qv::alac_decode_status_text(status));
        }
        offset += size;
        const uint32_t frames = decoder.frame_count();
        interleaved.resize(size_t{frames} * channels * 4);
        uint8_t* dst = interleaved.data();
        for (uint32_t i = 0; i < frames; ++i) {
            for (uint32_t c = 0; c < channels; ++c) {
                const auto v = static_cast<uint32_t>(decoder.channel(c)[i]);
                *dst++ = static_cast<uint8_t>(v);
                *dst++ = static_cast<uint8_t>(v >> 8);
                *dst++ = static_cast<uint8_t>(v >> 16);
                *dst++ = static_cast<uint8_t>(v >> 24);
            }
        }
        if (std::fwrite(interleaved.data(), 1, interleaved.size(), out) != interleaved.size()) {
            return fail("write failed");
        }
    }
    if (std::fflush(out) != 0 || (out != stdout && std::fclose(out) != 0))
        return fail("write failed");
    return 0;
}
