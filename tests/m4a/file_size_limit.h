#pragma once
// Runs test code in a child process whose files cannot grow past a limit, so
// that writes fail as they do on a full disk.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace qv::test {

// With SIGXFSZ ignored, a write past `limit` bytes fails with EFBIG. `body`
// returns an empty text on success, otherwise what went wrong (shown by the
// parent).
inline void expect_with_file_size_limit(rlim_t limit, const std::function<std::string()>& body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit lim{};
            getrlimit(RLIMIT_FSIZE, &lim);
            lim.rlim_cur = limit;
            setrlimit(RLIMIT_FSIZE, &lim);
            const std::string failure = body();
            std::fprintf(stderr, "%s", failure.c_str());
            std::exit(failure.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// "" when `ok`, else the description and a line end.
inline std::string check(bool ok, const std::string& what) {
    return ok ? std::string() : what + "\n";
}

}  // namespace qv::test
