// The copy on its own, through the real services of the platform: every way of cutting a
// file into chunks and spreading them over threads gives the same bytes, and a failure
// anywhere leaves nothing behind.

#include "engine/copy_pipeline.h"
#include "runtime/failure.h"
#include "support/failure_number.h"
#include "support/faulty_file_services.h"
#include "support/platform_file_services.h"
#include "support/temp_folder.h"

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::failureNumber;
using testsupport::pathText;
using testsupport::TempFolder;

namespace {

engine::CopyOptions options(unsigned workers, std::size_t chunk)
{
    engine::CopyOptions o;
    o.workers = workers;
    o.chunkSize = chunk;
    o.reportEvery = std::chrono::milliseconds{1}; // reports while the threads are at work too
    o.flushEvery = 2 * chunk;                     // flushes while the copy goes on too
    return o;
}

} // namespace

TEST(CopyPipeline, CopiesEveryByteWhateverTheChunksAndThreads)
{
    const std::size_t chunk = 64u << 10;
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{4095}, chunk, 5 * chunk + 4097})
        for (const unsigned workers : {0u, 1u, 4u}) {
            SCOPED_TRACE(std::to_string(size) + " bytes, " + std::to_string(workers) + " threads");
            TempFolder tmp;
            testsupport::PlatformFileServices files;
            const std::string bytes = testsupport::patternedBytes(size);
            testsupport::writeFile(tmp.path() / "src", bytes);
            const std::string app = pathText(tmp.mkdir("app")) + runtime::kFolderSeparator;
            std::uint64_t last = 1;
            auto previous = std::make_pair(runtime::CopyStage::Copying, std::uint64_t{0});
            engine::CopyAndCheck(
                files, tmp.text() + "src", app + "out", app + ".part",
                [&](runtime::CopyStage stage, std::uint64_t done, std::uint64_t total) {
                    EXPECT_EQ(total, size);
                    EXPECT_LE(done, total);
                    EXPECT_GE(stage, previous.first) << "the stages in their order";
                    if (stage == previous.first) {
                        EXPECT_GE(done, previous.second) << "within a stage the count only grows";
                    }
                    previous = {stage, done};
                    last = stage == runtime::CopyStage::Checking ? done : 1;
                },
                options(workers, chunk));
            EXPECT_EQ(testsupport::readFile(tmp.path() / "app" / "out"), bytes);
            EXPECT_EQ(testsupport::listNames(tmp.path() / "app"), std::vector<std::string>{"out"});
            EXPECT_EQ(last, size) << "the last report is the check complete";
        }
}

TEST(CopyPipeline, ChunksAreNoLargerThanTheCopyTakesAtItsBest)
{
    TempFolder tmp;
    testsupport::PlatformFileServices real;
    testsupport::FaultyFileServices files(real);
    files.setPreferredTransfer(64u << 10);
    const std::string bytes = testsupport::patternedBytes((5u << 16) + 4097);
    testsupport::writeFile(tmp.path() / "src", bytes);
    const std::string app = pathText(tmp.mkdir("app")) + runtime::kFolderSeparator;
    engine::CopyAndCheck(files, tmp.text() + "src", app + "out", app + ".part", {}, options(4, 256u << 10));
    EXPECT_EQ(files.largestWrite(), 64u << 10);
    EXPECT_EQ(testsupport::readFile(tmp.path() / "app" / "out"), bytes);
}

TEST(CopyPipeline, WhateverStopsTheCopyLeavesNothingBehind)
{
    // A difference the check finds, in whichever thread; the caller's own exception from the
    // progress report while threads are at work.
    struct Case {
        const char* what;
        bool damagingDisk;
        bool sourceChanged;
        bool throwFromProgress;
    };
    const Case cases[] = {
        {"damaging disk", true, false, false},
        {"source changed unseen", false, true, false},
        {"progress report throws", false, false, true},
    };
    for (const Case& c : cases)
        for (const unsigned workers : {0u, 4u}) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(workers) + " threads");
            TempFolder tmp;
            testsupport::PlatformFileServices real;
            testsupport::FaultyFileServices files(real);
            files.setDamagingDisk(c.damagingDisk);
            files.setSourceChangedUnseen(c.sourceChanged);
            const std::string bytes = testsupport::patternedBytes(3u << 20);
            testsupport::writeFile(tmp.path() / "src", bytes);
            const std::string app = pathText(tmp.mkdir("app")) + runtime::kFolderSeparator;
            int reports = 0;
            const auto copy = [&] {
                engine::CopyAndCheck(
                    files, tmp.text() + "src", app + "out", app + ".part",
                    [&](runtime::CopyStage, std::uint64_t, std::uint64_t) {
                        if (c.throwFromProgress && ++reports == 2)
                            throw std::runtime_error("stopped");
                    },
                    options(workers, 64u << 10));
            };
            if (c.throwFromProgress) {
                EXPECT_THROW(copy(), std::runtime_error);
            } else {
                EXPECT_EQ(failureNumber(copy), 75);
            }
            EXPECT_TRUE(fs::is_empty(tmp.path() / "app"));
            EXPECT_EQ(testsupport::readFile(tmp.path() / "src"), bytes);
        }
}
