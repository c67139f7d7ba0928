#pragma once

namespace app {

/// Runs the program as its command line asks, without its window; returns the exit code.
/// Called only when there are arguments.
int runCommandLine(int& argc, char** argv);

} // namespace app
