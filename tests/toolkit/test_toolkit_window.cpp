// The promises every toolkit keeps for the real window frmFile: its layout at the definition's
// geometry in both states, its tab order and keys, clicks on rows, what screen readers read and
// the loop's end; and for its message boxes. Each build runs them on its own toolkit through its
// WindowDriver; what the window does is tested once, on the toolkit stand-in (tests/window).

#include "support/window_driver.h"
#include "window/frm_file_definition.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testsupport::Key;
using testsupport::Role;
using Names = std::vector<std::string>;

class ToolkitWindow : public ::testing::Test {
protected:
    void SetUp() override { d->start(); }

    /// Chooses the file shown as `name` in the file list with a click.
    void clickFile(const std::string& name)
    {
        const int row = d->rowOf("FileList1", name);
        ASSERT_GE(row, 0) << name;
        d->clickRow("FileList1", row);
    }

    void openDownloads() { d->doubleClickRow("Dir1", d->rowOf("Dir1", "downloads")); }

    Names tabRound(bool backwards, int steps)
    {
        Names visited;
        for (int step = 0; step < steps; ++step) {
            d->press(backwards ? Key::BackTab : Key::Tab);
            visited.push_back(d->focused());
        }
        return visited;
    }

    void checkEveryControl(bool chosen);

    std::unique_ptr<testsupport::WindowDriver> d = testsupport::makeWindowDriver();
};

std::string shown(const std::string& caption)
{
    std::string text;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption.compare(i, 2, "\r\n") != 0)
            text += caption[i];
    }
    return text; // "\r\n" shows as "\n"
}

// Each control as the definition makes it: in its container, where it puts it (twips divided by
// 15), in its font, showing the caption the window gave it, and shown as the definition says,
// the panel's controls once a file is chosen. A label that fits its caption keeps its corner;
// its size comes from its font, whose letters the system may draw a pixel wider.
void ToolkitWindow::checkEveryControl(bool chosen)
{
    const auto& definition = frmFileDefinition();
    EXPECT_EQ(d->title(), d->window->form().caption());
    EXPECT_EQ(d->client(),
              (testsupport::Box{0, 0, definition.clientWidth / 15, definition.clientHeight / 15}));
    EXPECT_TRUE(d->fixedFrame());
    for (const auto& c : definition.controls) {
        ASSERT_EQ(d->containerOf(c.name), c.container != nullptr ? c.container : "") << c.name;
        const testsupport::Box box = d->box(c.name);
        const auto& t = c.geometry;
        EXPECT_EQ(box.left, t.left / 15) << c.name;
        EXPECT_EQ(box.top, t.top / 15) << c.name;
        const int letters = static_cast<int>(std::string(c.caption).size());
        EXPECT_NEAR(box.width, t.width / 15, c.autoSize ? std::max(10, letters) : 0) << c.name;
        EXPECT_NEAR(box.height, t.height / 15, c.autoSize ? 3 : 0) << c.name;
        const bool inPanel = c.kind == runtime::ControlKind::Panel || c.container != nullptr;
        EXPECT_EQ(d->visible(c.name), inPanel ? chosen && (c.container == nullptr || c.visible) : c.visible)
            << c.name;

        if (c.kind == runtime::ControlKind::Panel)
            continue; // it draws no text
        const runtime::Font& font = c.font.face != nullptr ? c.font : definition.font;
        const testsupport::FontSeen seen = d->font(c.name);
        EXPECT_EQ(seen.face, font.face) << c.name;
        EXPECT_DOUBLE_EQ(seen.points, font.points) << c.name;
        EXPECT_EQ(seen.weight, font.weight) << c.name;
        EXPECT_FALSE(seen.italicOrUnderlined) << c.name;

        using runtime::ControlKind;
        if (c.kind == ControlKind::Label) {
            EXPECT_EQ(d->text(c.name), shown(d->window->form().label(c.name).caption())) << c.name;
        } else if (c.kind == ControlKind::PushButton || c.kind == ControlKind::CheckBox ||
                   c.kind == ControlKind::TextBox) {
            EXPECT_EQ(d->text(c.name), shown(c.caption)) << c.name;
        }
    }
}

TEST_F(ToolkitWindow, LaysOutTheDefinitionInBothStatesAndCutsALongNameOff)
{
    checkEveryControl(false);
    // A long name is cut off: the label keeps its size and nothing moves.
    const std::string name = std::string(80, 'x') + ".ugx"; // below "older.UGX"
    testsupport::writeFile(d->app / name, "");
    d->clickRow("Dir1", d->selectedRow("Dir1")); // reads the folder again
    clickFile(name);
    EXPECT_EQ(d->title(), "Open... " + name); // the file clicked
    checkEveryControl(true);
}

TEST_F(ToolkitWindow, PanelButtonsLieOnTopOfTheListsTheyCover)
{
    openDownloads();
    clickFile("Orvalis.ugx");
    ASSERT_TRUE(d->visible("picFileOpen"));
    // "OK" lies over the folder list, "Return to List" over the file list.
    for (const auto& [button, list] :
         {std::pair{"cmdOpenOK", "Dir1"}, std::pair{"cmdOpenBack", "FileList1"}}) {
        const testsupport::Box b = d->boxInWindow(button);
        EXPECT_TRUE(d->boxInWindow(list).contains(b.left + b.width / 2, b.top + b.height / 2)) << button;
        EXPECT_EQ(d->hitAtCentreOf(button), button);
    }
    d->clickCentreOf("cmdOpenBack");
    EXPECT_FALSE(d->visible("picFileOpen"));
    EXPECT_EQ(d->title(), "Open File From...");
}

TEST_F(ToolkitWindow, FirstFocusAndTabOrderInBothStates)
{
    EXPECT_EQ(d->focused(), "FileList1");
    EXPECT_EQ(tabRound(false, 3), (Names{"Dir1", "Drive1", "FileList1"}));
    EXPECT_EQ(tabRound(true, 3), (Names{"Drive1", "Dir1", "FileList1"}));

    ASSERT_FALSE(d->visible("picFileOpen"));
    // Moving onto the only file with the keys selects it, a click as with the mouse.
    d->press(Key::Down);
    ASSERT_EQ(d->title(), "Open... older.UGX");
    EXPECT_EQ(tabRound(false, 7), (Names{"Dir1", "Drive1", "picFileOpen", "cmdOpenOK", "cmdOpenBack",
                                         "cmdOpenCancel", "FileList1"}));
    EXPECT_EQ(tabRound(true, 7), (Names{"cmdOpenCancel", "cmdOpenBack", "cmdOpenOK", "picFileOpen", "Drive1",
                                        "Dir1", "FileList1"}));
}

TEST_F(ToolkitWindow, EnterPressesOnlyAFocusedButtonAndEscapeNothing)
{
    d->press(Key::LetterO); // the file's first letter, in another case, chooses it
    ASSERT_EQ(d->title(), "Open... older.UGX");
    const auto messages = d->dialogs.messages.size();
    for (const char* focus : {"FileList1", "Dir1", "picFileOpen"}) {
        d->focus(focus);
        for (Key key : {Key::Return, Key::Enter, Key::Escape})
            d->press(key);
        EXPECT_TRUE(d->window->form().isLoaded()) << focus;
        EXPECT_EQ(d->title(), "Open... older.UGX") << focus;
        EXPECT_TRUE(d->visible("picFileOpen")) << focus;
    }
    EXPECT_EQ(d->dialogs.messages.size(), messages); // no upgrade was tried
    EXPECT_EQ(d->files.calls(testsupport::Op::CopyFile), 0);

    d->focus("cmdOpenBack");
    d->press(Key::Return); // a focused button is pressed
    EXPECT_FALSE(d->visible("picFileOpen"));
    EXPECT_EQ(d->title(), "Open File From...");
    EXPECT_EQ(d->focused(), "FileList1"); // the focus did not vanish with the panel
    d->press(Key::Space);                 // chooses the selected file again, a click
    EXPECT_EQ(d->title(), "Open... older.UGX");
    d->focus("cmdOpenBack");
    d->press(Key::Return);
    d->press(Key::LetterO); // and so does its letter, though it leaves the selection as it is
    EXPECT_EQ(d->title(), "Open... older.UGX");
}

TEST_F(ToolkitWindow, AClickOnAFolderSelectsItADoubleClickOpensItEachOneAction)
{
    const std::string appText = testsupport::pathText(std::filesystem::path(d->app).make_preferred());
    const int row = d->rowOf("Dir1", "downloads");
    ASSERT_GE(row, 0);
    d->clickRow("Dir1", row);
    EXPECT_EQ(d->window->form().folderList("Dir1").path(), appText); // a single click stays
    EXPECT_EQ(d->selectedRow("Dir1"), row);

    const int readsBefore = d->files.calls(testsupport::Op::ListFolder);
    d->doubleClickRow("Dir1", row);
    EXPECT_EQ(d->window->form().folderList("Dir1").path(),
              testsupport::pathText(std::filesystem::path(d->downloads).make_preferred()));
    EXPECT_EQ(d->rows("FileList1"), Names{"Orvalis.ugx"});
    // The click of the double click reads the folder shown, the opening the new one once.
    EXPECT_EQ(d->files.calls(testsupport::Op::ListFolder) - readsBefore, 2);
}

TEST_F(ToolkitWindow, ScreenReadersReadNamesRolesAndTheRowsOfBothLists)
{
    EXPECT_EQ(d->accessibleName("Drive1"), "Drive:");
    EXPECT_EQ(d->accessibleName("Dir1"), "Folder:");
    EXPECT_EQ(d->accessibleName("FileList1"), "Upgrade File Name:");
    EXPECT_EQ(d->role("FileList1"), Role::List);
    EXPECT_EQ(d->role("picFileOpen"), Role::Grouping);
    EXPECT_TRUE(d->readAsInvisible("picFileOpen"));

    // The folder list is a tree of the rows it shows, which say their level and whether they
    // are open; the current folder's row, selected, is not focused while the file list has
    // the focus.
    EXPECT_EQ(d->role("Dir1"), Role::Tree);
    const Names shownRows = d->rows("Dir1");
    auto folders = d->readRows("Dir1");
    ASSERT_EQ(folders.size(), shownRows.size());
    const int appRow = d->selectedRow("Dir1");
    const int downloads = d->rowOf("Dir1", "downloads");
    ASSERT_EQ(downloads, appRow + 1);
    for (std::size_t row = 0; row < folders.size(); ++row) {
        const auto& read = folders[row];
        const bool open = static_cast<int>(row) <= appRow;
        EXPECT_EQ(read.name, shownRows[row]);
        EXPECT_EQ(read.role, Role::TreeItem);
        EXPECT_EQ(read.description,
                  (open ? "open, level " : "closed, level ") +
                      std::to_string(open ? row + 1 : static_cast<std::size_t>(appRow) + 2));
        EXPECT_EQ(read.expanded, open) << row;
        EXPECT_EQ(read.collapsed, !open) << row;
        EXPECT_EQ(read.selected, static_cast<int>(row) == appRow) << row;
        EXPECT_FALSE(read.focused) << row;
    }
    EXPECT_EQ(folders.back().name, "folder.ugx");
    d->focus("Dir1");
    EXPECT_TRUE(d->readRows("Dir1")[static_cast<std::size_t>(appRow)].focused);

    // The file list's rows, and the one clicked selected; the panel the click showed is read
    // as shown, named by its label, and the focus stays in the file list.
    testsupport::writeFile(d->app / std::filesystem::path(u8"Mise \u00e0 jour.ugx"), "another upgrade\n");
    d->clickRow("Dir1", appRow); // reads the folder again
    clickFile("older.UGX");
    const auto files = d->readRows("FileList1");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, "Mise \xc3\xa0 jour.ugx");
    EXPECT_EQ(files[1].name, "older.UGX");
    EXPECT_EQ(files[1].role, Role::ListItem);
    EXPECT_FALSE(files[0].selected);
    EXPECT_TRUE(files[1].selected);
    EXPECT_FALSE(d->readAsInvisible("picFileOpen"));
    EXPECT_EQ(d->accessibleName("picFileOpen"), "Upgrade with this file...");
    EXPECT_EQ(d->focused(), "FileList1");
}

TEST_F(ToolkitWindow, TheLoopEndsWhenTheWindowGoesByCancelOrTheTitleBar)
{
    clickFile("older.UGX");
    EXPECT_TRUE(d->loopEndsAfter([&] { d->clickButton("cmdOpenCancel"); }));
    EXPECT_FALSE(d->window->form().isLoaded());
    d->start();
    EXPECT_TRUE(d->loopEndsAfter([&] { d->closeByTitleBar(); }));
    EXPECT_FALSE(d->window->form().isLoaded());
    EXPECT_EQ(d->files.calls(testsupport::Op::CopyFile), 0);
}

// The toolkit's message boxes, with no window.
TEST(ToolkitDialogs, AMessageBoxHasTheProgramsTitleThePictureOfItsKindAndOneButton)
{
    const auto d = testsupport::makeWindowDriver();
    for (const auto kind : {runtime::MsgKind::Warning, runtime::MsgKind::Information}) {
        testsupport::BoxSeen seen;
        d->answerABox(0, &seen);
        d->toolkit().dialogs().msgBox("first line\r\nsecond line", kind);
        EXPECT_EQ(seen.title, "Orvalis Upgrade");
        EXPECT_EQ(seen.text, "first line\nsecond line");
        EXPECT_EQ(seen.picture, kind);
        EXPECT_EQ(seen.buttons, 1);
        EXPECT_FALSE(d->aBoxShows());
    }
}

TEST(ToolkitDialogs, WorkGivenToTheBoxRunsOnceWhileItShowsAndWhatItThrowsComesAfter)
{
    const auto d = testsupport::makeWindowDriver();
    runtime::Dialogs& dialogs = d->toolkit().dialogs();
    // Should the work wait for the box to go, the box goes after a while and the test fails.
    d->answerABox(3000, nullptr);
    int runs = 0;
    bool shown = false;
    dialogs.msgBoxMeanwhile("text", runtime::MsgKind::Warning, [&] {
        ++runs;
        shown = d->aBoxShows();
        d->answerABox(0, nullptr);
    });
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(shown);
    bool thrownAfterTheBox = false;
    try {
        dialogs.msgBoxMeanwhile("text", runtime::MsgKind::Warning, [&] {
            d->answerABox(0, nullptr);
            throw std::runtime_error("no window");
        });
    } catch (const std::runtime_error&) {
        thrownAfterTheBox = !d->aBoxShows();
    }
    EXPECT_TRUE(thrownAfterTheBox);
}

} // namespace
