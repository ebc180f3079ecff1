// Finding and loading libFLAC: the candidate order, stand-in libraries with
// and without every export, and the installed library found by soname.
#include "input/flac_library.h"

#include <gtest/gtest.h>

#include "input/wav_fixture.h"
#include "platform/executable_path.h"

namespace qv {
namespace {

const std::filesystem::path stand_ins = RZ_STAND_IN_FLAC_DIR;

bool table_is_empty(const FlacFunctions& f) {
    return f.stream_decoder_new == nullptr && f.stream_decoder_delete == nullptr &&
           f.stream_decoder_init_file == nullptr &&
           f.stream_decoder_process_until_end_of_metadata == nullptr &&
           f.stream_decoder_process_until_end_of_stream == nullptr &&
           f.stream_decoder_finish == nullptr && f.stream_decoder_get_channels == nullptr &&
           f.stream_decoder_get_bits_per_sample == nullptr &&
           f.stream_decoder_get_sample_rate == nullptr &&
           f.stream_decoder_get_blocksize == nullptr &&
           f.stream_decoder_get_total_samples == nullptr &&
           f.stream_decoder_get_resolved_state_string == nullptr;
}

bool table_is_full(const FlacFunctions& f) {
    return f.stream_decoder_new != nullptr && f.stream_decoder_delete != nullptr &&
           f.stream_decoder_init_file != nullptr &&
           f.stream_decoder_process_until_end_of_metadata != nullptr &&
           f.stream_decoder_process_until_end_of_stream != nullptr &&
           f.stream_decoder_finish != nullptr && f.stream_decoder_get_channels != nullptr &&
           f.stream_decoder_get_bits_per_sample != nullptr &&
           f.stream_decoder_get_sample_rate != nullptr &&
           f.stream_decoder_get_blocksize != nullptr &&
           f.stream_decoder_get_total_samples != nullptr &&
           f.stream_decoder_get_resolved_state_string != nullptr;
}

TEST(FlacLibraryCandidates, BesideTheExecutableThenTheInstalledSonames) {
    const std::vector<std::filesystem::path> expected = {
        platform::executable_path().parent_path() / "libFLAC.so", "libFLAC.so.14", "libFLAC.so.12",
        "libFLAC.so.8"};
    EXPECT_EQ(flac_library_candidates(), expected);
}

TEST(FlacLibraryLoading, CompleteLibraryIsAvailable) {
    const std::filesystem::path path = stand_ins / "complete" / "libFLAC.so";
    std::unique_ptr<FlacLibrary> library = load_flac_library_from({path});
    ASSERT_TRUE(flac_library_available(library.get())) << library->reason;
    EXPECT_NE(library->module, nullptr);
    EXPECT_EQ(library->dll_path, path);
    EXPECT_EQ(library->reason, "");
    EXPECT_TRUE(table_is_full(library->functions));
    unload_flac_library(library);
    EXPECT_EQ(library, nullptr);
    EXPECT_FALSE(flac_library_available(library.get()));
}

TEST(FlacLibraryLoading, MissingExportReleasesTheLibrary) {
    const std::filesystem::path path = stand_ins / "lacking" / "libFLAC.so";
    std::unique_ptr<FlacLibrary> library = load_flac_library_from({path});
    EXPECT_FALSE(flac_library_available(library.get()));
    EXPECT_EQ(library->module, nullptr);
    EXPECT_EQ(library->dll_path, path);
    EXPECT_EQ(library->reason,
              "libFLAC.dll is missing required export: "
              "FLAC__stream_decoder_get_resolved_state_string");
    EXPECT_TRUE(table_is_empty(library->functions));
    unload_flac_library(library);
}

// The first candidate that loads decides, even when it is incomplete.
TEST(FlacLibraryLoading, FirstLoadableCandidateDecides) {
    const std::filesystem::path absent = test::test_directory() / "libFLAC.so";
    const std::filesystem::path complete = stand_ins / "complete" / "libFLAC.so";
    const std::filesystem::path lacking = stand_ins / "lacking" / "libFLAC.so";
    std::unique_ptr<FlacLibrary> library = load_flac_library_from({absent, complete});
    EXPECT_TRUE(flac_library_available(library.get()));
    EXPECT_EQ(library->dll_path, complete);
    unload_flac_library(library);
    library = load_flac_library_from({lacking, complete});
    EXPECT_FALSE(flac_library_available(library.get()));
    EXPECT_EQ(library->dll_path, lacking);
    unload_flac_library(library);
}

TEST(FlacLibraryLoading, NothingLoadableNamesTheFirstPlace) {
    const std::filesystem::path absent = test::test_directory() / "libFLAC.so";
    std::unique_ptr<FlacLibrary> library =
        load_flac_library_from({absent, "libFLAC.so.no-such-version"});
    EXPECT_FALSE(flac_library_available(library.get()));
    EXPECT_EQ(library->module, nullptr);
    EXPECT_EQ(library->dll_path, absent);
    // The system's own text for the failure follows in parentheses.
    const std::string head = "libFLAC.dll not available at " + absent.string() + " (";
    EXPECT_EQ(library->reason.rfind(head, 0), 0u) << library->reason;
    EXPECT_GT(library->reason.size(), head.size() + 1);
    EXPECT_EQ(library->reason.back(), ')');
    unload_flac_library(library);

    library = load_flac_library_from({});
    EXPECT_FALSE(flac_library_available(library.get()));
    EXPECT_NE(library->reason, "");
    unload_flac_library(library);
}

// Nothing lies beside the test program, so the installed library is used,
// reported by the real file behind its soname.
TEST(FlacLibraryLoading, InstalledLibraryIsFoundBySoname) {
    std::unique_ptr<FlacLibrary> library = load_flac_library();
    ASSERT_TRUE(flac_library_available(library.get())) << library->reason;
    const std::filesystem::path& path = library->dll_path;
    EXPECT_TRUE(path.is_absolute()) << path;
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
    EXPECT_FALSE(std::filesystem::is_symlink(path)) << path;
    EXPECT_EQ(std::filesystem::canonical(path), path);
    EXPECT_EQ(path.filename().string().rfind("libFLAC.so.", 0), 0u) << path;
    unload_flac_library(library);
}

}  // namespace
}  // namespace qv
