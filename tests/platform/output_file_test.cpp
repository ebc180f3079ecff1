#include "platform/output_file.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "m4a/file_size_limit.h"
#include "m4a/test_folder.h"

namespace qv::platform {
namespace {

using test::check;
using test::TestFolder;

std::vector<uint8_t> pattern(std::size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 9));
    return bytes;
}

bool write(OutputFile& file, const std::vector<uint8_t>& bytes) {
    return file.write(bytes.data(), bytes.size());
}

class OutputFileTest : public ::testing::Test {
protected:
    TestFolder folder;
    std::filesystem::path out = folder / "song.m4a";
};

TEST_F(OutputFileTest, UniqueTemporaryBesideTheFinalName) {
    OutputFile a, b;
    ASSERT_TRUE(a.create(out));
    ASSERT_TRUE(b.create(out));
    EXPECT_TRUE(a.is_open());
    EXPECT_FALSE(a.failed());
    EXPECT_NE(a.temporary_path(), b.temporary_path());
    EXPECT_EQ(a.temporary_path().parent_path(), folder.path());
    const std::regex name("\\.song\\.m4a\\.[0-9]+-[0-9]+\\.tmp");
    EXPECT_TRUE(std::regex_match(a.temporary_path().filename().string(), name));
    EXPECT_EQ(folder.names().size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(OutputFileTest, BufferedWritesSeeksAndCommit) {
    OutputFile file;
    ASSERT_TRUE(file.create(out));
    std::vector<uint8_t> expected;
    // Small pieces that cross the buffer's size several times, one piece
    // larger than the buffer, and a patch behind the current end.
    for (std::size_t i = 0; expected.size() < 700000; ++i) {
        const std::vector<uint8_t> piece = pattern(1 + i % 300, static_cast<uint8_t>(i));
        ASSERT_TRUE(write(file, piece));
        expected.insert(expected.end(), piece.begin(), piece.end());
    }
    const std::vector<uint8_t> large = pattern(600000, 77);
    ASSERT_TRUE(write(file, large));
    expected.insert(expected.end(), large.begin(), large.end());
    EXPECT_EQ(file.position(), expected.size());

    const uint64_t end = file.position();
    ASSERT_TRUE(file.seek(28));
    EXPECT_EQ(file.position(), 28u);
    ASSERT_TRUE(file.write("PATCH", 5));
    std::copy_n("PATCH", 5, expected.begin() + 28);
    ASSERT_TRUE(file.seek(end));
    ASSERT_TRUE(file.write("tail", 4));
    expected.insert(expected.end(), {'t', 'a', 'i', 'l'});

    ASSERT_TRUE(file.flush_and_sync());
    ASSERT_TRUE(file.write("!", 1));  // still buffered: commit writes it out
    expected.push_back('!');
    EXPECT_EQ(file.commit(false), CommitResult::done);
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(test::read_file(out), expected);
    EXPECT_EQ(folder.names(), std::set<std::string>{"song.m4a"});
    file.discard();
    EXPECT_EQ(folder.names(), std::set<std::string>{"song.m4a"});
}

TEST_F(OutputFileTest, ExistingNameIsKeptWithoutReplace) {
    test::write_file(out, "keep me");
    OutputFile file;
    ASSERT_TRUE(file.create(out));
    ASSERT_TRUE(file.write("new", 3));
    EXPECT_EQ(file.commit(false), CommitResult::exists);
    EXPECT_TRUE(file.failed());
    EXPECT_EQ(test::read_text(out), "keep me");
    EXPECT_EQ(folder.names().size(), 2u);  // the temporary file waits for discard
    file.discard();
    EXPECT_EQ(folder.names(), std::set<std::string>{"song.m4a"});
}

TEST_F(OutputFileTest, ReplaceOverwritesTheExistingName) {
    test::write_file(out, "old");
    OutputFile file;
    ASSERT_TRUE(file.create(out));
    ASSERT_TRUE(file.write("new", 3));
    EXPECT_EQ(file.commit(true), CommitResult::done);
    EXPECT_EQ(test::read_text(out), "new");
    EXPECT_EQ(folder.names(), std::set<std::string>{"song.m4a"});
}

TEST_F(OutputFileTest, UncommittedFileIsRemoved) {
    {
        OutputFile file;
        ASSERT_TRUE(file.create(out));
        ASSERT_TRUE(file.write("x", 1));
        ASSERT_TRUE(file.flush_and_sync());
        EXPECT_EQ(folder.names().size(), 1u);
    }
    EXPECT_TRUE(folder.names().empty());

    OutputFile file;
    ASSERT_TRUE(file.create(out));
    file.discard();
    EXPECT_TRUE(folder.names().empty());
    EXPECT_FALSE(file.is_open());
    // The object can start over.
    ASSERT_TRUE(file.create(out));
    ASSERT_TRUE(file.write("again", 5));
    EXPECT_EQ(file.commit(false), CommitResult::done);
    EXPECT_EQ(test::read_text(out), "again");
}

TEST_F(OutputFileTest, MissingFolderAndUnopenedFile) {
    OutputFile file;
    EXPECT_FALSE(file.create(folder / "missing" / "song.m4a"));
    EXPECT_TRUE(file.failed());
    EXPECT_FALSE(file.is_open());
    EXPECT_FALSE(file.write("x", 1));
    EXPECT_TRUE(folder.names().empty());

    OutputFile never;
    EXPECT_FALSE(never.seek(0));
    EXPECT_FALSE(never.flush_and_sync());
    EXPECT_EQ(never.commit(true), CommitResult::failed);
}

TEST_F(OutputFileTest, FailedWriteSticks) {
    test::expect_with_file_size_limit(1 << 20, [&] {
        OutputFile file;
        if (!file.create(out)) return std::string("create failed");
        const std::vector<uint8_t> big = pattern(2 << 20, 1);
        std::string failures = check(!write(file, big), "write past the limit succeeded");
        failures += check(file.failed(), "not marked failed");
        failures += check(!file.write("x", 1), "later write succeeded");
        failures += check(!file.seek(0), "seek succeeded");
        failures += check(!file.flush_and_sync(), "sync succeeded");
        failures += check(file.commit(true) == CommitResult::failed, "commit did not fail");
        return failures;
    });
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(OutputFileTest, FailureFoundWhenTheBufferIsWritten) {
    test::expect_with_file_size_limit(1000, [&] {
        OutputFile file;
        if (!file.create(out)) return std::string("create failed");
        const std::vector<uint8_t> piece = pattern(4000, 2);
        std::string failures = check(write(file, piece), "buffered write failed");
        failures += check(!file.flush_and_sync(), "sync succeeded");
        failures += check(file.failed(), "not marked failed");
        return failures;
    });
    EXPECT_TRUE(folder.names().empty());
}

}  // namespace
}  // namespace qv::platform
