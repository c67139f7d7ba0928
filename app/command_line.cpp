#include "command_line.h"

#include "engine/command_line.h"
#include "runtime/arguments.h"
#include "runtime/file_services.h"
#include "toolkit/toolkit.h"

#include <iostream>
#include <memory>

namespace app {

int runCommandLine(int& argc, char** argv, const runtime::Program& program)
{
    const engine::CommandLine command = engine::ParseCommandLine(runtime::programArguments(argc, argv));
    const auto files = runtime::createFileServices();
    // With /quiet nothing is drawn, so no toolkit is started: it runs without a display too.
    std::unique_ptr<runtime::Toolkit> toolkit;
    if (!command.quiet)
        toolkit = runtime::createToolkit(argc, argv, program);
    return engine::RunCommandLine(command, *files, toolkit ? &toolkit->dialogs() : nullptr, std::cout,
                                  std::cerr);
}

} // namespace app
