// The window drawn by the Qt toolkit: what it looks like, its keys, what screen readers see and
// its loop. What the window does is tested once, on the toolkit stand-in (tests/window).

#include "support/app_folders.h"
#include "support/program.h"
#include "support/recording_dialogs.h"
#include "toolkit/qt/drive_list.h"
#include "toolkit/qt/file_list.h"
#include "toolkit/qt/folder_list.h"
#include "toolkit/qt/form.h"
#include "toolkit/qt/row_list.h"
#include "toolkit/qt/toolkit.h"
#include "window/frm_file.h"
#include "window/frm_file_definition.h"

#include <filesystem>
#include <memory>
#include <string>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

class TestQtWindow : public QObject {
    Q_OBJECT

private slots:
    void everyControlAsTheDefinitionSaysInBothStates();
    void windowFrameAndIcon();
    void firstFocusAndTabOrderInBothStates();
    void panelButtonsAreWhatLiesOnTop();
    void enterPressesOnlyAFocusedButtonAndEscapeNothing();
    void screenReadersSeeNamesRolesAndLabels();
    void focusShowsOnListsAndPanel();
    void colours();
    void theLoopEndsWhenTheWindowGoesByCancelOrTheTitleBar();
};

namespace {

/// The window on the application folder "app" (see AppFolders).
struct WindowFixture : testsupport::AppFolders {
    /// Makes the window, loads it and shows it, as the program's start does; returns the
    /// window's widget.
    qt::Form& start()
    {
        window = std::make_unique<frmFile>(qt, files, dialogs);
        window->load();
        window->show();
        QApplication::setActiveWindow(&form());
        if (!QTest::qWaitForWindowExposed(&form()))
            qWarning("the window was not exposed");
        return form();
    }

    qt::Form& form() const { return dynamic_cast<qt::Form&>(window->form()); }

    template <typename T> T* control(const char* name) const
    {
        return form().findChild<T*>(QString::fromLatin1(name));
    }
    qt::DriveList* drive1() const { return control<qt::DriveList>("Drive1"); }
    qt::FolderList* dir1() const { return control<qt::FolderList>("Dir1"); }
    qt::FileList* fileList1() const { return control<qt::FileList>("FileList1"); }
    QFrame* panel() const { return control<QFrame>("picFileOpen"); }
    QPushButton* pushButton(const char* name) const { return control<QPushButton>(name); }

    testsupport::RecordingDialogs dialogs;
    qt::Toolkit qt{testsupport::kProgram};
    std::unique_ptr<frmFile> window;
};

/// The row of `list` whose shown text is `text`, or -1.
int rowOf(const qt::RowList* list, const QString& text)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->text(row) == text)
            return row;
    }
    return -1;
}

/// A point near the left end of an entry, where the panel never covers the folder list.
QPoint entryPoint(const qt::RowList* list, int row)
{
    const QRect rect = list->rowRect(row);
    return QPoint(rect.left() + 12, rect.center().y());
}

void clickEntry(qt::RowList* list, const QString& text)
{
    const int row = rowOf(list, text);
    QVERIFY2(row >= 0, qPrintable(QStringLiteral("no entry ") + text));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entryPoint(list, row));
}

void doubleClickEntry(qt::RowList* list, const QString& text)
{
    const int row = rowOf(list, text);
    QVERIFY2(row >= 0, qPrintable(QStringLiteral("no entry ") + text));
    // Press, release, press, release, as the window system delivers it: a click, then a double click.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, entryPoint(list, row));
}

QWidget* focusAfterTab()
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    return QApplication::focusWidget();
}

} // namespace

// Each control as the definition makes it: in its container, where it puts it (twips divided by
// 15), in its font, showing the caption the window gave it, and shown as the definition says,
// the panel's controls once a file is chosen.
static void checkEveryControl(const WindowFixture& f, bool chosen)
{
    const auto& definition = frmFileDefinition();
    QCOMPARE(f.form().windowTitle(), QString::fromStdString(f.window->form().caption()));
    QCOMPARE(f.form().size(), QSize(definition.clientWidth / 15, definition.clientHeight / 15));
    QCOMPARE(f.form().minimumSize(), f.form().maximumSize());
    for (const auto& control : definition.controls) {
        auto* widget = f.control<QWidget>(control.name);
        QVERIFY2(widget != nullptr, control.name);
        QWidget* container = control.container != nullptr ? f.control<QWidget>(control.container) : &f.form();
        QCOMPARE(widget->parentWidget(), container);
        const auto& t = control.geometry;
        const QRect expected(t.left / 15, t.top / 15, t.width / 15, t.height / 15);
        if (control.autoSize) { // a label that fits its caption keeps only its corner
            QCOMPARE(widget->pos(), expected.topLeft());
            QVERIFY2(widget->width() > 0 && widget->height() > 0, control.name);
        } else {
            QCOMPARE(widget->geometry(), expected);
        }
        const bool inPanel = control.kind == runtime::ControlKind::Panel || control.container != nullptr;
        QVERIFY2(widget->isVisible() == (inPanel ? chosen && (control.container == nullptr || control.visible)
                                                 : control.visible),
                 control.name);

        const runtime::Font& font = control.font.face != nullptr ? control.font : definition.font;
        QCOMPARE(widget->font().family(), QString::fromLatin1(font.face));
        QCOMPARE(widget->font().pointSizeF(), font.points);
        QCOMPARE(widget->font().weight(), font.weight);
        QVERIFY(!widget->font().italic() && !widget->font().underline());

        const auto shows = [&](const std::string& caption) {
            return QString::fromStdString(caption).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        };
        if (auto* label = qobject_cast<QLabel*>(widget))
            QCOMPARE(label->text(), shows(f.window->form().label(control.name).caption()));
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            QCOMPARE(button->text(), shows(control.caption));
        else if (auto* box = qobject_cast<QLineEdit*>(widget))
            QCOMPARE(box->text(), shows(control.caption));
    }
}

void TestQtWindow::everyControlAsTheDefinitionSaysInBothStates()
{
    WindowFixture f;
    QWidget& window = f.start();
    checkEveryControl(f, false);
    QCOMPARE(window.font().family(), QString::fromLatin1(frmFileDefinition().font.face));
    // Where the face is missing a sans-serif face stands in.
    QCOMPARE(window.font().styleHint(), QFont::SansSerif);

    // A long name is cut off: the label keeps its size and nothing moves.
    testsupport::writeFile(f.app / (std::string(80, 'x') + ".ugx"), "");
    QTest::mouseClick(f.dir1()->viewport(), Qt::LeftButton, {}, entryPoint(f.dir1(), f.dir1()->currentRow()));
    const QString name = QString(80, QLatin1Char('x')) + QStringLiteral(".ugx"); // below "older.UGX"
    clickEntry(f.fileList1(), name);
    QCOMPARE(window.windowTitle(), QStringLiteral("Open... ") + name); // the file clicked
    checkEveryControl(f, true);
}

void TestQtWindow::windowFrameAndIcon()
{
    WindowFixture f;
    QWidget& window = f.start();
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::MSWindowsFixedSizeDialogHint);
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(!QApplication::windowIcon().isNull()); // the message boxes' icon too
    QCOMPARE(window.windowIcon().availableSizes(), QList<QSize>{QSize(32, 32)});
    const QRect screen = window.screen()->availableGeometry();
    QVERIFY(qAbs(window.geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(window.geometry().center().y() - screen.center().y()) <= 1);
}

void TestQtWindow::firstFocusAndTabOrderInBothStates()
{
    WindowFixture f;
    f.start();
    QCOMPARE(QApplication::focusWidget(), f.fileList1());
    QCOMPARE(focusAfterTab(), f.dir1());
    QCOMPARE(focusAfterTab(), f.drive1());
    QCOMPARE(focusAfterTab(), f.fileList1());

    QVERIFY(f.panel()->isHidden());
    // Moving onto the only file with the keys selects it, a click as with the mouse.
    QTest::keyClick(f.fileList1(), Qt::Key_Down);
    QCOMPARE(f.form().windowTitle(), QStringLiteral("Open... older.UGX"));
    QCOMPARE(focusAfterTab(), f.dir1());
    QCOMPARE(focusAfterTab(), f.drive1());
    QCOMPARE(focusAfterTab(), static_cast<QWidget*>(f.panel()));
    QCOMPARE(focusAfterTab(), f.pushButton("cmdOpenOK"));
    QCOMPARE(focusAfterTab(), f.pushButton("cmdOpenBack"));
    QCOMPARE(focusAfterTab(), f.pushButton("cmdOpenCancel"));
    QCOMPARE(focusAfterTab(), f.fileList1());
}

void TestQtWindow::panelButtonsAreWhatLiesOnTop()
{
    WindowFixture f;
    QWidget& window = f.start();
    doubleClickEntry(f.dir1(), QStringLiteral("downloads"));
    clickEntry(f.fileList1(), QStringLiteral("Orvalis.ugx"));
    QVERIFY(f.panel()->isVisible());
    QCOMPARE(window.windowTitle(), QStringLiteral("Open... Orvalis.ugx")); // the file clicked
    // "OK" lies over the folder list, "Return to List" over the file list.
    const auto centre = [&](const char* name) {
        QWidget* button = f.pushButton(name);
        return button->mapTo(&window, button->rect().center());
    };
    const QPoint okCentre = centre("cmdOpenOK");
    QVERIFY(f.dir1()->geometry().contains(okCentre));
    QCOMPARE(window.childAt(okCentre), f.pushButton("cmdOpenOK"));
    const QPoint backCentre = centre("cmdOpenBack");
    QVERIFY(f.fileList1()->geometry().contains(backCentre));
    QCOMPARE(window.childAt(backCentre), f.pushButton("cmdOpenBack"));

    QSignalSpy back(f.pushButton("cmdOpenBack"), &QPushButton::clicked);
    QTest::mouseClick(&window, Qt::LeftButton, {}, backCentre);
    QCOMPARE(back.count(), 1);
    QVERIFY(f.panel()->isHidden());
}

void TestQtWindow::enterPressesOnlyAFocusedButtonAndEscapeNothing()
{
    WindowFixture f;
    QWidget& window = f.start();
    doubleClickEntry(f.dir1(), QStringLiteral("downloads"));
    clickEntry(f.fileList1(), QStringLiteral("Orvalis.ugx"));
    QSignalSpy ok(f.pushButton("cmdOpenOK"), &QPushButton::clicked);
    QSignalSpy cancel(f.pushButton("cmdOpenCancel"), &QPushButton::clicked);

    for (QWidget* list : {static_cast<QWidget*>(f.fileList1()), static_cast<QWidget*>(f.dir1())}) {
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Return);
        QTest::keyClick(list, Qt::Key_Enter);
        QTest::keyClick(list, Qt::Key_Escape);
    }
    QCOMPARE(ok.count(), 0);
    QCOMPARE(cancel.count(), 0);
    QVERIFY(window.isVisible());

    f.pushButton("cmdOpenBack")->setFocus();
    QTest::keyClick(f.pushButton("cmdOpenBack"), Qt::Key_Return);
    QVERIFY(f.panel()->isHidden());
    QCOMPARE(window.windowTitle(), QStringLiteral("Open File From..."));
}

void TestQtWindow::screenReadersSeeNamesRolesAndLabels()
{
    WindowFixture f;
    QWidget& window = f.start();
    QCOMPARE(f.drive1()->accessibleName(), QStringLiteral("Drive:"));
    QCOMPARE(f.dir1()->accessibleName(), QStringLiteral("Folder:"));
    QCOMPARE(f.fileList1()->accessibleName(), QStringLiteral("Upgrade File Name:"));
    QCOMPARE(f.panel()->accessibleName(), QStringLiteral("Upgrade with this file..."));
    QCOMPARE(QAccessible::queryAccessibleInterface(&window)->role(), QAccessible::Dialog);
    // The drive list is labelled by its caption: the bridge names a drop-down by its value
    // and tells its label through this relation.
    const auto relations = QAccessible::queryAccessibleInterface(f.drive1())->relations(QAccessible::Label);
    QCOMPARE(relations.size(), 1);
    QCOMPARE(relations.front().first->object(), f.control<QObject>("lblDrive"));

    // The folder list is a tree of rows that say their level and whether they are open; the
    // list without the focus has no focused row beside the file list's.
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(f.dir1());
    QCOMPARE(tree->role(), QAccessible::Tree);
    QCOMPARE(tree->childCount(), f.dir1()->count());
    const int appRow = f.dir1()->currentRow();
    QAccessibleInterface* root = tree->child(0);
    QAccessibleInterface* app = tree->child(appRow);
    QAccessibleInterface* downloads = tree->child(rowOf(f.dir1(), QStringLiteral("downloads")));
    QCOMPARE(root->role(), QAccessible::TreeItem);
    QCOMPARE(root->text(QAccessible::Description), QStringLiteral("open, level 1"));
    QCOMPARE(app->text(QAccessible::Name), QStringLiteral("app"));
    QCOMPARE(app->text(QAccessible::Description), QStringLiteral("open, level %1").arg(appRow + 1));
    QCOMPARE(downloads->text(QAccessible::Description), QStringLiteral("closed, level %1").arg(appRow + 2));
    QVERIFY(app->state().expanded && !app->state().collapsed);
    QVERIFY(downloads->state().collapsed && !downloads->state().expanded);
    QCOMPARE(tree->indexOfChild(downloads), appRow + 1);
    QCOMPARE(QApplication::focusWidget(), f.fileList1());
    QVERIFY(app->state().selected);
    QVERIFY(!app->state().focused);
    QCOMPARE(tree->focusChild(), nullptr);
    f.dir1()->setFocus();
    QVERIFY(app->state().focused);
    QCOMPARE(tree->focusChild(), app);
    QCOMPARE(QAccessible::queryAccessibleInterface(f.fileList1())->role(), QAccessible::List);

    // Choosing the file shows the panel, a named group (shown, it reports showing), and
    // leaves the focus in the file list.
    QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(f.panel());
    QCOMPARE(panel->role(), QAccessible::Grouping);
    doubleClickEntry(f.dir1(), QStringLiteral("downloads"));
    QVERIFY(!downloads->isValid()); // the rows were replaced: what was said of them is void
    QCOMPARE(tree->child(appRow + 1)->text(QAccessible::Description),
             QStringLiteral("open, level %1").arg(appRow + 2));
    QVERIFY(panel->state().invisible);
    clickEntry(f.fileList1(), QStringLiteral("Orvalis.ugx"));
    QVERIFY(!panel->state().invisible);
    QCOMPARE(panel->text(QAccessible::Name), QStringLiteral("Upgrade with this file..."));
    QCOMPARE(QApplication::focusWidget(), f.fileList1());
}

void TestQtWindow::focusShowsOnListsAndPanel()
{
    WindowFixture f;
    f.start();
    const auto edge = [](QWidget* w) {
        return w->grab().toImage().pixelColor(1, w->height() / 2);
    };
    QWidget* file = f.fileList1();
    const QColor highlight = file->palette().color(QPalette::Highlight);
    QCOMPARE(edge(file), highlight);
    QVERIFY(edge(f.dir1()) != highlight);
    f.dir1()->setFocus();
    QCOMPARE(edge(f.dir1()), highlight);
    QVERIFY(edge(file) != highlight);

    // The panel draws a focus rectangle inside its border while it has the focus.
    clickEntry(f.fileList1(), QStringLiteral("older.UGX"));
    f.panel()->setFocus();
    const QImage focused = f.panel()->grab().toImage();
    f.pushButton("cmdOpenOK")->setFocus();
    QVERIFY(f.panel()->grab().toImage() != focused);
}

void TestQtWindow::colours()
{
    WindowFixture f;
    f.start();
    for (QWidget* list : {static_cast<QWidget*>(f.drive1()), static_cast<QWidget*>(f.dir1()),
                          static_cast<QWidget*>(f.fileList1())})
        QCOMPARE(list->palette().color(QPalette::Base), QColor(Qt::white));
    for (const char* name : {"lblDrive", "lblDir1", "lblFileList1", "lblSaveAs"}) {
        QCOMPARE(f.control<QWidget>(name)->palette().color(QPalette::WindowText), QColor(Qt::black));
        QVERIFY(!f.control<QWidget>(name)->autoFillBackground());
    }
    QVERIFY(f.control<QWidget>("lblHelp")->autoFillBackground());
    QVERIFY(f.panel()->autoFillBackground());
    QCOMPARE(f.panel()->backgroundRole(), QPalette::Mid);
    QCOMPARE(f.panel()->frameStyle(), QFrame::Box | QFrame::Plain);
    QCOMPARE(f.control<QWidget>("lblOpenFileName")->foregroundRole(), QPalette::Text);
}

// Runs the toolkit's loop, as the program's start does, with `action` as the first thing
// the user does; true when the loop ended because the last window went.
static bool loopEndsAfter(qt::Toolkit& toolkit, const std::function<void()>& action)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(10'000);
    QTimer::singleShot(0, action);
    return toolkit.run() == 0 && guard.isActive();
}

void TestQtWindow::theLoopEndsWhenTheWindowGoesByCancelOrTheTitleBar()
{
    WindowFixture f;
    f.start();
    clickEntry(f.fileList1(), QStringLiteral("older.UGX"));
    QVERIFY(loopEndsAfter(f.qt, [&] { QTest::mouseClick(f.pushButton("cmdOpenCancel"), Qt::LeftButton); }));
    QVERIFY(!f.form().isLoaded());
    f.start();
    // What the title bar's button does: the window system asks the window to close.
    QVERIFY(loopEndsAfter(f.qt, [&] { f.form().windowHandle()->close(); }));
    QVERIFY(!f.form().isLoaded());
    QCOMPARE(f.files.calls(testsupport::Op::CopyFile), 0);
}

QTEST_MAIN(TestQtWindow)
#include "test_qt_window.moc"
