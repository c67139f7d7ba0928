#include "qt_toolkit.h"

#include "app/icon/orvalis.xpm"
#include "qt_form.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QIcon>
#include <QPixmap>

namespace toolkit {

namespace {

// Screen readers see the program's windows as dialogs, not as plain containers.
QAccessibleInterface* accessibleForm(const QString& className, QObject* object)
{
    if (className == QLatin1String("toolkit::QtForm") && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog);
    return nullptr;
}

} // namespace

QtToolkit::QtToolkit(int& argc, char** argv)
{
    if (QApplication::instance() == nullptr)
        m_app = std::make_unique<QApplication>(argc, argv);
    setUp();
}

QtToolkit::QtToolkit()
{
    setUp();
}

QtToolkit::~QtToolkit() = default;

void QtToolkit::setUp()
{
    QApplication::setApplicationName(QStringLiteral("Orvalis Upgrade"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    // Every window of the program, its message boxes included, carries its icon.
    QApplication::setWindowIcon(QIcon(QPixmap(orvalis_xpm)));
    static const bool installed = [] {
        QAccessible::installFactory(accessibleForm);
        return true;
    }();
    (void)installed;
    m_dialogs = std::make_unique<QtDialogs>();
}

std::unique_ptr<runtime::Form> QtToolkit::createForm(const runtime::FormDefinition& definition,
                                                     runtime::Actions& actions)
{
    auto form = std::make_unique<QtForm>(definition, actions);
    m_dialogs->setWindow(form.get());
    return form;
}

int QtToolkit::run()
{
    return QApplication::exec();
}

} // namespace toolkit
