#pragma once

#include "toolkit/form_definition.h"

namespace runtime {

/// The label whose caption names `control` for screen readers, or null. A list or a text
/// box, which have no caption of their own, is named by the nearest visible label right
/// above it in the same container that overlaps it across; a panel by the first visible
/// label it holds. A hidden label names nothing: its text is not on the screen.
const ControlDefinition* NamingLabel(const FormDefinition& form, const ControlDefinition& control);

} // namespace runtime
