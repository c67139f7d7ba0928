// The least a Qt Widgets program can do to look like the tool at its start: the same
// warning box, then an empty window of the tool's size, centred. The start row of the
// benchmark measures the tool against this.

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvalis Upgrade"));

    // The box as the tool makes it: the style's warning picture, an OK button of its own.
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(),
                    QStringLiteral("WARNING!!! Please be sure that Orvalis has been\n"
                                   "shut down prior to continuing the upgrade process."),
                    QMessageBox::NoButton);
    box.setTextFormat(Qt::PlainText);
    auto* ok = new QPushButton(QStringLiteral("OK"), &box);
    box.addButton(ok, QMessageBox::AcceptRole);
    box.setEscapeButton(ok);
    box.exec();

    QWidget window;
    window.setWindowTitle(QStringLiteral("Open Upgrade File From..."));
    window.setFixedSize(6105 / 15, 4470 / 15);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(),
                                               screen->availableGeometry()));
    window.show();
    return QApplication::exec();
}
