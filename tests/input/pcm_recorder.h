#pragma once
// A PCM consumer for reader tests: records every block, the format as it
// stood at each call, and can refuse a chosen call.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "input/audio_format.h"

namespace qv::test {

struct PcmRecorder {
    const AudioFormat* format = nullptr;  // the record the reader fills
    size_t refuse_call = SIZE_MAX;        // 0-based index of the call that returns false
    std::vector<uint32_t> blocks;         // frame count of every call
    std::vector<std::vector<int32_t>> channels;
    bool format_changed = false;  // the format differed from the first call's at a later call
    AudioFormat first_format;

    static bool consume(void* context, const int32_t* const* planes, uint32_t frames) {
        auto* self = static_cast<PcmRecorder*>(context);
        if (self->blocks.empty()) {
            self->first_format = *self->format;
            self->channels.resize(self->format->channels);
        } else if (!same(*self->format, self->first_format)) {
            self->format_changed = true;
        }
        for (size_t c = 0; c < self->channels.size(); ++c) {
            self->channels[c].insert(self->channels[c].end(), planes[c], planes[c] + frames);
        }
        self->blocks.push_back(frames);
        return self->blocks.size() - 1 != self->refuse_call;
    }

    static bool same(const AudioFormat& a, const AudioFormat& b) {
        return a.sample_rate == b.sample_rate && a.bits_per_sample == b.bits_per_sample &&
               a.channels == b.channels && a.total_frames == b.total_frames;
    }
};

}  // namespace qv::test
