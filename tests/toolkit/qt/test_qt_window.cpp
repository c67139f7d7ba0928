// The window drawn by the Qt toolkit: the driver the shared promises (test_toolkit_window.cpp)
// run through, and what only Qt does: its frame and icon, its colours, the focus it draws and
// what its accessibility bridge is told beside names and roles.

#include "support/program.h"
#include "support/window_driver.h"
#include "toolkit/qt/form.h"
#include "toolkit/qt/row_list.h"
#include "toolkit/qt/toolkit.h"
#include "window/frm_file_definition.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFrame>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

using testsupport::Role;

// One application for the whole run, as the program has, gone before the program's end.
class Application : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "test_qt_window";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};
[[maybe_unused]] const auto* const g_application = ::testing::AddGlobalTestEnvironment(new Application);

Role roleOf(QAccessibleInterface* object)
{
    const std::pair<QAccessible::Role, Role> roles[] = {{QAccessible::Grouping, Role::Grouping},
                                                        {QAccessible::List, Role::List},
                                                        {QAccessible::ListItem, Role::ListItem},
                                                        {QAccessible::Tree, Role::Tree},
                                                        {QAccessible::TreeItem, Role::TreeItem}};
    for (const auto& [asked, role] : roles) {
        if (object != nullptr && object->role() == asked)
            return role;
    }
    return Role::Other;
}

class QtWindowDriver : public testsupport::WindowDriver {
public:
    ~QtWindowDriver() override { window.reset(); } // before the toolkit it was made with
    runtime::Toolkit& toolkit() override { return m_toolkit; }
    qt::Form& form() const { return dynamic_cast<qt::Form&>(window->form()); }
    template <typename T = QWidget> T* control(const char* name) const
    {
        return form().findChild<T*>(QString::fromLatin1(name));
    }
    qt::RowList* list(const char* name) const { return control<qt::RowList>(name); }

    testsupport::Box client() override { return {0, 0, form().width(), form().height()}; }
    bool fixedFrame() override
    {
        const Qt::WindowFlags flags = form().windowFlags();
        return !(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)) &&
               (flags & Qt::WindowCloseButtonHint) && (flags & Qt::MSWindowsFixedSizeDialogHint) &&
               form().minimumSize() == form().maximumSize();
    }
    std::string title() override { return form().windowTitle().toStdString(); }
    std::string containerOf(const char* name) override
    {
        QWidget* widget = control(name);
        if (widget == nullptr)
            return "?";
        return widget->parentWidget() == &form() ? "" : widget->parentWidget()->objectName().toStdString();
    }
    testsupport::Box box(const char* name) override { return boxOf(control(name)->geometry()); }
    testsupport::Box boxInWindow(const char* name) override
    {
        QWidget* widget = control(name);
        return boxOf(QRect(widget->mapTo(&form(), QPoint(0, 0)), widget->size()));
    }
    bool visible(const char* name) override { return control(name)->isVisible(); }
    // Labels, buttons and text boxes show their "text" property.
    std::string text(const char* name) override
    {
        return control(name)->property("text").toString().toStdString();
    }
    testsupport::FontSeen font(const char* name) override
    {
        const QFont f = control(name)->font();
        return {f.family().toStdString(), f.pointSizeF(), f.weight(), f.italic() || f.underline()};
    }
    std::string hitAtCentreOf(const char* name) override { return nameOf(form().childAt(centreOf(name))); }

    std::string focused() override { return nameOf(QApplication::focusWidget()); }
    void focus(const char* name) override { control(name)->setFocus(); }
    void press(testsupport::Key key) override
    {
        // In the order of testsupport::Key.
        static const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
            {Qt::Key_Tab, {}},    {Qt::Key_Backtab, Qt::ShiftModifier},
            {Qt::Key_Down, {}},   {Qt::Key_Space, {}},
            {Qt::Key_Return, {}}, {Qt::Key_Enter, Qt::KeypadModifier},
            {Qt::Key_Escape, {}}};
        if (key == testsupport::Key::LetterO)
            return QTest::keyClick(QApplication::focusWidget(), 'O');
        const auto& [code, modifiers] = keys[static_cast<int>(key)];
        QTest::keyClick(QApplication::focusWidget(), code, modifiers);
    }
    void clickButton(const char* name) override { QTest::mouseClick(control(name), Qt::LeftButton); }
    void clickCentreOf(const char* name) override
    {
        QTest::mouseClick(&form(), Qt::LeftButton, {}, centreOf(name));
    }
    std::vector<std::string> rows(const char* name) override
    {
        std::vector<std::string> texts;
        for (int row = 0; row < list(name)->count(); ++row)
            texts.push_back(list(name)->text(row).toStdString());
        return texts;
    }
    int selectedRow(const char* name) override { return list(name)->selectedRow(); }
    void mouseOnRow(const char* name, int row, bool twice) override
    {
        const QRect rect = list(name)->rowRect(row);
        const QPoint at(rect.left() + 12, rect.center().y());
        if (twice) // press, release, press, release, as the window system delivers it
            QTest::mouseDClick(list(name)->viewport(), Qt::LeftButton, {}, at);
        else
            QTest::mouseClick(list(name)->viewport(), Qt::LeftButton, {}, at);
    }

    std::string accessibleName(const char* name) override
    {
        return control(name)->accessibleName().toStdString();
    }
    Role role(const char* name) override
    {
        return roleOf(QAccessible::queryAccessibleInterface(control(name)));
    }
    bool readAsInvisible(const char* name) override
    {
        return QAccessible::queryAccessibleInterface(control(name))->state().invisible;
    }
    std::vector<testsupport::RowRead> readRows(const char* name) override
    {
        std::vector<testsupport::RowRead> read;
        QAccessibleInterface* object = QAccessible::queryAccessibleInterface(control(name));
        for (int i = 0; i < object->childCount(); ++i) {
            QAccessibleInterface* row = object->child(i);
            const QAccessible::State state = row->state();
            read.push_back({row->text(QAccessible::Name).toStdString(),
                            row->text(QAccessible::Description).toStdString(), roleOf(row),
                            bool(state.selected), bool(state.focused), bool(state.expanded),
                            bool(state.collapsed)});
        }
        return read;
    }

    void closeByTitleBar() override { form().windowHandle()->close(); } // the system asks it to close
    bool loopEndsAfter(const std::function<void()>& action) override
    {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guard.start(10'000);
        QTimer::singleShot(0, action);
        return m_toolkit.run() == 0 && guard.isActive();
    }

    void answerABox(int afterMs, testsupport::BoxSeen* seen) override
    {
        auto* timer = new QTimer(&m_answers); // stopped with the driver
        QObject::connect(timer, &QTimer::timeout, [timer, seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return; // tries again
            timer->stop();
            if (seen != nullptr) {
                const QMessageBox::Icon icon = box->icon();
                *seen = {box->windowTitle().toStdString(), box->text().toStdString(),
                         icon == QMessageBox::Warning       ? std::optional(runtime::MsgKind::Warning)
                         : icon == QMessageBox::Information ? std::optional(runtime::MsgKind::Information)
                                                            : std::nullopt,
                         static_cast<int>(box->buttons().size())};
            }
            QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
        });
        timer->start(afterMs);
    }
    bool aBoxShows() override
    {
        return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
    }

protected:
    void shown() override
    {
        QApplication::setActiveWindow(&form());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form()));
    }

private:
    static testsupport::Box boxOf(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }
    QPoint centreOf(const char* name) const
    {
        QWidget* widget = control(name);
        return widget->mapTo(&form(), widget->rect().center());
    }
    /// The control `widget` is or lies in; "" for none.
    static std::string nameOf(const QWidget* widget)
    {
        for (; widget != nullptr; widget = widget->parentWidget()) {
            if (!widget->objectName().isEmpty() && !widget->isWindow())
                return widget->objectName().toStdString();
        }
        return {};
    }

    qt::Toolkit m_toolkit{testsupport::kProgram};
    QObject m_answers;
};

class QtWindow : public ::testing::Test {
protected:
    void SetUp() override { d.start(); }
    QtWindowDriver d;
};

TEST_F(QtWindow, FrameIconAndFaces)
{
    qt::Form& window = d.form();
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_FALSE(QApplication::windowIcon().isNull()); // the message boxes' icon too
    EXPECT_EQ(window.windowIcon().availableSizes(), QList<QSize>{QSize(32, 32)});
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_LE(qAbs(window.geometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(qAbs(window.geometry().center().y() - screen.center().y()), 1);
    // The window's face is the definition's; where it is missing a sans-serif face stands in.
    EXPECT_EQ(window.font().family().toStdString(), frmFileDefinition().font.face);
    EXPECT_EQ(window.font().styleHint(), QFont::SansSerif);
}

TEST_F(QtWindow, FocusShowsOnListsAndPanel)
{
    const auto edge = [](QWidget* w) {
        return w->grab().toImage().pixelColor(1, w->height() / 2);
    };
    QWidget* file = d.control("FileList1");
    QWidget* dir = d.control("Dir1");
    const QColor highlight = file->palette().color(QPalette::Highlight);
    EXPECT_EQ(edge(file), highlight);
    EXPECT_NE(edge(dir), highlight);
    dir->setFocus();
    EXPECT_EQ(edge(dir), highlight);
    EXPECT_NE(edge(file), highlight);

    // The panel draws a focus rectangle inside its border while it has the focus.
    d.clickRow("FileList1", d.rowOf("FileList1", "older.UGX"));
    QWidget* panel = d.control("picFileOpen");
    panel->setFocus();
    const QImage focused = panel->grab().toImage();
    d.focus("cmdOpenOK");
    EXPECT_NE(panel->grab().toImage(), focused);
}

TEST_F(QtWindow, Colours)
{
    for (const char* list : {"Drive1", "Dir1", "FileList1"})
        EXPECT_EQ(d.control(list)->palette().color(QPalette::Base), QColor(Qt::white)) << list;
    for (const char* name : {"lblDrive", "lblDir1", "lblFileList1", "lblSaveAs"}) {
        EXPECT_EQ(d.control(name)->palette().color(QPalette::WindowText), QColor(Qt::black)) << name;
        EXPECT_FALSE(d.control(name)->autoFillBackground()) << name;
    }
    EXPECT_TRUE(d.control("lblHelp")->autoFillBackground());
    auto* panel = d.control<QFrame>("picFileOpen");
    EXPECT_TRUE(panel->autoFillBackground());
    EXPECT_EQ(panel->backgroundRole(), QPalette::Mid);
    EXPECT_EQ(panel->frameStyle(), QFrame::Box | QFrame::Plain);
    EXPECT_EQ(d.control("lblOpenFileName")->foregroundRole(), QPalette::Text);
}

// What the bridge is told beside names and roles: the window is a dialog, the drive list is
// labelled by its caption (the bridge names a drop-down by its value), the tree tells which
// row has the focus only while it has it, and rows replaced are void.
TEST_F(QtWindow, TheBridgeGetsTheDialogTheLabelRelationTheFocusedRowAndVoidRows)
{
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&d.form())->role(), QAccessible::Dialog);
    const auto relations =
        QAccessible::queryAccessibleInterface(d.control("Drive1"))->relations(QAccessible::Label);
    ASSERT_EQ(relations.size(), 1);
    EXPECT_EQ(relations.front().first->object(), d.control("lblDrive"));

    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(d.control("Dir1"));
    const int appRow = d.selectedRow("Dir1");
    QAccessibleInterface* downloads = tree->child(appRow + 1);
    EXPECT_EQ(tree->focusChild(), nullptr);
    d.focus("Dir1");
    EXPECT_EQ(tree->focusChild(), tree->child(appRow));
    EXPECT_EQ(tree->indexOfChild(downloads), appRow + 1);
    d.doubleClickRow("Dir1", appRow + 1);
    EXPECT_FALSE(downloads->isValid());
    EXPECT_EQ(tree->child(appRow + 1)->text(QAccessible::Description),
              QStringLiteral("open, level %1").arg(appRow + 2));
}

} // namespace

std::unique_ptr<testsupport::WindowDriver> testsupport::makeWindowDriver()
{
    return std::make_unique<QtWindowDriver>();
}
