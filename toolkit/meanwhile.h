#pragma once

#include <exception>
#include <functional>
#include <utility>

namespace runtime {

/// Work a toolkit runs once while a message box shows, from inside the box's own event loop,
/// where an exception must not pass: it is kept and thrown when the box has been closed.
class Meanwhile {
public:
    explicit Meanwhile(std::function<void()> work) : m_work(std::move(work)) {}

    /// Runs the work unless it has run; called from the box's event loop.
    void run() noexcept
    {
        if (!m_work)
            return;
        const auto work = std::move(m_work);
        m_work = nullptr;
        try {
            work();
        } catch (...) {
            m_error = std::current_exception();
        }
    }

    /// Called once the box is closed: runs the work if the box went before it could, and
    /// throws what the work threw.
    void finish()
    {
        if (m_work) {
            const auto work = std::move(m_work);
            m_work = nullptr;
            work();
        }
        if (m_error)
            std::rethrow_exception(std::exchange(m_error, nullptr));
    }

private:
    std::function<void()> m_work;
    std::exception_ptr m_error;
};

} // namespace runtime
