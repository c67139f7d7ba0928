#include "toolkit/copy_progress.h"

namespace runtime {

std::optional<CopyProgressPolicy::View> CopyProgressPolicy::report(CopyStage stage, std::uint64_t done,
                                                                   std::uint64_t total, Clock::time_point now)
{
    if (!m_started)
        m_started = now;
    if (!m_drawn && now - *m_started < m_delay)
        return std::nullopt;
    if (m_drawn && stage == m_stage && now - *m_drawn < kRedraw && done < total)
        return std::nullopt;
    m_drawn = now;
    m_stage = stage;
    return View{stageText(stage), barPosition(stage, done, total)};
}

const char* CopyProgressPolicy::stageText(CopyStage stage)
{
    switch (stage) {
    case CopyStage::Copying:
        return "Copying the upgrade file...";
    case CopyStage::Saving:
        return "Saving the upgrade file...";
    case CopyStage::Checking:
        return "Checking the copy...";
    }
    return "";
}

int CopyProgressPolicy::barPosition(CopyStage stage, std::uint64_t done, std::uint64_t total)
{
    constexpr std::uint64_t kThird = (kBarEnd + 1) / 3;
    const std::uint64_t part = total == 0 ? kThird : (done > total ? total : done) * kThird / total;
    return static_cast<int>(static_cast<std::uint64_t>(stage) * kThird + part);
}

} // namespace runtime
