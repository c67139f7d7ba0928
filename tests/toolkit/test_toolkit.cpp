// The toolkit layer's own rules, in plain C++ and the same on every platform: what the lists
// show, how the list states read and raise their events, which label names a control, and
// what the copy's progress shows when.

#include "runtime/failure.h"
#include "support/faulty_file_services.h"
#include "support/platform_file_services.h"
#include "support/temp_folder.h"
#include "toolkit/copy_progress.h"
#include "toolkit/drive_list_state.h"
#include "toolkit/file_list_state.h"
#include "toolkit/folder_list_state.h"
#include "toolkit/label_names.h"
#include "toolkit/list_contents.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <tuple>

#include <gtest/gtest.h>

using testsupport::Op;

namespace {

TEST(ListContents, PatternsIgnoreLetterCaseAndNamesSortWithoutIt)
{
    const std::tuple<const char*, const char*, bool> patterns[] = {
        {"Orvalis.ugx", "*.ugx", true},  {"ORVALIS.UGX", "*.ugx", true},
        {".ugx", "*.ugx", true},         {"a.b.ugx", "*.ugx", true},
        {"x.ugx", "?.UGX", true},        {"", "*", true},
        {"\xff.ugx", "*.ugx", true},     {"Orvalis.ugx.bak", "*.ugx", false},
        {"Orvalis_ugx", "*.ugx", false}, {"ugx", "*.ugx", false},
        {"xy.ugx", "?.ugx", false},      {"\xff.ugx", "\xdf.ugx", false}}; // only ASCII letters fold
    for (const auto& [name, pattern, matches] : patterns)
        EXPECT_EQ(runtime::MatchesPattern(name, pattern), matches) << name << " ~ " << pattern;

    std::vector<std::string> names{"beta", "Alpha", "alpha", "Gamma", "b"};
    std::sort(names.begin(), names.end(), runtime::NameLess);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "alpha", "b", "beta", "Gamma"}));
    // Both lists sort in that order, also for bytes above 0x7f, prefixes and case twins;
    // files and hidden entries stay out of the folder list, folders and hidden ones out of
    // the file list.
    std::vector<std::string> many{"b_", "B", "a\xe9", "A\x7f", "[x", "Zz", "zZ", "a", "", "ab", "AB", "\xff"};
    std::vector<runtime::FolderEntry> files, folders;
    for (const auto& name : many) {
        files.push_back({name, false, false});
        folders.push_back({name, true, false});
    }
    files.push_back({"hidden", false, true});
    files.push_back({"folder", true, false});
    folders.push_back({"hidden", true, true});
    folders.push_back({"file", false, false});
    std::sort(many.begin(), many.end(), runtime::NameLess);
    EXPECT_EQ(runtime::FileNames(files, "*"), many);
    const auto rows = runtime::FolderRows(std::string(1, runtime::kFolderSeparator), folders);
    std::vector<std::string> labels;
    for (std::size_t i = 1; i < rows.size(); ++i)
        labels.push_back(rows[i].label);
    EXPECT_EQ(labels, many);
}

TEST(ListContents, RowsTellReadersTheirPlaceInTheTreeAndTypedLettersMoveOn)
{
    const auto rows = runtime::FolderRows(std::string(1, runtime::kFolderSeparator) + "home" +
                                              runtime::kFolderSeparator + "user",
                                          {{"docs", true, false}});
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(runtime::FolderRowDescription(rows[0]), "open, level 1");
    EXPECT_EQ(runtime::FolderRowDescription(rows[2]), "open, level 3");
    EXPECT_EQ(runtime::FolderRowDescription(rows[3]), "closed, level 4");

    // "tmp", "Tools", "x", "tar": each t moves on from the caret, round the end, however fast.
    const std::vector<std::string> names{"tmp", "Tools", "x", "tar"};
    const auto next = [&](int caret, char letter) {
        return runtime::NextStartingWith(caret, static_cast<int>(names.size()), [&](int row) {
            return (names[static_cast<std::size_t>(row)][0] | 0x20) == letter;
        });
    };
    EXPECT_EQ(next(-1, 't'), 0);
    EXPECT_EQ(next(0, 't'), 1);
    EXPECT_EQ(next(1, 't'), 3);
    EXPECT_EQ(next(3, 't'), 0);
    EXPECT_EQ(next(2, 'x'), 2); // the only one: stays
    EXPECT_EQ(next(9, 't'), 0); // a caret out of range counts as none
    EXPECT_EQ(next(0, 'q'), -1);
    EXPECT_EQ(runtime::NextStartingWith(-1, 0, [](int) { return true; }), -1);
}

struct Folders {
    testsupport::TempFolder tmp;
    testsupport::PlatformFileServices real;
    testsupport::FaultyFileServices files{real};
    runtime::Actions actions{files};
    std::string text(const std::filesystem::path& path) const { return testsupport::pathText(path); }
};

TEST(ListStates, TheFileListReadsOncePerActionAndKeepsWhatItShowsWhenAReadFails)
{
    Folders f;
    for (const char* name : {"b.ugx", "A.UGX", "c.txt", ".dot.ugx"})
        testsupport::writeFile(f.tmp.path() / name, "");
    f.tmp.mkdir("folder.ugx");
    const auto other = f.tmp.mkdir("other");
    std::vector<std::string> shown;
    int shows = 0;
    runtime::FileListState list(f.actions, [&](std::vector<std::string> names) {
        shown = std::move(names);
        ++shows;
    });
    std::vector<std::pair<std::string, int>> failures;
    bool inAction = false;
    list.readFailed.bind([&](const std::string& path, const runtime::Failure& failure) {
        failures.emplace_back(path, failure.number());
        // Delivered as an action of its own: folders read here are shared.
        inAction = f.actions.listFolder(f.tmp.text()) == f.actions.listFolder(f.tmp.text());
    });
    list.refresh();
    EXPECT_EQ(shows, 0); // nothing is read before a path is set
    list.setPath(f.tmp.text());
    EXPECT_EQ(list.path(), runtime::TrimSeparator(f.tmp.text()));
    list.setPattern("*.ugx");
    EXPECT_EQ(shown, (std::vector<std::string>{"A.UGX", "b.ugx"}));

    // Within one action the list reads its folder once, at the end, whatever it was told.
    const int reads = f.files.calls(Op::ListFolder);
    {
        runtime::Actions::Scope action(f.actions);
        list.refresh();
        list.setPath(f.text(other));
        list.setPath(f.tmp.text());
        list.setPattern("*");
        EXPECT_EQ(f.files.calls(Op::ListFolder), reads);
    }
    EXPECT_EQ(f.files.calls(Op::ListFolder), reads + 1);
    EXPECT_EQ(shown, (std::vector<std::string>{"A.UGX", "b.ugx", "c.txt"}));

    f.files.failOnPath(Op::ListFolder, f.text(other), 70);
    list.setPath(f.text(other));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], (std::pair<std::string, int>{f.text(other), 70}));
    EXPECT_TRUE(inAction);
    EXPECT_EQ(list.path(), runtime::TrimSeparator(f.tmp.text()));
    EXPECT_EQ(list.shownPath(), runtime::TrimSeparator(f.tmp.text()));
    EXPECT_EQ(list.pattern(), "*");
}

TEST(ListStates, TheFolderListShowsTheTreeAndOpensARowAsOneAction)
{
    Folders f;
    for (const char* name : {"zeta", "Beta", "alpha", ".dot"})
        f.tmp.mkdir(std::string("top/") + name);
    testsupport::writeFile(f.tmp.path() / "top" / "file", "");
    const std::string top = f.text(f.tmp.path() / "top");
    std::vector<runtime::FolderRow> rows;
    int current = -1;
    runtime::FolderListState list(f.actions, [&](const auto& shown, int at) {
        rows = shown;
        current = at;
    });
    int changes = 0;
    std::string seen;
    list.change.bind([&] {
        ++changes;
        seen = list.path();
    });
    std::vector<std::pair<std::string, int>> failures;
    list.openFailed.bind([&](const std::string& path, const runtime::Failure& failure) {
        failures.emplace_back(path, failure.number());
    });

    list.setPath(top + runtime::kFolderSeparator);
    EXPECT_EQ(list.path(), top);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(seen, top); // raised once the new path can be read back
    ASSERT_GE(rows.size(), 5u);
    const auto depth = rows.size() - 3; // the tree down to "top", then its three visible subfolders
    EXPECT_EQ(current, static_cast<int>(depth) - 1);
    EXPECT_EQ(rows[depth - 1].path, top);
    EXPECT_TRUE(rows[depth - 1].open);
    std::vector<std::string> subfolders;
    for (std::size_t i = depth; i < rows.size(); ++i) {
        subfolders.push_back(rows[i].label);
        EXPECT_EQ(rows[i].level, static_cast<int>(depth));
        EXPECT_FALSE(rows[i].open);
    }
    EXPECT_EQ(subfolders, (std::vector<std::string>{"alpha", "Beta", "zeta"}));
    list.setPath(top);
    EXPECT_EQ(changes, 1); // the same folder raises nothing

    // Opening a row is one action: its read is shared with what the change handler does.
    const int reads = f.files.calls(Op::ListFolder);
    list.change.bind([&] { f.actions.listFolder(list.path()); });
    list.open(static_cast<int>(depth));
    EXPECT_EQ(list.path(), f.text(f.tmp.path() / "top" / "alpha"));
    EXPECT_EQ(f.files.calls(Op::ListFolder), reads + 1);

    // A folder that cannot be read: open says so, stays, and lists its folder again, so the
    // dead row goes and the current folder is the current row; setPath fails and stays.
    list.setPath(top);
    std::filesystem::remove_all(f.tmp.path() / "top" / "alpha");
    list.open(static_cast<int>(depth));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].first, f.text(f.tmp.path() / "top" / "alpha"));
    EXPECT_EQ(list.path(), top);
    ASSERT_EQ(rows.size(), depth + 2);
    EXPECT_EQ(rows[depth].label, "Beta");
    EXPECT_EQ(current, static_cast<int>(depth) - 1);
    // When the folder itself has gone too, the list stays as it was.
    std::filesystem::rename(f.tmp.path() / "top", f.tmp.path() / "moved");
    list.open(static_cast<int>(depth));
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_EQ(list.path(), top);
    EXPECT_EQ(rows.size(), depth + 2);
    std::filesystem::rename(f.tmp.path() / "moved", f.tmp.path() / "top");
    EXPECT_THROW(list.setPath(top + runtime::kFolderSeparator + "missing"), runtime::Failure);
    EXPECT_EQ(list.path(), top);
    list.open(-1); // no row: nothing happens
    EXPECT_EQ(failures.size(), 2u);
}

TEST(ListStates, TheDriveListStartsOnTheStartDriveAndRaisesOnlyRealChanges)
{
    Folders f;
#ifdef _WIN32
    const runtime::Drive card{"Q:", "Q:\\"};
#else
    const runtime::Drive card{"/media/card", "/media/card/"};
#endif
    f.files.addUnreadyDrive(card);
    int shows = 0;
    runtime::DriveListState list(f.actions, [&] { ++shows; });
    int changes = 0;
    list.change.bind([&] { ++changes; });
    const runtime::Drive started = f.real.driveOf(testsupport::pathText(std::filesystem::current_path()));
    EXPECT_EQ(list.currentDrive(), started);
    EXPECT_EQ(list.drives().front(), f.real.drives().front());

    list.setDrive(started.root);
    EXPECT_EQ(changes, 0);
    list.setDrive(card.root + "DCIM");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.currentDrive(), card);
    const runtime::Drive here = f.real.driveOf(f.tmp.text());
    list.setDrive(f.tmp.text() + "some" + runtime::kFolderSeparator + "deeper");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(list.currentDrive(), here);
    list.choose(static_cast<int>(list.drives().size()) - 1); // the card, listed last
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(list.currentDrive(), card);
    list.choose(99); // no such row
    EXPECT_EQ(list.currentDrive(), card);

    // Reading again keeps the current drive listed even when it has gone, and a failure
    // keeps what was read last; neither raises a change.
    const int count = static_cast<int>(list.drives().size());
    f.files.failOn(Op::Drives, f.files.calls(Op::Drives) + 1, 71);
    list.reread();
    EXPECT_EQ(static_cast<int>(list.drives().size()), count);
    EXPECT_EQ(list.currentDrive(), card);
    EXPECT_EQ(changes, 3);
    EXPECT_GT(shows, 0);
    f.files.failOn(Op::DriveOf, f.files.calls(Op::DriveOf) + 1, 71);
    EXPECT_THROW(list.setDrive(f.tmp.text()), runtime::Failure);
    EXPECT_EQ(list.currentDrive(), card);
}

TEST(LabelNames, AVisibleLabelRightAboveNamesAListOrTextBoxAndAPanelItsFirstVisibleLabel)
{
    using runtime::ControlKind;
    runtime::FormDefinition form;
    const auto add = [&](ControlKind kind, const char* name, runtime::Twips at,
                         const char* container = nullptr, bool visible = true) {
        runtime::ControlDefinition control;
        control.kind = kind;
        control.name = name;
        control.geometry = at;
        control.container = container;
        control.visible = visible;
        form.controls.push_back(control);
    };
    add(ControlKind::Label, "far", {0, 0, 300, 100});
    add(ControlKind::Label, "near", {0, 150, 300, 100});
    add(ControlKind::Label, "beside", {400, 300, 300, 100});
    add(ControlKind::Label, "hidden", {0, 260, 300, 30}, nullptr, false);
    add(ControlKind::FileList, "list", {0, 300, 300, 300});
    add(ControlKind::TextBox, "box", {400, 700, 300, 100});
    add(ControlKind::Panel, "panel", {0, 700, 300, 300});
    add(ControlKind::Label, "panelHidden", {10, 10, 100, 100}, "panel", false);
    add(ControlKind::Label, "panelShown", {10, 200, 100, 100}, "panel");
    add(ControlKind::PushButton, "button", {400, 0, 100, 100});
    const auto named = [&](const char* control) {
        for (const auto& c : form.controls) {
            if (std::string(c.name) == control) {
                const auto* label = runtime::NamingLabel(form, c);
                return label != nullptr ? std::string(label->name) : std::string("(none)");
            }
        }
        return std::string("(no control)");
    };
    EXPECT_EQ(named("list"), "near");        // the nearest above, not the hidden one, not beside it
    EXPECT_EQ(named("box"), "beside");       // a text box too
    EXPECT_EQ(named("panel"), "panelShown"); // its first visible label
    EXPECT_EQ(named("button"), "(none)");    // a button has a caption of its own
}

TEST(CopyProgress, ShowsAfterTheDelayOneBarThroughTheStagesAndRedrawsSparingly)
{
    using Policy = runtime::CopyProgressPolicy;
    using runtime::CopyStage;
    const auto t0 = Policy::Clock::now();
    const auto at = [&](int ms) {
        return t0 + std::chrono::milliseconds(ms);
    };
    Policy policy;
    EXPECT_FALSE(policy.report(CopyStage::Copying, 0, 1000, at(0)));
    EXPECT_FALSE(policy.report(CopyStage::Copying, 900, 1000, at(499)));
    EXPECT_FALSE(policy.showing());
    auto view = policy.report(CopyStage::Copying, 250, 1000, at(500));
    ASSERT_TRUE(view);
    EXPECT_TRUE(policy.showing());
    EXPECT_STREQ(view->text, "Copying the upgrade file...");
    EXPECT_EQ(view->bar, 83);
    EXPECT_FALSE(policy.report(CopyStage::Copying, 300, 1000, at(520))); // drawn a moment ago
    view = policy.report(CopyStage::Copying, 1000, 1000, at(521));       // the stage's end always shows
    ASSERT_TRUE(view);
    EXPECT_EQ(view->bar, 333);
    view = policy.report(CopyStage::Saving, 0, 0, at(522)); // a new stage always shows
    ASSERT_TRUE(view);
    EXPECT_STREQ(view->text, "Saving the upgrade file...");
    EXPECT_EQ(view->bar, 666); // a stage of nothing is done at once
    view = policy.report(CopyStage::Checking, 2000, 1000, at(600));
    ASSERT_TRUE(view);
    EXPECT_STREQ(view->text, "Checking the copy...");
    EXPECT_EQ(view->bar, Policy::kBarEnd); // never past the end

    // The next copy starts afresh: half a second again before anything shows.
    policy.ended();
    EXPECT_FALSE(policy.showing());
    EXPECT_FALSE(policy.report(CopyStage::Copying, 0, 1000, at(700)));
    EXPECT_TRUE(policy.report(CopyStage::Copying, 10, 1000, at(1200)));
}

} // namespace
