// What every platform's file services promise, on real files: renames and links that never
// replace, copies that appear whole or not at all, one lock a folder, entries as they are.
// Built and run in both the Linux and the Windows build.

#include "engine/copy_pipeline.h"
#include "runtime/errors.h"
#include "runtime/failure.h"
#include "support/failure_number.h"
#include "support/platform_file_services.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <tuple>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using runtime::CopyStage;
using runtime::FolderEntry;
using testsupport::failureOf;
using testsupport::readFile;
using testsupport::tableFailure;
using testsupport::writeFile;
using Names = std::vector<std::string>;

namespace {

// Windows flushes while the copy is checked (the check reads the same bytes either way), so
// its Saving stage is only begun before Checking starts; elsewhere the flush ends first.
#ifdef _WIN32
constexpr bool kFlushesWhileChecking = true;
#else
constexpr bool kFlushesWhileChecking = false;
#endif

constexpr int kFileMask = 39; // read-only, hidden, system and archive: any file, no folder

bool writable(const fs::path& p)
{
    return (fs::status(p).permissions() & fs::perms::owner_write) != fs::perms::none;
}

struct FileServices : ::testing::Test {
    testsupport::TempFolder tmp;
    testsupport::PlatformFileServices files;
    const std::string folder = tmp.text();

    fs::path at(const std::string& name) const
    {
        return tmp.path() / fs::path(std::u8string(name.begin(), name.end()));
    }
    void readOnly(const std::string& name) const
    {
        fs::permissions(at(name), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    runtime::FileId idOf(const std::string& name)
    {
        const auto info = files.fileInfo(folder + name);
        EXPECT_TRUE(info.has_value()) << name;
        return info ? info->id : runtime::FileId{};
    }
    // Copies `from` to `to` (paths in the folder) with the real pipeline.
    void copy(const std::string& from, const std::string& to, const runtime::CopyProgress& progress = nullptr,
              const testsupport::PlatformFileServices::Options& options = {})
    {
        testsupport::PlatformFileServices variant(options);
        const std::string dst = folder + to; // the partial copy beside it
        engine::CopyAndCheck(variant, folder + from, dst,
                             dst.substr(0, dst.rfind(runtime::kFolderSeparator) + 1) + ".part", progress);
    }
};

} // namespace

TEST_F(FileServices, DirSearchFindsTheFileAtExactlyThePathNeverAFolder)
{
    const std::string hidden = testsupport::hiddenName("hidden");
    for (const std::string& name : {std::string("plain"), std::string("readonly"), hidden})
        writeFile(at(name), "x");
    readOnly("readonly");
    testsupport::hide(at(hidden));
    fs::create_directory(at("folder"));

    for (const std::string& name : {std::string("plain"), std::string("readonly"), hidden})
        EXPECT_EQ(files.dirSearch(folder + name, kFileMask), name);
    EXPECT_EQ(files.dirSearch(folder + "readonly", runtime::kAttrNormal), "readonly");
    EXPECT_EQ(files.dirSearch(folder + hidden, runtime::kAttrNormal), "") << "hidden only when asked";
    EXPECT_EQ(files.dirSearch(folder + "folder", kFileMask), "");
    EXPECT_EQ(files.dirSearch(folder + "folder", runtime::kAttrDirectory), "folder");
    for (const std::string& nothing :
         {folder + "missing", folder + "missing" + runtime::kFolderSeparator + "plain", folder})
        EXPECT_EQ(files.dirSearch(nothing, kFileMask), "") << nothing;
}

TEST_F(FileServices, RenameAndLinkNeverReplaceAndSayWhy)
{
    for (const auto& options : testsupport::allVariants()) {
        testsupport::PlatformFileServices variant(options);
        writeFile(at("Orvalis.exe"), "current");
        writeFile(at("Orvalis.old"), "older");
        EXPECT_EQ(failureOf([&] { variant.renameFile(folder + "Orvalis.exe", folder + "Orvalis.old"); }),
                  tableFailure(58));
        EXPECT_EQ(readFile(at("Orvalis.exe")), "current");
        EXPECT_EQ(readFile(at("Orvalis.old")), "older");
        EXPECT_EQ(failureOf([&] { variant.renameFile(folder + "Orvalis.ugx", folder + "Orvalis.new"); }),
                  tableFailure(53));
        EXPECT_EQ(failureOf([&] {
                      variant.renameFile(folder + "none" + runtime::kFolderSeparator + "Orvalis.ugx",
                                         folder + "Orvalis.new");
                  }),
                  tableFailure(76));
        variant.renameFile(folder + "Orvalis.old", folder + "Orvalis.older");
        EXPECT_EQ(testsupport::listNames(tmp.path()), (Names{"Orvalis.exe", "Orvalis.older"}));
        EXPECT_EQ(readFile(at("Orvalis.older")), "older");
        fs::remove(at("Orvalis.older"));
    }
    // A second name: the same file, never over a name that is taken.
    writeFile(at("Orvalis.ugx"), "upgrade");
    ASSERT_TRUE(files.linkFile(folder + "Orvalis.exe", folder + "Orvalis.old"));
    EXPECT_EQ(readFile(at("Orvalis.old")), "current");
    EXPECT_EQ(idOf("Orvalis.old"), idOf("Orvalis.exe"));
    EXPECT_EQ(failureOf([&] { files.linkFile(folder + "Orvalis.ugx", folder + "Orvalis.old"); }),
              tableFailure(58));
    EXPECT_EQ(readFile(at("Orvalis.old")), "current");
}

TEST_F(FileServices, ReplaceMovesOverAReadOnlyFileInOneStepAndExchangeTradesOrSaysItCannot)
{
    writeFile(at("Orvalis.exe"), "current");
    writeFile(at("Orvalis.ugx"), "upgrade");
    readOnly("Orvalis.exe");
    files.replaceFile(folder + "Orvalis.ugx", folder + "Orvalis.exe");
    EXPECT_EQ(testsupport::listNames(tmp.path()), Names{"Orvalis.exe"});
    EXPECT_EQ(readFile(at("Orvalis.exe")), "upgrade");
    EXPECT_EQ(failureOf([&] { files.replaceFile(folder + "Orvalis.ugx", folder + "Orvalis.exe"); }),
              tableFailure(53));
    EXPECT_EQ(readFile(at("Orvalis.exe")), "upgrade");

    writeFile(at("Orvalis.old"), "older");
    EXPECT_EQ(files.exchangeFiles(folder + "Orvalis.exe", folder + "Orvalis.old"),
              testsupport::tradesNames());
    EXPECT_EQ(readFile(at("Orvalis.exe")), testsupport::tradesNames() ? "older" : "upgrade");
    EXPECT_EQ(readFile(at("Orvalis.old")), testsupport::tradesNames() ? "upgrade" : "older");
}

TEST_F(FileServices, AttributesAreClearedAndFilesDeleted)
{
    writeFile(at("Orvalis.old"), "x");
    readOnly("Orvalis.old");
    files.setAttrNormal(folder + "Orvalis.old");
    EXPECT_TRUE(writable(at("Orvalis.old")));
    files.deleteFile(folder + "Orvalis.old");
    EXPECT_FALSE(fs::exists(at("Orvalis.old")));
    EXPECT_EQ(failureOf([&] { files.deleteFile(folder + "Orvalis.old"); }), tableFailure(53));
    EXPECT_EQ(
        failureOf([&] { files.deleteFile(folder + "none" + runtime::kFolderSeparator + "Orvalis.old"); }),
        tableFailure(76));
    EXPECT_EQ(failureOf([&] { files.setAttrNormal(folder + "Orvalis.old"); }), tableFailure(53));
}

TEST_F(FileServices, OnlyAFileItselfIsARegularFileAndEachFileHasOneIdentity)
{
    writeFile(at("file"), "x");
    fs::create_directory(at("folder"));
    EXPECT_TRUE(files.isRegularFile(folder + "file"));
    for (const char* name : {"folder", "missing", ""})
        EXPECT_FALSE(files.isRegularFile(folder + name)) << name;
    auto file = files.fileInfo(folder + "file");
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(file->regular);
    EXPECT_EQ(file->links, 1u);
    fs::create_hard_link(at("file"), at("second"));
    file = files.fileInfo(folder + "file");
    EXPECT_EQ(file->links, 2u);
    EXPECT_EQ(idOf("second"), file->id);
    const auto other = files.fileInfo(folder + "folder");
    ASSERT_TRUE(other.has_value());
    EXPECT_FALSE(other->regular);
    EXPECT_NE(other->id, file->id);
    EXPECT_EQ(files.fileInfo(folder + "missing"), std::nullopt);
}

TEST_F(FileServices, AFolderIsLockedOnceWhateverItsSpellingAndNothingIsWritten)
{
    const fs::path app = tmp.mkdir("App");
    auto lock = files.lockFolder(testsupport::pathText(app) + runtime::kFolderSeparator);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(files.lockFolder(testsupport::pathText(app)), nullptr); // no separator at the end
    EXPECT_NE(files.lockFolder(folder), nullptr);                     // another folder is free
    EXPECT_TRUE(testsupport::listNames(app).empty());
    lock.reset();
    EXPECT_NE(files.lockFolder(testsupport::pathText(app)), nullptr);
}

TEST_F(FileServices, ACopyAppearsWholeAsAPlainFileWithEachStageReportedInTurn)
{
    // More than one chunk of the copy loop, from a read-only source.
    const std::string bytes = testsupport::patternedBytes(20u << 20);
    for (const auto& options : testsupport::allVariants()) {
        fs::create_directory(at("saved"));
        writeFile(at("saved/Orvalis.ugx"), bytes);
        readOnly("saved/Orvalis.ugx");
        testsupport::hide(at("saved/Orvalis.ugx"));
        std::vector<std::tuple<CopyStage, std::uint64_t, std::uint64_t>> seen;
        engine::CopyOptions everyChunk;
        everyChunk.reportEvery = std::chrono::milliseconds{0};
        testsupport::PlatformFileServices variant(options);
        const std::string saved = testsupport::pathText(at("saved")) + runtime::kFolderSeparator;
        engine::CopyAndCheck(
            variant, saved + "Orvalis.ugx", folder + "Orvalis.ugx", folder + ".part",
            [&](CopyStage stage, std::uint64_t done, std::uint64_t total) {
                seen.emplace_back(stage, done, total);
            },
            everyChunk);
        EXPECT_EQ(readFile(at("Orvalis.ugx")), bytes);
        EXPECT_EQ(readFile(at("saved/Orvalis.ugx")), bytes);
        EXPECT_TRUE(writable(at("Orvalis.ugx"))) << "the copy is a plain file";
        for (const FolderEntry& e : files.listFolder(folder))
            EXPECT_FALSE(e.hidden) << e.name;
        EXPECT_EQ(testsupport::listNames(tmp.path()), (Names{"Orvalis.ugx", "saved"}));
        // Each stage in turn from 0 up to the whole size, never going back, in several steps.
        std::map<CopyStage, int> reports;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const auto [stage, done, total] = seen[i];
            EXPECT_EQ(total, bytes.size());
            ++reports[stage];
            if (i == 0 || std::get<0>(seen[i - 1]) != stage) {
                EXPECT_EQ(done, 0u);
                EXPECT_TRUE(i == 0 || std::get<0>(seen[i - 1]) < stage);
                const bool onlyBegun =
                    i > 0 && kFlushesWhileChecking && std::get<0>(seen[i - 1]) == CopyStage::Saving;
                EXPECT_TRUE(i == 0 || std::get<1>(seen[i - 1]) == (onlyBegun ? 0u : bytes.size()));
            } else {
                EXPECT_LE(std::get<1>(seen[i - 1]), done);
            }
        }
        EXPECT_GE(reports[CopyStage::Copying], 3);
        EXPECT_GE(reports[CopyStage::Saving], kFlushesWhileChecking ? 1 : 2);
        EXPECT_GE(reports[CopyStage::Checking], 2);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), std::make_tuple(CopyStage::Checking, bytes.size(), bytes.size()));
        fs::permissions(at("saved/Orvalis.ugx"), fs::perms::owner_write, fs::perm_options::add);
        fs::remove_all(at("saved"));
        fs::remove(at("Orvalis.ugx"));
    }
}

TEST_F(FileServices, AFailedCopyLeavesNothingBehindAndNoFileOfAnotherRun)
{
    writeFile(at("src"), testsupport::patternedBytes(1 << 20));
    writeFile(at("dst"), "existing");
    fs::create_directory(at("folder"));
    const std::string nowhere = std::string("none") + runtime::kFolderSeparator + "out";
    for (const auto& options : testsupport::allVariants()) {
        EXPECT_EQ(failureOf([&] { copy("src", "dst", nullptr, options); }), tableFailure(58));
        EXPECT_EQ(readFile(at("dst")), "existing");
        EXPECT_EQ(failureOf([&] { copy("missing", "out", nullptr, options); }), tableFailure(53));
        EXPECT_EQ(failureOf([&] { copy("folder", "out", nullptr, options); }), tableFailure(75));
        EXPECT_EQ(failureOf([&] { copy("src", nowhere, nullptr, options); }).first, 76);
        // A progress report that throws stops the copy; the exception comes out unchanged.
        EXPECT_THROW(copy(
                         "src", "out",
                         [](CopyStage, std::uint64_t done, std::uint64_t) {
                             if (done > 0)
                                 throw std::runtime_error("stopped");
                         },
                         options),
                     std::runtime_error);
        EXPECT_EQ(testsupport::listNames(tmp.path()), (Names{"dst", "folder", "src"}));
        // A partial copy another run left behind is not this copy's to remove or fill.
        writeFile(at(".part"), "left over");
        const auto result = failureOf([&] { copy("src", "out", nullptr, options); });
        EXPECT_TRUE(result == tableFailure(58) || result.first == 0) << result.first;
        EXPECT_EQ(readFile(at(".part")), "left over");
        fs::remove(at(".part"));
        fs::remove(at("out"));
    }
}

TEST_F(FileServices, ASourceChangedDuringTheCopyIsNotInstalled)
{
    // Changed after the check compared it: its size, its last write time or, where the writer
    // puts that back, the time of its last change tells.
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> changes = {
        {"touched",
         [](const fs::path& p) {
             fs::last_write_time(p, fs::last_write_time(p) + std::chrono::hours(1));
         }},
        {"grown",
         [](const fs::path& p) {
             std::ofstream(p, std::ios::binary | std::ios::app) << "more";
         }},
        {"rewritten, its last write time put back",
         [](const fs::path& p) {
             const auto written = fs::last_write_time(p);
             std::fstream(p, std::ios::binary | std::ios::in | std::ios::out) << "rewritten";
             fs::last_write_time(p, written);
         }},
    };
    for (const auto& options : testsupport::allVariants())
        for (const auto& [what, change] : changes) {
            SCOPED_TRACE(what);
            writeFile(at("src"), testsupport::patternedBytes(1 << 20));
            // On a whole second, which every file time can hold, so that putting it back is exact.
            fs::last_write_time(at("src"),
                                std::chrono::floor<std::chrono::seconds>(fs::last_write_time(at("src"))));
            bool changed = false;
            EXPECT_EQ(failureOf([&] {
                          copy(
                              "src", "out",
                              [&, change = change](CopyStage stage, std::uint64_t done, std::uint64_t total) {
                                  if (stage == CopyStage::Checking && done == total && !changed) {
                                      changed = true;
                                      change(at("src"));
                                  }
                              },
                              options);
                      }),
                      tableFailure(75));
            EXPECT_TRUE(changed);
            EXPECT_EQ(testsupport::listNames(tmp.path()), Names{"src"});
        }
}

TEST_F(FileServices, MatchPermissionsCarriesReadOnlyToTheFileCheckedAndNoOther)
{
    writeFile(at("Orvalis.old"), "old");
    writeFile(at("Orvalis.ugx"), "new");
    readOnly("Orvalis.old");
    const runtime::FileId id = idOf("Orvalis.ugx");
    const unsigned notKept = files.matchPermissions(folder + "Orvalis.old", folder + "Orvalis.ugx", id);
    EXPECT_EQ(notKept & ~unsigned{runtime::kNotKeptOwner}, 0u);
    EXPECT_FALSE(writable(at("Orvalis.ugx")));
    fs::permissions(at("Orvalis.old"), fs::perms::owner_write, fs::perm_options::add);
    files.matchPermissions(folder + "Orvalis.old", folder + "Orvalis.ugx", id);
    EXPECT_TRUE(writable(at("Orvalis.ugx")));
    EXPECT_EQ(failureOf([&] { files.matchPermissions(folder + "none", folder + "Orvalis.ugx", id); }),
              tableFailure(53));
    // Refused, changing nothing, for a second name of the file (it has a name elsewhere) and
    // for another file put under the name since.
    readOnly("Orvalis.old");
    fs::create_hard_link(at("Orvalis.ugx"), at("Linked"));
    EXPECT_EQ(failureOf([&] { files.matchPermissions(folder + "Orvalis.old", folder + "Linked", id); }),
              tableFailure(75));
    fs::remove(at("Linked"));
    fs::remove(at("Orvalis.ugx"));
    writeFile(at("Orvalis.ugx"), "another");
    EXPECT_EQ(failureOf([&] { files.matchPermissions(folder + "Orvalis.old", folder + "Orvalis.ugx", id); }),
              tableFailure(75));
    EXPECT_TRUE(writable(at("Orvalis.ugx")));
}

TEST_F(FileServices, AFolderListsItsFoldersAndFilesWithTheirHiddenFlagAndIsFlushed)
{
    const std::string secret = testsupport::hiddenName("secret"),
                      hidden = testsupport::hiddenName("hidden.ugx");
    fs::create_directory(at("sub"));
    fs::create_directory(at(secret));
    writeFile(at("Orvalis.ugx"), "x");
    writeFile(at(hidden), "x");
    testsupport::hide(at(secret));
    testsupport::hide(at(hidden));
    Names want = {"dir " + secret + " hidden", "dir sub", "file " + hidden + " hidden", "file Orvalis.ugx"};
    std::sort(want.begin(), want.end());
    for (const std::string& asked : {folder, testsupport::pathText(tmp.path())}) {
        Names got;
        for (const FolderEntry& e : files.listFolder(asked))
            got.push_back((e.folder ? "dir " : "file ") + e.name + (e.hidden ? " hidden" : ""));
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, want) << asked;
        EXPECT_NO_THROW(files.flushFolder(asked));
    }
    EXPECT_TRUE(files.listFolder(folder + "sub").empty());
    EXPECT_EQ(failureOf([&] { files.listFolder(folder + "missing"); }), tableFailure(76));
    EXPECT_NE(failureOf([&] { files.flushFolder(folder + "missing" + runtime::kFolderSeparator); }).first, 0);
}

TEST_F(FileServices, UnicodeNamesTravelAsUtf8)
{
    const std::string name = "\xce\xa9rvalis \xc3\xa9t\xc3\xa9.ugx"; // "Ωrvalis été.ugx"
    writeFile(at("plain"), "bytes");
    copy("plain", name);
    EXPECT_EQ(readFile(at(name)), "bytes");
    EXPECT_EQ(files.dirSearch(folder + name, kFileMask), name);
    EXPECT_EQ(testsupport::listNames(tmp.path()), (Names{"plain", name}));
    const auto entries = files.listFolder(folder);
    EXPECT_TRUE(
        std::any_of(entries.begin(), entries.end(), [&](const FolderEntry& e) { return e.name == name; }));
}
