// Strange names and places: each works or gives a clear message, never a crash, a hang,
// or a file touched outside the application folder's three names.

#include "engine/upgrade.h"
#include "runtime/posix/posix_file_services.h"
#include "support/recording_dialogs.h"
#include "support/reliability_log.h"
#include "support/temp_folder.h"
#include "upgrade_fixture.h"

#include <climits>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::SwapOutcome;
using testsupport::kNewExe;
using testsupport::kOldExe;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// What a file looks like from outside: kind, bytes, permissions and time of change.
struct Look {
    fs::file_type type;
    std::string bytes;
    unsigned mode;
    long long mtime;
    bool operator==(const Look&) const = default;
};

// Every entry below `root`, except the application folder itself and the three names of the swap (and the
// copy's partial file) inside `app`.
std::map<std::string, Look> snapshot(const fs::path& root, const fs::path& app)
{
    std::map<std::string, Look> all;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& p = it->path();
        if (p == app)
            continue; // its own time of change moves with the names it holds
        if (p.parent_path() == app) {
            const std::string name = p.filename().string();
            if (name == "Orvalis.exe" || name == "Orvalis.old" || name == "Orvalis.ugx" ||
                name == engine::kPartName)
                continue;
        }
        struct stat st {};
        ::lstat(p.c_str(), &st);
        const auto type = it->symlink_status().type();
        all[p.string()] =
            Look{type, type == fs::file_type::regular ? readFile(p) : std::string(), st.st_mode & 07777u,
                 static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
    }
    return all;
}

struct SwapRun {
    SwapOutcome outcome;
    std::vector<std::string> messages;
};

SwapRun swap(const std::string& appFolder, const std::string& chosenFolder)
{
    runtime::PosixFileServices files;
    testsupport::RecordingDialogs dialogs;
    engine::BrowseState state;
    state.strAppFolder = appFolder;
    state.strBrowseFolder = state.strChosenFolder = chosenFolder;
    state.strChosenFile = engine::kUpgradeName;
    const SwapOutcome outcome = engine::SwapExecutable(state, files, dialogs);
    return {outcome, dialogs.messages};
}

// Lays out an application folder and a download folder with the given names under a
// fresh folder, with a bystander file beside each, and swaps.
struct Place {
    testsupport::TempFolder tmp;
    fs::path app;
    fs::path saved;

    Place(const std::string& appName, const std::string& savedName)
    {
        app = tmp.path() / appName;
        saved = tmp.path() / savedName;
        fs::create_directories(app);
        fs::create_directories(saved);
        writeFile(app / "Orvalis.exe", kOldExe);
        writeFile(app / "readme.txt", "stays");
        writeFile(saved / "Orvalis.ugx", kNewExe);
        writeFile(saved / "other.ugx", "stays too");
    }
};

} // namespace

TEST(StrangePlaces, FolderNamesOfEveryKindWork)
{
    const std::vector<std::pair<const char*, std::string>> names = {
        {"not UTF-8", "caf\xe9-\xff\xfe"},
        {"with a new line", "two\nlines"},
        {"with backslashes", "back\\slash\\"},
        {"with a leading dash", "-rf --help"},
        {"255 bytes", std::string(255, 'n')},
        {"blanks and quotes", "  'quoted' \"name\"  "},
        {"dots", "..."},
    };
    for (const auto& [what, name] : names) {
        SCOPED_TRACE(what);
        Place place("app/" + name, "saved/" + name);
        const auto before = snapshot(place.tmp.path(), place.app);
        const SwapRun run = swap(place.app.string() + "/", place.saved.string() + "/");
        EXPECT_EQ(run.outcome, SwapOutcome::Upgraded);
        EXPECT_EQ(run.messages, std::vector<std::string>{testsupport::kSuccess});
        EXPECT_EQ(readFile(place.app / "Orvalis.exe"), kNewExe);
        EXPECT_EQ(readFile(place.app / "Orvalis.old"), kOldExe);
        EXPECT_EQ(snapshot(place.tmp.path(), place.app), before)
            << "something outside the three names changed";

        testsupport::recordChecked("Strange names and places", std::string("folder names ") + what,
                                   "upgraded, nothing else touched");
    }
}

TEST(StrangePlaces, FoldersNestedToThePathLengthLimit)
{
    testsupport::TempFolder tmp;
    // Deep enough that "Orvalis.exe" still fits in PATH_MAX, then deeper than that.
    for (const std::size_t spare : {std::size_t{40}, std::size_t{4}}) {
        SCOPED_TRACE(spare);
        fs::path app = tmp.path() / std::to_string(spare);
        while (app.string().size() + 1 + 200 + 1 + std::string("Orvalis.old").size() + spare < PATH_MAX)
            app /= std::string(200, 'd');
        const std::size_t pad =
            PATH_MAX - spare - app.string().size() - 2 - std::string("Orvalis.old").size();
        app /= std::string(std::min<std::size_t>(pad, 255), 'p');
        fs::create_directories(app);
        writeFile(app / "Orvalis.exe", kOldExe);
        const fs::path saved = tmp.mkdir("saved");
        writeFile(saved / "Orvalis.ugx", kNewExe);
        const SwapRun run = swap(app.string() + "/", saved.string() + "/");
        if (run.outcome == SwapOutcome::Upgraded) {
            EXPECT_EQ(readFile(app / "Orvalis.exe"), kNewExe);
        } else {
            EXPECT_EQ(run.messages.back(), testsupport::kFailure);
            EXPECT_EQ(readFile(app / "Orvalis.exe"), kOldExe);
        }
        testsupport::recordChecked(
            "Strange names and places",
            "application folder path of " + std::to_string(app.string().size()) + " bytes",
            run.outcome == SwapOutcome::Upgraded ? "upgraded" : "failure message, Orvalis.exe intact");
    }
    // A path over the limit is refused with the failure message, not a crash.
    const std::string tooLong = tmp.text() + std::string(PATH_MAX, 'x') + "/";
    const SwapRun run = swap(tooLong, tmp.text());
    EXPECT_EQ(run.outcome, SwapOutcome::Failed);
    EXPECT_EQ(run.messages.back(), testsupport::kFailure);
}

TEST(StrangePlaces, AnApplicationFolderReachedThroughALink)
{
    Place place("real-app", "saved");
    fs::create_directory_symlink(place.app, place.tmp.path() / "linked-app");
    const SwapRun run = swap((place.tmp.path() / "linked-app").string() + "/", place.saved.string() + "/");
    EXPECT_EQ(run.outcome, SwapOutcome::Upgraded);
    EXPECT_EQ(readFile(place.app / "Orvalis.exe"), kNewExe);
    EXPECT_TRUE(fs::is_symlink(place.tmp.path() / "linked-app"));
    testsupport::recordChecked("Strange names and places",
                               "application folder reached through a symbolic link",
                               "upgraded in the real folder, the link kept");
}

TEST(StrangePlaces, AnExecutableThatIsALinkIsReplacedAndItsTargetLeftAlone)
{
    for (const bool noHardLinks : {false, true}) {
        Place place("app", "saved");
        const fs::path target = place.tmp.mkdir("elsewhere") / "Orvalis.exe";
        fs::rename(place.app / "Orvalis.exe", target);
        fs::create_symlink(target, place.app / "Orvalis.exe");
        const auto before = snapshot(place.tmp.path(), place.app);

        runtime::PosixFileServices files({true, !noHardLinks, !noHardLinks});
        testsupport::RecordingDialogs dialogs;
        engine::BrowseState state{place.app.string() + "/", place.saved.string() + "/", engine::kUpgradeName,
                                  place.saved.string() + "/"};
        EXPECT_EQ(engine::SwapExecutable(state, files, dialogs), SwapOutcome::Upgraded);
        EXPECT_FALSE(fs::is_symlink(place.app / "Orvalis.exe"));
        EXPECT_EQ(readFile(place.app / "Orvalis.exe"), kNewExe);
        EXPECT_TRUE(fs::is_symlink(place.app / "Orvalis.old")); // the link itself is kept
        EXPECT_EQ(readFile(target), kOldExe);
        EXPECT_EQ(snapshot(place.tmp.path(), place.app), before);
    }
    testsupport::recordChecked(
        "Strange names and places", "an Orvalis.exe that is a symbolic link (with and without hard links)",
        "replaced by the new file, the link kept as Orvalis.old, its target untouched", 2);
}

TEST(StrangePlaces, AnApplicationFolderOfAHundredThousandFiles)
{
    Place place("app", "saved");
    for (int i = 0; i < 5000; ++i)
        fs::create_directory(place.app / ("sub" + std::to_string(i)));
    for (int i = 0; i < 100000; ++i)
        writeFile(place.app / ("file" + std::to_string(i) + (i % 10000 == 0 ? ".ugx" : ".dat")), "");
    runtime::PosixFileServices files;
    EXPECT_EQ(files.listFolder(place.app.string() + "/").size(), 105000u + 2u);
    const SwapRun run = swap(place.app.string() + "/", place.saved.string() + "/");
    EXPECT_EQ(run.outcome, SwapOutcome::Upgraded);
    EXPECT_EQ(readFile(place.app / "Orvalis.exe"), kNewExe);
    testsupport::recordChecked("Strange names and places",
                               "application folder of 100,000 files and 5,000 subfolders",
                               "listed in full, upgraded");
}
