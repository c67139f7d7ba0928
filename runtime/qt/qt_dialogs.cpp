#include "qt_dialogs.h"

#include "display_text.h"
#include "input_blocker.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>

namespace toolkit {

namespace {

// How often a long copy redraws its bar; drawing more often only slows the copy.
constexpr qint64 kRedrawMs = 40;

// Room a title bar needs beside its caption: the icon and the close button.
constexpr int kTitleBarExtra = 120;

QString stageText(runtime::CopyStage stage)
{
    switch (stage) {
    case runtime::CopyStage::Copying:
        return QStringLiteral("Copying the upgrade file...");
    case runtime::CopyStage::Saving:
        return QStringLiteral("Saving the upgrade file...");
    case runtime::CopyStage::Checking:
        return QStringLiteral("Checking the copy...");
    }
    return {};
}

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
    // Wide enough for the whole caption, which a window manager would otherwise cut short.
    const int wanted = QFontMetrics(box.font()).horizontalAdvance(box.windowTitle()) + kTitleBarExtra;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                      0, 1, grid->columnCount());
    box.exec();
}

void QtDialogs::copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total)
{
    if (!m_sinceStart.isValid())
        m_sinceStart.start();
    if (!m_box) {
        if (m_sinceStart.elapsed() < m_delay.count())
            return;
        showBox();
    }
    const bool newStage = stage != m_stage;
    if (!newStage && m_sinceDrawn.isValid() && m_sinceDrawn.elapsed() < kRedrawMs && done < total)
        return;
    m_stage = stage;
    // The bar runs once through all three stages, a third each.
    const int share = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    m_bar->setValue((static_cast<int>(stage) * 100 + share) / 3);
    m_label->setText(stageText(stage));
    m_sinceDrawn.start();
    // Draws the box and the window under it; the blocker throws away whatever input
    // arrives meanwhile.
    QCoreApplication::processEvents();
}

void QtDialogs::copyEnded()
{
    m_sinceStart.invalidate();
    m_sinceDrawn.invalidate();
    m_bar = nullptr;
    m_label = nullptr;
    m_stage = runtime::CopyStage::Copying;
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
    m_label = new QLabel(stageText(runtime::CopyStage::Copying), frame);
    m_bar = new QProgressBar(frame);
    m_bar->setRange(0, 100);
    auto* inner = new QVBoxLayout(frame);
    inner->addWidget(m_label);
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
