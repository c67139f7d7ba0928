#include "runtime/file_services.h"
#include "runtime/qt/qt_dialogs.h"
#include "window/frm_file.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvalis Upgrade"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));

    const auto files = runtime::createFileServices();
    toolkit::QtDialogs dialogs;
    frmFile window(*files, dialogs);
    dialogs.setWindow(&window);
    window.load();
    window.showCentred();
    return QApplication::exec();
}
