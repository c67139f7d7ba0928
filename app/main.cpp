#include "app/command_line.h"
#include "runtime/file_services.h"
#include "runtime/toolkit.h"
#include "window/frm_file.h"

int main(int argc, char* argv[])
{
    if (argc > 1)
        return app::runCommandLine(argc, argv);
    const auto toolkit = runtime::createToolkit(argc, argv);
    const auto files = runtime::createFileServices();
    frmFile window(*toolkit, *files);
    window.load();
    window.show();
    return toolkit->run();
}
