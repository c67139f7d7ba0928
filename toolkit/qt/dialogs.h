#pragma once

#include "runtime/dialogs.h"
#include "toolkit/copy_progress.h"

#include <chrono>
#include <functional>
#include <memory>

#include <QPointer>
#include <QWidget>

class QObject;
class QWidget;
class QLabel;
class QProgressBar;

namespace qt {

class InputBlocker;

/// Dialogs drawn with Qt widgets: message boxes with an OK button only, the program's title
/// as caption and the style's warning or information picture, and a progress box for
/// copies that take a while.
///
/// While the progress box shows, the program takes no input at all: clicks, keys and
/// closing any window are thrown away, not queued, because the swap must run to its end
/// before anything else happens.
class Dialogs : public runtime::Dialogs {
public:
    /// `delay` is how long a copy runs before its progress shows.
    explicit Dialogs(std::chrono::milliseconds delay = runtime::CopyProgressPolicy::kDelay);
    ~Dialogs() override;
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;

    /// The window the boxes belong to and are centred over (while it is visible).
    void setWindow(QWidget* window) { m_window = window; }

    void msgBox(const std::string& text, runtime::MsgKind kind) override;
    /// Runs `meanwhile` once the box has been painted, from the box's own event loop.
    void msgBoxMeanwhile(const std::string& text, runtime::MsgKind kind,
                         const std::function<void()>& meanwhile) override;
    void copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total) override;
    void copyEnded() override;

    /// The progress box, or null while none shows.
    QWidget* progressBox() const;

private:
    /// The modal box of msgBox; `watcher`, when given, filters the box's events.
    void showMessage(const std::string& text, runtime::MsgKind kind, QObject* watcher);
    void showBox(const QString& text);

    runtime::CopyProgressPolicy m_policy;
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_box;       ///< may go with the window it belongs to
    QPointer<QWidget> m_closedBox; ///< the message box closed last, until it is deleted
    QProgressBar* m_bar{nullptr};
    QLabel* m_label{nullptr};
    std::unique_ptr<InputBlocker> m_blocker;
};

} // namespace qt
