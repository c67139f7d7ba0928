#pragma once

#include "runtime/file_services.h"

#include <cstdint>
#include <functional>
#include <string>

namespace runtime {

/// What a message tells the user, which picks the picture in the body of its box.
enum class MsgKind {
    Warning,     ///< the start's warning, and every failure or refusal
    Information, ///< what went well, or how things stand
};

/// What the user sees of the program besides its window: modal message boxes and the
/// progress of a long copy.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    /// Shows `text` in a modal box with an OK button only and the picture of `kind`, and
    /// returns when the user closes it. Lines in `text` are separated by "\r\n".
    virtual void msgBox(const std::string& text, MsgKind kind) = 0;

    /// Shows `text` as msgBox does and runs `meanwhile` once: while the box shows, where the
    /// toolkit can do that without holding the box back, else after the box is closed. Returns
    /// when both are done; what `meanwhile` throws is thrown once the box is closed.
    virtual void msgBoxMeanwhile(const std::string& text, MsgKind kind,
                                 const std::function<void()>& meanwhile)
    {
        msgBox(text, kind);
        meanwhile();
    }

    /// A copy has done `done` of `total` bytes of `stage`. Called often; may draw but takes
    /// no input.
    virtual void copyProgress(CopyStage stage, std::uint64_t done, std::uint64_t total)
    {
        (void)stage;
        (void)done;
        (void)total;
    }

    /// The copy has ended, well or not; any progress shown goes away.
    virtual void copyEnded() {}
};

} // namespace runtime
