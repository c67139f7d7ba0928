#pragma once

#include "runtime/file_services.h"

#include <chrono>
#include <cstdint>
#include <optional>

namespace runtime {

/// What the progress of a copy shows, and when; each toolkit only draws it. Nothing shows
/// for the first half second, so a short copy flashes no box. Then a box shows the stage's
/// text over one bar that runs once through the three stages, a third each, and is
/// redrawn at most every 40 ms within a stage (drawing more often only slows the copy).
class CopyProgressPolicy {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDelay{500};
    static constexpr std::chrono::milliseconds kRedraw{40};
    /// The bar's positions run from 0 to kBarEnd.
    static constexpr int kBarEnd = 999;

    struct View {
        const char* text; ///< UTF-8
        int bar;          ///< 0 to kBarEnd
    };

    explicit CopyProgressPolicy(std::chrono::milliseconds delay = kDelay) : m_delay(delay) {}

    /// A report of the copy at `now`: what to draw, or nothing while the box is not due
    /// yet or was drawn a moment ago in the same stage.
    std::optional<View> report(CopyStage stage, std::uint64_t done, std::uint64_t total,
                               Clock::time_point now);
    /// The copy has ended; the next report starts a new one.
    void ended() { *this = CopyProgressPolicy(m_delay); }
    /// Whether the box is showing (a report has been drawn since the copy began).
    bool showing() const { return m_drawn.has_value(); }

    static const char* stageText(CopyStage stage);
    static int barPosition(CopyStage stage, std::uint64_t done, std::uint64_t total);

private:
    std::chrono::milliseconds m_delay;
    std::optional<Clock::time_point> m_started;
    std::optional<Clock::time_point> m_drawn;
    CopyStage m_stage{CopyStage::Copying};
};

} // namespace runtime
