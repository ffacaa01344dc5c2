// The launcher application: start-up, the command line, and the updater thread's body.
#pragma once

#include <wx/app.h>
#include <wx/log.h>

class launcher_app : public wxApp {
public:
    // Does the whole start-up; true when the window is up. Exits the process after -h (status 0),
    // an unknown option or a missing configuration directory (status 1).
    bool OnInit() override;
    // Logs the exit banner; returns 0.
    int OnExit() override;
};

wxDECLARE_APP(launcher_app);

// Keeps the command line as the system passed it; OnInit reads it from here.
void set_command_line(int argc, char **argv);

// A log target for the toolkit's own messages: into the launcher's log, never a dialog.
wxLog *new_toolkit_log();

// Writes a failed toolkit assertion to the log (to standard error before the log is open)
// instead of opening a dialog that would hang a launcher nobody watches.
void log_toolkit_assert(const wxString &file, int line, const wxString &function,
                        const wxString &condition, const wxString &message);

// Ignores SIGPIPE and starts SSL; 1 when SSL is ready, 0 (logged) otherwise.
int ssl_startup_check();

// The updater thread's body; `window` is the launcher_mw that started it. Runs one update, then
// releases the updater lock it was started with and sets updater_done. Returns 0.
long updater_thread_main(void *window);
