#include "display_text.h"

#include <QFile>

namespace toolkit {

QString DisplayText(const std::string& text)
{
    QString shown = QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QPalette::ColorRole SystemColourRole(int index)
{
    switch (index) {
    case 5:
        return QPalette::Base;
    case 8:
        return QPalette::Text;
    case 10:
        // Desktops have no border colour of their own; the mid tone is the grey that
        // window borders are drawn in.
        return QPalette::Mid;
    default:
        return QPalette::Window;
    }
}

} // namespace toolkit
