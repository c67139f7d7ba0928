#pragma once

#include <string>
#include <vector>

namespace runtime {

/// The arguments the program was started with, its own name left out, as UTF-8 on Windows
/// (whatever the system's code page) and as the bytes given elsewhere.
std::vector<std::string> programArguments(int argc, char** argv);

} // namespace runtime
