#pragma once

#include "runtime/dialogs.h"

#include <string>
#include <vector>

namespace bench {

/// Dialogs that show nothing and keep the messages, so a benchmark can run the window and
/// the swap unattended and still see what the user would have been told.
class QuietDialogs : public runtime::Dialogs {
public:
    void msgBox(const std::string& text, runtime::MsgKind) override { messages.push_back(text); }

    std::vector<std::string> messages;
};

} // namespace bench
