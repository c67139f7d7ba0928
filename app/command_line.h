#pragma once

#include "toolkit/toolkit.h"

namespace app {

/// Runs the program as its command line asks, without its window; returns the exit code.
/// Called only when there are arguments.
int runCommandLine(int& argc, char** argv, const runtime::Program& program);

} // namespace app
