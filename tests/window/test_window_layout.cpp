#include "window/frm_file_definition.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>

using testsupport::WindowFixture;

class TestWindowLayout : public QObject {
    Q_OBJECT

private slots:
    void geometryOfEveryControl();
    void visibleAtStartAndWithThePanel();
    void captions();
    void fonts();
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

QWidget* focusAfterTab()
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    return QApplication::focusWidget();
}

QStringList visibleControls(const QWidget& window)
{
    QStringList visible;
    for (auto* child : window.findChildren<QWidget*>()) {
        if (child->isVisible() && !child->objectName().isEmpty() &&
            !child->objectName().startsWith(QLatin1String("qt_")))
            visible << child->objectName();
    }
    visible.sort();
    return visible;
}

} // namespace

void TestWindowLayout::geometryOfEveryControl()
{
    WindowFixture f;
    QWidget& window = f.start();
    QCOMPARE(window.size(), QSize(407, 298));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    // Each control where the definition puts it, in its container: twips divided by 15.
    for (const auto& control : frmFileDefinition().controls) {
        auto* widget = f.control<QWidget>(control.name);
        QVERIFY2(widget != nullptr, control.name);
        QWidget* container = control.container != nullptr ? f.control<QWidget>(control.container) : &window;
        QCOMPARE(widget->parentWidget(), container);
        const auto& t = control.geometry;
        const QRect expected(t.left / 15, t.top / 15, t.width / 15, t.height / 15);
        if (control.autoSize) { // a label that fits its caption keeps only its corner
            QCOMPARE(widget->pos(), expected.topLeft());
            QVERIFY2(widget->width() > 0 && widget->height() > 0, control.name);
        } else {
            QCOMPARE(widget->geometry(), expected);
        }
    }

    // A long name is cut off: the label keeps its size and nothing moves.
    testsupport::writeFile(f.app / (std::string(80, 'x') + ".ugx"), "");
    QTest::mouseClick(f.dir1()->viewport(), Qt::LeftButton, {},
                      testsupport::entryPoint(f.dir1(), f.dir1()->currentRow()));
    testsupport::clickEntry(f.fileList1(), QString(80, QLatin1Char('x')) + QStringLiteral(".ugx"));
    QCOMPARE(f.control<QLabel>("lblOpenFileName")->geometry(), QRect(8, 24, 150, 16));
    QCOMPARE(f.panel()->geometry(), QRect(92, 108, 225, 93));
}

void TestWindowLayout::visibleAtStartAndWithThePanel()
{
    WindowFixture f;
    QWidget& window = f.start();
    QCOMPARE(visibleControls(window),
             (QStringList{"Dir1", "Drive1", "FileList1", "lblDir1", "lblDrive", "lblFileList1", "lblHelp"}));

    testsupport::doubleClickEntry(f.dir1(), QStringLiteral("downloads"));
    testsupport::clickEntry(f.fileList1(), QStringLiteral("Orvalis.ugx"));
    QCOMPARE(visibleControls(window),
             (QStringList{"Dir1", "Drive1", "FileList1", "cmdOpenBack", "cmdOpenCancel", "cmdOpenOK",
                          "lblDir1", "lblDrive", "lblFileList1", "lblHelp", "lblOpenFileName", "lblPointOpen",
                          "picFileOpen"}));
}

void TestWindowLayout::captions()
{
    WindowFixture f;
    QWidget& window = f.start();
    QCOMPARE(window.windowTitle(), QStringLiteral("Open Upgrade File From..."));
    QCOMPARE(f.control<QLabel>("lblHelp")->text(),
             QStringLiteral("Browse to the upgrade file that you've saved and click on it.\n"
                            "Once selected, click OK to start the upgrade process."));
    const std::pair<const char*, const char*> texts[] = {
        {"lblDrive", "Drive:"},
        {"lblDir1", "Folder:"},
        {"lblFileList1", "Upgrade File Name:"},
        {"lblPointOpen", "Upgrade with this file..."},
        {"lblOpenFileName", "lblFileName"},
        {"lblSaveAs", "Save File As:"},
    };
    for (const auto& [name, text] : texts)
        QCOMPARE(f.control<QLabel>(name)->text(), QString::fromLatin1(text));
    const std::pair<const char*, const char*> buttons[] = {
        {"cmdOpenOK", "OK"},
        {"cmdOpenCancel", "Cancel"},
        {"cmdOpenBack", "Return to List"},
        {"cmdSaveAs", "OK"},
        {"chkProp", "Ignore Associated Properties"},
    };
    for (const auto& [name, text] : buttons)
        QCOMPARE(f.control<QAbstractButton>(name)->text(), QString::fromLatin1(text));
    QCOMPARE(f.control<QLineEdit>("txtSaveAs")->text(), QString());
}

void TestWindowLayout::fonts()
{
    WindowFixture f;
    QWidget& window = f.start();
    // Each control in the font its definition names, or the window's.
    const auto check = [](const QWidget* w, const runtime::Font& font) {
        QVERIFY(w != nullptr);
        QCOMPARE(w->font().family(), QString::fromLatin1(font.face));
        QCOMPARE(w->font().pointSizeF(), font.points);
        QCOMPARE(w->font().weight(), font.weight);
        QCOMPARE(w->font().italic(), false);
        QCOMPARE(w->font().underline(), false);
    };
    const auto& definition = frmFileDefinition();
    QVERIFY(definition.font.face != nullptr);
    check(&window, definition.font);
    for (const auto& control : definition.controls)
        check(f.control<QWidget>(control.name),
              control.font.face != nullptr ? control.font : definition.font);
    // Where the face is missing a sans-serif face stands in.
    QCOMPARE(window.font().styleHint(), QFont::SansSerif);
}

void TestWindowLayout::windowFrameAndIcon()
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

void TestWindowLayout::firstFocusAndTabOrderInBothStates()
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
    QVERIFY(f.panel()->isVisible());
    QCOMPARE(focusAfterTab(), f.dir1());
    QCOMPARE(focusAfterTab(), f.drive1());
    QCOMPARE(focusAfterTab(), static_cast<QWidget*>(f.panel()));
    QCOMPARE(focusAfterTab(), f.pushButton("cmdOpenOK"));
    QCOMPARE(focusAfterTab(), f.pushButton("cmdOpenBack"));
    QCOMPARE(focusAfterTab(), f.pushButton("cmdOpenCancel"));
    QCOMPARE(focusAfterTab(), f.fileList1());
}

void TestWindowLayout::panelButtonsAreWhatLiesOnTop()
{
    WindowFixture f;
    QWidget& window = f.start();
    testsupport::doubleClickEntry(f.dir1(), QStringLiteral("downloads"));
    testsupport::clickEntry(f.fileList1(), QStringLiteral("Orvalis.ugx"));
    QVERIFY(f.panel()->isVisible());

    // "OK" lies over the folder list, "Return to List" over the file list.
    const QPoint okCentre(100 + 57 / 2, 160 + 17 / 2);
    QVERIFY(f.dir1()->geometry().contains(okCentre));
    QCOMPARE(window.childAt(okCentre), f.pushButton("cmdOpenOK"));
    const QPoint backCentre(224 + 77 / 2, 160 + 17 / 2);
    QVERIFY(f.fileList1()->geometry().contains(backCentre));
    QCOMPARE(window.childAt(backCentre), f.pushButton("cmdOpenBack"));

    QSignalSpy back(f.pushButton("cmdOpenBack"), &QPushButton::clicked);
    QTest::mouseClick(&window, Qt::LeftButton, {}, backCentre);
    QCOMPARE(back.count(), 1);
    QVERIFY(f.panel()->isHidden());
}

void TestWindowLayout::enterPressesOnlyAFocusedButtonAndEscapeNothing()
{
    WindowFixture f;
    QWidget& window = f.start();
    testsupport::doubleClickEntry(f.dir1(), QStringLiteral("downloads"));
    testsupport::clickEntry(f.fileList1(), QStringLiteral("Orvalis.ugx"));
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

void TestWindowLayout::screenReadersSeeNamesRolesAndLabels()
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
    QAccessibleInterface* downloads = tree->child(testsupport::rowOf(f.dir1(), QStringLiteral("downloads")));
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
    testsupport::doubleClickEntry(f.dir1(), QStringLiteral("downloads"));
    QVERIFY(!downloads->isValid()); // the rows were replaced: what was said of them is void
    QCOMPARE(tree->child(appRow + 1)->text(QAccessible::Description),
             QStringLiteral("open, level %1").arg(appRow + 2));
    QVERIFY(panel->state().invisible);
    testsupport::clickEntry(f.fileList1(), QStringLiteral("Orvalis.ugx"));
    QVERIFY(!panel->state().invisible);
    QCOMPARE(panel->text(QAccessible::Name), QStringLiteral("Upgrade with this file..."));
    QCOMPARE(QApplication::focusWidget(), f.fileList1());
}

void TestWindowLayout::focusShowsOnListsAndPanel()
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
    testsupport::clickEntry(f.fileList1(), QStringLiteral("older.UGX"));
    f.panel()->setFocus();
    const QImage focused = f.panel()->grab().toImage();
    f.pushButton("cmdOpenOK")->setFocus();
    QVERIFY(f.panel()->grab().toImage() != focused);
}

void TestWindowLayout::colours()
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

void TestWindowLayout::theLoopEndsWhenTheWindowGoesByCancelOrTheTitleBar()
{
    WindowFixture f;
    f.start();
    testsupport::clickEntry(f.fileList1(), QStringLiteral("older.UGX"));
    QVERIFY(loopEndsAfter(f.qt, [&] { QTest::mouseClick(f.pushButton("cmdOpenCancel"), Qt::LeftButton); }));
    QVERIFY(!f.form().isLoaded());
    f.start();
    // What the title bar's button does: the window system asks the window to close.
    QVERIFY(loopEndsAfter(f.qt, [&] { f.form().windowHandle()->close(); }));
    QVERIFY(!f.form().isLoaded());
    QCOMPARE(f.files.calls(testsupport::Op::CopyFile), 0);
}

QTEST_MAIN(TestWindowLayout)
#include "test_window_layout.moc"
