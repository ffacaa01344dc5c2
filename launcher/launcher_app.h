// The launcher application: start-up, the command line, and the updater thread's body.
#pragma once

#include <wx/app.h>

class launcher_app : public wxApp {
public:
    // Does the whole start-up; true when the window is up. Exits the process on fatal failures.
    bool OnInit() override;
    // Logs the exit banner; returns 0.
    int OnExit() override;
};

wxDECLARE_APP(launcher_app);
