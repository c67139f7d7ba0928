// The benchmark programs themselves, run small: they must measure what they claim, check
// the outcome, and leave nothing behind on the disk.

#include "support/temp_folder.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status{-1};
    std::string out;
};

Result run(const std::string& command)
{
    Result result;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        result.out += buffer.data();
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool startsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

TEST(Benchmarks, SwapMeasuresBothRowsAndLeavesNothingBehind)
{
    testsupport::TempFolder dir;
    const Result r = run(std::string(BENCH_SWAP) + " --dir " + dir.path().string() +
                         " --size-mib 2 --repeats 2 --warm-up 1");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto second = r.out.find('\n') + 1;
    EXPECT_TRUE(startsWith(r.out, "| Swap, 2 MiB upgrade file from another folder | ")) << r.out;
    EXPECT_TRUE(startsWith(r.out.substr(second), "| Swap, 2 MiB upgrade file already in the folder | "))
        << r.out;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Benchmarks, FolderRowOpensTheFolderInTheWindow)
{
    testsupport::TempFolder dir;
    const Result r =
        run("QT_QPA_PLATFORM=offscreen " + std::string(BENCH_FOLDER) + " --dir " + dir.path().string() +
            " --files 40 --matching 3 --folders 6 --repeats 2 --warm-up 1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(startsWith(r.out, "| Open a folder of 40 files (3 \"*.ugx\") and 6 subfolders | ")) << r.out;
}

TEST(Benchmarks, ProgramRowUpgradesThroughTheWindowAndLeavesNothingBehind)
{
    testsupport::TempFolder dir;
    const Result r = run("QT_QPA_PLATFORM=offscreen " + std::string(BENCH_PROGRAM) + " --dir " +
                         dir.path().string() + " --size-mib 2 --repeats 2 --warm-up 1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(startsWith(r.out, "| Program: OK clicked to \"Upgrade successful.\" shown, 2 MiB from "
                                  "another folder | "))
        << r.out;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Benchmarks, WithoutAFolderToWorkInNothingRuns)
{
    EXPECT_EQ(run(BENCH_SWAP).status, 2);
    EXPECT_EQ(run(BENCH_FOLDER).status, 2);
    EXPECT_EQ(run(BENCH_START).status, 2);
    EXPECT_EQ(run(BENCH_PROGRAM).status, 2);
}
