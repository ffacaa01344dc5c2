// Program entry: hands control to the toolkit, which runs launcher_app's OnInit.
#include "launcher/launcher_app.h"

int main(int argc, char **argv)
{
    // Creating the application object here (rather than through a static factory in the
    // library) also makes sure the linker keeps launcher_app from the static library.
    set_command_line(argc, argv);
    wxSetAssertHandler(log_toolkit_assert);
    delete wxLog::SetActiveTarget(new_toolkit_log());
    wxLog::DisableTimestamp();
    wxApp::SetInstance(new launcher_app);
    return wxEntry(argc, argv);
}
