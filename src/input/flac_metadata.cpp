// Vorbis comments and pictures out of libFLAC's metadata records.
#include "input/flac_metadata.h"

#include <string>

#include "input/flac_decode_state.h"
#include "input/input_tags.h"

namespace qv {
namespace {

// "NAME=value"; an entry without '=' or with an empty name is not a tag.
void add_comment(const FlacCommentEntry& entry, InputTags& tags) {
    if (entry.entry == nullptr) {
        return;
    }
    const std::string text(reinterpret_cast<const char*>(entry.entry), entry.length);
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        return;
    }
    std::string name = text.substr(0, equals);
    std::string label = name;
    tags.add_tag(std::move(name), std::move(label), text.substr(equals + 1));
}

}  // namespace

void flac_metadata_callback(const void*, const void* metadata, void* client_data) {
    const auto& state = *static_cast<const FlacDecodeState*>(client_data);
    const auto& block = *static_cast<const FlacStreamMetadata*>(metadata);
    if (state.tags == nullptr) {
        return;
    }
    if (block.type == flac_metadata_vorbis_comment) {
        const FlacVorbisComment& comment = block.data.vorbis_comment;
        for (uint32_t i = 0; comment.comments != nullptr && i < comment.num_comments; ++i) {
            add_comment(comment.comments[i], *state.tags);
        }
    } else if (block.type == flac_metadata_picture) {
        const FlacPicture& picture = block.data.picture;
        if (picture.data != nullptr || picture.data_length == 0) {
            state.tags->offer_picture(static_cast<uint32_t>(picture.type), picture.data,
                                      picture.data_length);
        }
    }
}

}  // namespace qv
