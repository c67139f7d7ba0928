#include "dialogs.h"

#include "display_text.h"
#include "input_blocker.h"
#include "toolkit/meanwhile.h"

#include <utility>

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace qt {

namespace {

// Room a title bar needs beside its caption: the icon and the close button.
constexpr int kTitleBarExtra = 120;

// Calls `then` from the event loop once the watched box has been painted: it is on the
// screen, and whatever runs next does not hold it back.
class AfterFirstPaint : public QObject {
public:
    explicit AfterFirstPaint(std::function<void()> then) : m_then(std::move(then)) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_then) {
            QTimer::singleShot(0, this, std::exchange(m_then, nullptr));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_then;
};

} // namespace

Dialogs::Dialogs(std::chrono::milliseconds delay) : m_policy(delay) {}

Dialogs::~Dialogs()
{
    delete m_closedBox.data();
    delete m_box.data();
}

void Dialogs::msgBox(const std::string& text, runtime::MsgKind kind)
{
    showMessage(text, kind, nullptr);
}

void Dialogs::msgBoxMeanwhile(const std::string& text, runtime::MsgKind kind,
                              const std::function<void()>& meanwhile)
{
    runtime::Meanwhile work(meanwhile);
    AfterFirstPaint afterPaint([&work] { work.run(); });
    showMessage(text, kind, &afterPaint);
    work.finish();
}

void Dialogs::showMessage(const std::string& text, runtime::MsgKind kind, QObject* watcher)
{
    QWidget* parent = (m_window && m_window->isVisible()) ? m_window.data() : nullptr;
    auto* box =
        new QMessageBox(kind == runtime::MsgKind::Warning ? QMessageBox::Warning : QMessageBox::Information,
                        QApplication::applicationName(), DisplayText(text), QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    // A button of our own: the box's standard OK button looks its picture up in the icon
    // theme, file by file, and shows none where the style says buttons have none.
    auto* ok = new QPushButton(QMessageBox::tr("OK"), box);
    box->addButton(ok, QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    // Wide enough for the whole caption, which a window manager would otherwise cut short.
    const int wanted = QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()) + kTitleBarExtra;
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                      0, 1, grid->columnCount());
    if (watcher != nullptr)
        box->installEventFilter(watcher);
    box->exec();
    if (watcher != nullptr)
        box->removeEventFilter(watcher);
    // Taking a box down costs a few milliseconds, which would come before whatever shows next
    // (at the start, the window): a closed box goes when the event loop next runs, or with
    // the box after it, or with these dialogs.
    delete m_closedBox.data();
    m_closedBox = box;
    box->deleteLater();
}

void Dialogs::copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total)
{
    const auto view = m_policy.report(stage, done, total, runtime::CopyProgressPolicy::Clock::now());
    if (!view)
        return;
    const QString text = QString::fromUtf8(view->text);
    if (!m_box)
        showBox(text);
    if (m_label->text() != text) {
        // A reader names the box, its frame and its bar by the stage, and hears the bar's
        // value move.
        m_label->setText(text);
        m_box->setAccessibleName(text);
        m_bar->parentWidget()->setAccessibleName(text);
        m_bar->setAccessibleName(text);
    }
    m_bar->setValue(view->bar);
    // Draws the box and the window under it; the blocker throws away whatever input
    // arrives meanwhile.
    QCoreApplication::processEvents();
}

void Dialogs::copyEnded()
{
    m_policy.ended();
    m_bar = nullptr;
    m_label = nullptr;
    delete m_box.data();
    m_blocker.reset();
}

QWidget* Dialogs::progressBox() const
{
    return m_box.data();
}

void Dialogs::showBox(const QString& text)
{
    m_blocker = std::make_unique<InputBlocker>();
    QWidget* parent = (m_window && m_window->isVisible()) ? m_window.data() : nullptr;
    m_box = new QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint);
    m_box->setObjectName(QStringLiteral("copyProgress"));
    auto* frame = new QFrame(m_box.data());
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_label = new QLabel(text, frame);
    m_bar = new QProgressBar(frame);
    m_bar->setRange(0, runtime::CopyProgressPolicy::kBarEnd);
    m_box->setAccessibleName(text);
    frame->setAccessibleName(text);
    m_bar->setAccessibleName(text);
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

} // namespace qt
