#pragma once

#include "runtime/dialogs.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

/// Dialogs that remember every message instead of showing it.
class RecordingDialogs : public runtime::Dialogs {
public:
    void msgBox(const std::string& text, runtime::MsgKind kind) override
    {
        messages.push_back(text);
        kinds.push_back(kind);
        if (onMessage)
            onMessage(text);
    }
    void copyProgress(runtime::CopyStage, std::uint64_t done, std::uint64_t total) override
    {
        progress.emplace_back(done, total);
        if (onProgress)
            onProgress(done, total);
    }
    void copyEnded() override { ++copyEndings; }

    std::vector<std::string> messages;
    std::vector<runtime::MsgKind> kinds; ///< each message's, in the same order
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    int copyEndings{0};
    std::function<void(const std::string&)> onMessage;
    std::function<void(std::uint64_t, std::uint64_t)> onProgress;
};

} // namespace testsupport
