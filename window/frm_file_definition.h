#pragma once

#include "toolkit/form_definition.h"

/// The window frmFile as it is created: every control with its kind, caption, place,
/// tab index, font, colours and visibility. The handlers in frm_file.cpp give it its life.
const runtime::FormDefinition& frmFileDefinition();
