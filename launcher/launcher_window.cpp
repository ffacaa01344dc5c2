// The launcher's window: timer, keys, status lines and progress.
#include "launcher/launcher_window.h"

#include "launcher/boot_sequence.h"
#include "launcher/launcher_app.h"
#include "launcher/launcher_globals.h"
#include "launcher/progress_bar.h"
#include "launcher/system_config.h"
#include "support/config_directory.h"
#include "support/debug_log.h"
#include "support/files.h"
#include "support/fixed_string.h"
#include "support/threads.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <wx/app.h>

tavi_bitmap *background_image = nullptr;

namespace {

constexpr int timer_id = 1;
constexpr int progress_event_id = 2;

enum key_code { key_escape = 27, key_b = 66, key_q = 81 };

wxString to_toolkit(const char *text)
{
    return wxString::From8BitData(text ? text : "(null)");
}

} // namespace

void close_launcher_window()
{
    if (wxTheApp && wxTheApp->GetTopWindow())
        wxTheApp->GetTopWindow()->Close(true);
}

wxBEGIN_EVENT_TABLE(launcher_mw, tavi_embedded_window)
    EVT_TIMER(timer_id, launcher_mw::OnTimer)
    EVT_TIMER(progress_event_id, launcher_mw::on_progress)
    EVT_KEY_DOWN(launcher_mw::on_key_down)
wxEND_EVENT_TABLE()

launcher_mw::launcher_mw(wxWindow *parent, wxWindowID id, const wxString &name,
                         const wxPoint &position, const wxSize &size, long style)
    : tavi_embedded_window(parent, id, position, size, style, name),
      timer_(this, timer_id), progress_event_source_(this, progress_event_id)
{
    for (auto &line : status_line_)
        line = new wxStaticText(this, wxID_ANY, name, wxDefaultPosition, wxDefaultSize,
                                wxST_NO_AUTORESIZE);
    SetBackgroundColour(*wxBLACK);

    progress_ = new progress_bar(this, wxID_ANY, to_toolkit("Downloader progress bar"));
    progress_->set_remaining_colour(32, 32, 32);
    progress_->set_done_colour(128, 128, 128);
    progress_->set_geometry(10, 280, 460, 10);
    progress_->Show();

    for (int i = 0; i < 3; i++)
        status_line_[i]->SetSize(10, 230 + 15 * i, 460, 15);

    options_shown_ = 0;
    elapsed_ = 0;
    window_ready = 1;
    timer_.Start(tick_ms, wxTIMER_CONTINUOUS);
    SetFocus();
}

launcher_mw::~launcher_mw()
{
    timer_.Stop();
}

void launcher_mw::draw(tavi_bitmap &bitmap)
{
    if (background_image)
        bitmap.DrawBitmapUseAlpha(*background_image, 0, 0);
}

void launcher_mw::redraw(bool)
{
    Refresh(false);
}

void launcher_mw::OnTimer(wxTimerEvent &)
{
    if (!window_ready) {
        if (log_level > 0)
            log_printf("launcher_mw::OnTimer() - constructor not finished?\n");
        return;
    }
    elapsed_ += tick_ms;
    animate_all(tick_ms);

    if (updater_lock < 0) {
        if (gave_up_)
            return;
        if (try_late_start())
            return;
        if (elapsed_ <= lock_give_up_ms)
            return;
        gave_up_ = 1;
        if (log_level > 0) {
            log_printf("\n");
            log_printf("Sorry, it looks like there's another version of the launcher downloading\n");
            log_printf("updates right now.  Please try again when it's finished.\n");
            log_printf("\n");
        }
        timer_.Stop();
        close_launcher_window();
        return;
    }

    if (elapsed_ <= boot_after_ms || !updater_done.load() || options_shown_ || booted_this_run_)
        return;
    booted_this_run_ = 1;
    boot_sequence();
}

void launcher_mw::on_progress(wxTimerEvent &)
{
    progress_->refresh_if_changed();
    update_status_texts();
}

void launcher_mw::on_key_down(wxKeyEvent &event)
{
    switch (event.GetKeyCode()) {
    case key_escape:
        options_shown_ = !options_shown_;
        update_status_texts();
        break;
    case key_b:
        toggle_beta_mode();
        break;
    case key_q:
        // At once, without waiting for the updater thread: skip the static destructors it may
        // still be using. The log is written unbuffered; flush stdio for anything else.
        fflush(nullptr);
        _exit(0);
    default:
        break;
    }
    event.Skip();
}

void launcher_mw::toggle_beta_mode()
{
    set_beta_test_enable(!get_beta_test_enable());
    update_status_texts();
    if (updater_done.load() == 1)
        try_late_start();
}

int launcher_mw::try_late_start()
{
    updater_lock = tavi_try_lock_file(lock_path.c_str());
    if (updater_lock < 0)
        return 0;
    if (log_level > 1)
        log_printf("OnTimer(), late start of updater thread.\n");
    start_updater_thread();
    return 1;
}

void launcher_mw::start_updater_thread()
{
    updater_done = 0;
    booted_this_run_ = 0;
    if (!tavi_thread_create("executable updater", updater_thread_main, this)) {
        if (log_level > 0)
            log_printf("Launcher failed to spawn download thread, aborting.\n");
        exit(1);
    }
    updater_started = 1;
    update_status_texts();
}

void launcher_mw::update_status_texts()
{
    int beta = get_beta_test_enable() != 0;
    fixed_string line1, line2, line3;
    if (beta) {
        line1.assign("Config Dir: ");
        line1.append(tavi_client_get_config_directory());
    }
    if (!options_shown_) {
        line2.assign(beta ? "(beta test mode - press 'escape' for options)"
                          : "(press 'escape' for options)");
        double percent = progress_->value();
        if (percent > 0) {
            char text[256];
            snprintf(text, sizeof text, "Downloading - %.1f%%", percent);
            line3.assign(text);
        } else if (updater_started) {
            line3.assign("Checking for updates...");
        }
    } else {
        line2.assign("Launcher Version: ");
        line2.append(launcher_version_text());
        if (beta)
            line2.append(" - beta test mode enabled");
        line3.assign(beta ? "Press 'escape' to continue, 'b' to leave BETA TEST mode."
                          : "Press 'escape' to continue, 'b' to enter BETA TEST mode.");
    }
    const fixed_string *texts[3] = {&line1, &line2, &line3};
    for (int i = 0; i < 3; i++) {
        status_line_[i]->SetForegroundColour(*wxWHITE);
        status_line_[i]->SetLabel(to_toolkit(texts[i]->c_str()));
    }
}

void launcher_mw::set_download_progress(double percent)
{
    progress_->store_value(percent);
    wxQueueEvent(this, new wxTimerEvent(progress_event_source_));
}

launcher_frame::launcher_frame(const wxString &title, const wxPoint &position)
    : tavi_frame(nullptr, wxID_ANY, title, position, wxSize(width, height),
                 wxCLIP_CHILDREN | wxWANTS_CHARS | wxFRAME_TOOL_WINDOW | wxBORDER_NONE)
{
    main_window_ = new launcher_mw(this, wxID_ANY, title, wxDefaultPosition,
                                   wxSize(width, height), wxBORDER_NONE);
}
