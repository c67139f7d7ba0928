#pragma once

#include "app/icon/orvalis.xpm"
#include "resource.h"
#include "toolkit/toolkit.h"

namespace testsupport {

/// The program as its start hands it to the toolkit.
inline const runtime::Program kProgram{ORVALIS_TITLE, ORVALIS_VERSION, orvalis_xpm, IDI_PROGRAM};

} // namespace testsupport
