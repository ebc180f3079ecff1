#pragma once
// The metadata blocks the FLAC reader takes from libFLAC: Vorbis comments
// and pictures. libFLAC hands each block over as its FLAC__StreamMetadata
// record; the mirrors below repeat the part of that record the reader reads,
// laid out as libFLAC (1.3 and 1.4 alike) lays it out.
#include <cstddef>
#include <cstdint>

namespace qv {

inline constexpr int flac_metadata_vorbis_comment = 4;  // FLAC__METADATA_TYPE_VORBIS_COMMENT
inline constexpr int flac_metadata_picture = 6;         // FLAC__METADATA_TYPE_PICTURE

struct FlacCommentEntry {  // FLAC__StreamMetadata_VorbisComment_Entry
    uint32_t length;
    uint8_t* entry;
};

struct FlacVorbisComment {  // FLAC__StreamMetadata_VorbisComment
    FlacCommentEntry vendor_string;
    uint32_t num_comments;
    FlacCommentEntry* comments;
};

struct FlacPicture {  // FLAC__StreamMetadata_Picture
    int type;         // FLAC__StreamMetadata_Picture_Type
    char* mime_type;
    uint8_t* description;
    uint32_t width;
    uint32_t height;
    uint32_t depth;
    uint32_t colors;
    uint32_t data_length;
    uint8_t* data;
};

struct FlacStreamMetadata {  // FLAC__StreamMetadata
    int type;                // FLAC__MetadataType
    int is_last;             // FLAC__bool
    uint32_t length;
    // libFLAC's union also holds the stream info with its 64-bit sample
    // count, which sets the union's alignment.
    union {
        uint64_t stream_info_alignment;
        FlacVorbisComment vorbis_comment;
        FlacPicture picture;
    } data;
};

static_assert(sizeof(void*) != 8 || offsetof(FlacStreamMetadata, data) == 16,
              "libFLAC puts the block data at 16");
static_assert(sizeof(void*) != 8 || offsetof(FlacVorbisComment, comments) == 24,
              "libFLAC's comment list follows the vendor string and count");
static_assert(sizeof(void*) != 8 || offsetof(FlacPicture, data) == 48,
              "libFLAC's picture bytes follow the seven fields before them");

// libFLAC's metadata callback: adds the tags of a Vorbis comment block and
// offers a picture block's bytes to the decode's InputTags.
void flac_metadata_callback(const void* decoder, const void* metadata, void* client_data);

}  // namespace qv
