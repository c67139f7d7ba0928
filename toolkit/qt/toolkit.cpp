#include "toolkit.h"

#include "accessible.h"
#include "form.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

namespace qt {

Toolkit::Toolkit(int& argc, char** argv, const runtime::Program& program)
{
    if (QApplication::instance() == nullptr)
        m_app = std::make_unique<QApplication>(argc, argv);
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
