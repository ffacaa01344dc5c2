// Start-up and command line.
#include "launcher/launcher_app.h"

#include "support/debug_log.h"

wxIMPLEMENT_APP_NO_MAIN(launcher_app);

bool launcher_app::OnInit()
{
    return false;
}

int launcher_app::OnExit()
{
    if (log_level > 2)
        log_printf("--------------------------- LAUNCHER EXIT --------------------------\n");
    return 0;
}
