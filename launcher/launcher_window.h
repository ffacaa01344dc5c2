// The launcher's window: picture, three status lines and the progress bar, driven by a 20 ms timer.
#pragma once

#include "launcher/embedded_window.h"
#include "launcher/frame.h"

#include <wx/stattext.h>
#include <wx/timer.h>

class progress_bar;

// Closes the launcher's top-level window; the program ends once the toolkit has processed it.
void close_launcher_window();

// The decoded background picture, drawn at the window's top-left corner.
extern tavi_bitmap *background_image;

class launcher_mw : public tavi_embedded_window {
public:
    static constexpr int tick_ms = 20;
    static constexpr int lock_give_up_ms = 3000;  // another launcher holds the lock this long
    static constexpr int boot_after_ms = 1000;    // the window lives this long before a boot

    launcher_mw(wxWindow *parent, wxWindowID id, const wxString &name, const wxPoint &position,
                const wxSize &size, long style);
    ~launcher_mw() override;

    void draw(tavi_bitmap &bitmap) override;
    void redraw(bool resized) override;

    // Clears updater_done and starts the updater thread; exits with status 1 when it can't.
    void start_updater_thread();
    void update_status_texts();
    // Flips and saves beta-test mode; after a finished update run, starts another one.
    void toggle_beta_mode();
    // Called on the updater thread: stores the percentage and queues a redraw on the GUI thread.
    void set_download_progress(double percent);

private:
    void OnTimer(wxTimerEvent &event);
    void on_progress(wxTimerEvent &event);
    void on_key_down(wxKeyEvent &event);
    // Tries the updater lock; when it is obtained, starts the updater thread and returns 1.
    int try_late_start();

    wxTimer timer_;
    wxTimer progress_event_source_;   // never started: only names the events the updater posts
    wxStaticText *status_line_[3];
    progress_bar *progress_ = nullptr;
    int options_shown_ = 0;
    int elapsed_ = 0;
    int gave_up_ = 0;
    int booted_this_run_ = 0;

    wxDECLARE_EVENT_TABLE();
};

class launcher_frame : public tavi_frame {
public:
    static constexpr int width = 480;
    static constexpr int height = 300;

    launcher_frame(const wxString &title, const wxPoint &position);
    launcher_mw *main_window() { return main_window_; }

private:
    launcher_mw *main_window_;   // a child: destroyed with the frame
};
