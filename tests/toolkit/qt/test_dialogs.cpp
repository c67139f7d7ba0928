#include "toolkit/qt/dialogs.h"

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

// The title, text, picture and button of a box, and the work it runs while it shows, are
// the toolkits' shared promises (tests/toolkit/test_toolkit_window.cpp); here is Qt's own.
class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Orvalis Upgrade")); }
    void messageBoxLeavesRoomForTheTitleShowsNoButtonPictureAndGoes();
    void longCopyShowsProgressAndTakesNoInput();
};

void TestDialogs::messageBoxLeavesRoomForTheTitleShowsNoButtonPictureAndGoes()
{
    qt::Dialogs dialogs;
    for (const auto kind : {runtime::MsgKind::Warning, runtime::MsgKind::Information}) {
        bool buttonPicture = true;
        int width = 0;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr && !box->buttons().empty());
            width = box->width() - QFontMetrics(box->font()).horizontalAdvance(box->windowTitle());
            buttonPicture = !box->buttons().front()->icon().isNull();
            QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
        });
        dialogs.msgBox("text", kind);
        // Room for the caption beside the title bar's icon and close button, however short the text.
        QVERIFY2(width >= 100, qPrintable(QString::number(width)));
        QVERIFY(!buttonPicture);
    }
    // Closed boxes are taken down once the event loop runs, none left behind.
    const auto boxes = [] {
        const auto widgets = QApplication::topLevelWidgets();
        return std::count_if(widgets.begin(), widgets.end(),
                             [](QWidget* widget) { return qobject_cast<QMessageBox*>(widget) != nullptr; });
    };
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(boxes(), 0);
}

void TestDialogs::longCopyShowsProgressAndTakesNoInput()
{
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("press"), &window);
    window.resize(200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy presses(button, &QPushButton::clicked);

    qt::Dialogs dialogs(std::chrono::milliseconds(20));
    dialogs.setWindow(&window);
    dialogs.copyProgress(runtime::CopyStage::Copying, 0, 1000);
    QCOMPARE(dialogs.progressBox(), nullptr);
    QTest::qWait(40);
    dialogs.copyProgress(runtime::CopyStage::Copying, 250, 1000);
    QWidget* box = dialogs.progressBox();
    QVERIFY(box != nullptr);
    QVERIFY(box->isVisible());
    // The box draws what the policy says: the stage's text and the bar's place in the three.
    using Policy = runtime::CopyProgressPolicy;
    auto* bar = box->findChild<QProgressBar*>();
    auto* label = box->findChild<QLabel*>();
    QCOMPARE(bar->maximum(), Policy::kBarEnd);
    QCOMPARE(bar->value(), Policy::barPosition(runtime::CopyStage::Copying, 250, 1000));
    QCOMPARE(label->text(), QStringLiteral("Copying the upgrade file..."));
    // A reader knows the box and its bar by the stage's name, and reads the bar's value.
    QCOMPARE(box->accessibleName(), label->text());
    QCOMPARE(bar->parentWidget()->accessibleName(), label->text()); // the frame a reader sees
    QCOMPARE(QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Name), label->text());

    // Neither clicks, keys nor the title bar's close get through while the copy runs.
    QTest::mouseClick(button, Qt::LeftButton);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    QVERIFY(!window.windowHandle()->close());
    QVERIFY(window.isVisible());
    QTest::qWait(50);
    dialogs.copyProgress(runtime::CopyStage::Saving, 0, 1);
    QCOMPARE(bar->value(), Policy::barPosition(runtime::CopyStage::Saving, 0, 1));
    QCOMPARE(label->text(), QStringLiteral("Saving the upgrade file..."));
    QCOMPARE(box->accessibleName(), label->text());
    QCOMPARE(bar->parentWidget()->accessibleName(), label->text());
    QCOMPARE(bar->accessibleName(), label->text());
    QCOMPARE(QAccessible::queryAccessibleInterface(bar)->valueInterface()->currentValue().toInt(),
             bar->value());
    dialogs.copyProgress(runtime::CopyStage::Checking, 500, 1000);
    QCOMPARE(bar->value(), Policy::barPosition(runtime::CopyStage::Checking, 500, 1000));
    QCOMPARE(label->text(), QStringLiteral("Checking the copy..."));
    dialogs.copyProgress(runtime::CopyStage::Checking, 1000, 1000);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(presses.count(), 0);

    dialogs.copyEnded();
    QCOMPARE(dialogs.progressBox(), nullptr);
    dialogs.copyEnded(); // ending twice is harmless
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(presses.count(), 1);
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
