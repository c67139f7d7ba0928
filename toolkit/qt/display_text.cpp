#include "display_text.h"

namespace qt {

QString DisplayText(const std::string& text)
{
    // The services hand out UTF-8 on every platform; bytes that are not UTF-8 show as
    // replacement characters but travel unchanged beside the text.
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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

} // namespace qt
