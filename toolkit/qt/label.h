#pragma once

#include "toolkit/toolkit.h"

#include <QLabel>

namespace qt {

/// A label; its caption is UTF-8 text with "\r\n" line breaks.
class Label : public QLabel, public runtime::Label {
public:
    using QLabel::QLabel;
    std::string caption() const override { return m_caption; }
    void setCaption(const std::string& text) override;

private:
    std::string m_caption;
};

} // namespace qt
