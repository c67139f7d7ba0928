#include "toolkit.h"

#include "accessible.h"
#include "form.h"

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QIcon>
#include <QPixmap>

namespace qt {

namespace {

QtMessageHandler g_qtMessages = nullptr;

// Qt ends the program with abort() and "Reinstalling the application may fix this problem"
// when it finds no display. Nothing has been touched then: say so, and what works instead.
void sayWhyNoWindow(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        if (g_qtMessages != nullptr)
            g_qtMessages(type, context, text);
        else
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    std::fputs("The upgrade window could not be opened: there is no display to show it on. Nothing was "
               "changed.\nWithout a display, upgrade with: orvalis-upgrade /upgrade PATH /quiet\n",
               stderr);
    std::fflush(stderr);
    std::_Exit(kExitNoDisplay);
}

} // namespace

Toolkit::Toolkit(int& argc, char** argv, const runtime::Program& program)
{
    if (QApplication::instance() == nullptr) {
        g_qtMessages = qInstallMessageHandler(sayWhyNoWindow);
        m_app = std::make_unique<QApplication>(argc, argv);
        qInstallMessageHandler(g_qtMessages);
    }
    setUp(program);
}

Toolkit::Toolkit(const runtime::Program& program)
{
    setUp(program);
}

Toolkit::~Toolkit() = default;

void Toolkit::setUp(const runtime::Program& program)
{
    QApplication::setApplicationName(QString::fromUtf8(program.title));
    QApplication::setApplicationVersion(QString::fromUtf8(program.version));
    // Every window of the program, its message boxes included, carries its icon.
    if (program.iconXpm != nullptr)
        QApplication::setWindowIcon(QIcon(QPixmap(program.iconXpm)));
    InstallAccessibleFactory();
    m_dialogs = std::make_unique<Dialogs>();
}

std::unique_ptr<runtime::Form> Toolkit::createForm(const runtime::FormDefinition& definition,
                                                   runtime::Actions& actions)
{
    auto form = std::make_unique<Form>(definition, actions);
    m_dialogs->setWindow(form.get());
    return form;
}

int Toolkit::run()
{
    return QApplication::exec();
}

} // namespace qt

std::unique_ptr<runtime::Toolkit> runtime::createToolkit(int& argc, char** argv, const Program& program)
{
    return std::make_unique<qt::Toolkit>(argc, argv, program);
}
