#include "qt_dialogs.h"

#include "display_text.h"
#include "input_blocker.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>

namespace toolkit {

namespace {

// How often a long copy redraws its bar; drawing more often only slows the copy.
constexpr qint64 kRedrawMs = 40;

} // namespace

QtDialogs::QtDialogs(std::chrono::milliseconds delay) : m_delay(delay) {}

QtDialogs::~QtDialogs()
{
    delete m_box.data();
}

void QtDialogs::msgBox(const std::string& text)
{
    QWidget* parent = (m_window && m_window->isVisible()) ? m_window.data() : nullptr;
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), DisplayText(text), QMessageBox::Ok,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

void QtDialogs::copyProgress(runtime::CopyStage, std::uint64_t done, std::uint64_t total)
{
    if (!m_sinceStart.isValid())
        m_sinceStart.start();
    if (!m_box) {
        if (m_sinceStart.elapsed() < m_delay.count())
            return;
        showBox();
    }
    if (m_sinceDrawn.isValid() && m_sinceDrawn.elapsed() < kRedrawMs && done < total)
        return;
    const int share = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    m_bar->setValue(share);
    m_sinceDrawn.start();
    // Draws the box; the blocker throws away whatever input arrives meanwhile.
    QCoreApplication::processEvents();
}

void QtDialogs::copyEnded()
{
    m_sinceStart.invalidate();
    m_sinceDrawn.invalidate();
    m_bar = nullptr;
    delete m_box.data();
    m_blocker.reset();
}

QWidget* QtDialogs::progressBox() const
{
    return m_box.data();
}

void QtDialogs::showBox()
{
    m_blocker = std::make_unique<InputBlocker>();
    QWidget* parent = (m_window && m_window->isVisible()) ? m_window.data() : nullptr;
    m_box = new QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint);
    m_box->setObjectName(QStringLiteral("copyProgress"));
    auto* frame = new QFrame(m_box.data());
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    auto* label = new QLabel(QStringLiteral("Copying the upgrade file..."), frame);
    m_bar = new QProgressBar(frame);
    m_bar->setRange(0, 100);
    auto* inner = new QVBoxLayout(frame);
    inner->addWidget(label);
    inner->addWidget(m_bar);
    auto* outer = new QVBoxLayout(m_box.data());
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    m_box->setFixedWidth(260);
    m_box->adjustSize();
    if (parent != nullptr) {
        const QRect over = parent->frameGeometry();
        m_box->move(over.center() - QPoint(m_box->width() / 2, m_box->height() / 2));
    }
    m_box->show();
}

} // namespace toolkit
