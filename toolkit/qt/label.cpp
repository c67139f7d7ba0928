#include "label.h"

#include "display_text.h"

namespace qt {

void Label::setCaption(const std::string& text)
{
    m_caption = text;
    setText(DisplayText(text));
}

} // namespace qt
