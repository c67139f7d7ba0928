#include "toolkit/label_names.h"

#include <string_view>

namespace runtime {

namespace {

bool same(const char* a, const char* b)
{
    return std::string_view(a != nullptr ? a : "") == std::string_view(b != nullptr ? b : "");
}

} // namespace

const ControlDefinition* NamingLabel(const FormDefinition& form, const ControlDefinition& control)
{
    const bool panel = control.kind == ControlKind::Panel;
    if (!panel && control.kind != ControlKind::DriveList && control.kind != ControlKind::FolderList &&
        control.kind != ControlKind::FileList && control.kind != ControlKind::TextBox)
        return nullptr;
    const ControlDefinition* best = nullptr;
    for (const auto& label : form.controls) {
        if (label.kind != ControlKind::Label || !label.visible)
            continue;
        if (panel) {
            if (label.container != nullptr && same(label.container, control.name))
                return &label;
            continue;
        }
        const Twips& c = control.geometry;
        const Twips& l = label.geometry;
        const bool above = l.top + l.height <= c.top;
        const bool across = l.left < c.left + c.width && c.left < l.left + l.width;
        if (above && across && same(label.container, control.container) &&
            (best == nullptr || l.top + l.height > best->geometry.top + best->geometry.height))
            best = &label;
    }
    return best;
}

} // namespace runtime
