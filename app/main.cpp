#include "app/command_line.h"
#include "app/icon/orvalis.xpm"
#include "resource.h"
#include "runtime/file_services.h"
#include "toolkit/toolkit.h"
#include "window/frm_file.h"

#include <exception>
#include <string>

int main(int argc, char* argv[])
{
    const runtime::Program program{ORVALIS_TITLE, ORVALIS_VERSION, orvalis_xpm, IDI_PROGRAM};
    if (argc > 1)
        return app::runCommandLine(argc, argv, program);
    const auto toolkit = runtime::createToolkit(argc, argv, program);
    try {
        const auto files = runtime::createFileServices();
        frmFile window(*toolkit, *files);
        window.load();
        window.show();
        return toolkit->run();
    } catch (const std::exception& error) {
        // Nothing has been touched: the window could not even be made.
        toolkit->dialogs().msgBox(std::string("The upgrade window could not be opened.\r\n") + error.what(),
                                  runtime::MsgKind::Warning);
        return 1;
    }
}
