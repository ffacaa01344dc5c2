// Start-up and command line, and the body of the updater thread.
#include "launcher/launcher_app.h"

#include "launcher/launcher_globals.h"
#include "launcher/launcher_window.h"
#include "launcher/system_config.h"
#include "launcher/assets/background_png.h"
#include "net/ssl_context.h"
#include "support/config_directory.h"
#include "support/debug_log.h"
#include "support/files.h"
#include "support/fixed_string.h"
#include "support/string_util.h"
#include "support/transliterate.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <wx/display.h>
#include <wx/image.h>
#include <wx/mstream.h>

wxIMPLEMENT_APP_NO_MAIN(launcher_app);

namespace {

constexpr const char *config_directory_name = "Morvelle";
constexpr const char *log_file_name = "/pelter_launcher_log.txt";
[[maybe_unused]] constexpr const char *update_host = MORVELLE_UPDATE_HOST;
[[maybe_unused]] constexpr const char *update_root = "/downloads/pelter_v3";
[[maybe_unused]] constexpr const char *remote_manifest_name = "manifest_linux64_executables.txt.gz";
constexpr int fallback_display_width = 640;
constexpr int fallback_display_height = 480;

void print_help(const char *program)
{
    const char *lines[] = {"Syntax:\n", nullptr, "\n", "Options are:\n",
                           "  -h   - this help screen\n", "  -b   - switch to beta test mode\n",
                           "  -u   - switch out of beta test mode\n",
                           "  -v   - more verbose debug printing\n", "\n"};
    for (const char *line : lines) {
        if (log_level < 1)
            continue;
        if (line)
            log_printf("%s", line);
        else
            log_printf("%s [-h] [-b] [-u] [-v]\n", program);
    }
}

// Handles the command line in order; exits after -h or an unknown option.
void read_command_line(int argc, char **argv)
{
    fixed_string program;
    for (int i = 0; i < argc; i++) {
        fixed_string argument;
        utf8_to_ascii(argv[i], argument);
        if (i == 0) {
            program.assign(argument.c_str());
            if (log_level > 0)
                log_printf("Executable name '%s'.\n", argument.c_str());
        } else if (word_in_list(argument.c_str(), "-h --help")) {
            print_help(program.c_str());
            exit(0);
        } else if (word_in_list(argument.c_str(), "-b --beta")) {
            if (log_level > 0)
                log_printf("Forcing beta test mode.\n");
            set_beta_test_enable(1);
        } else if (word_in_list(argument.c_str(), "-u --unbeta")) {
            if (log_level > 0)
                log_printf("Forcing non-beta test mode.\n");
            set_beta_test_enable(0);
        } else if (word_in_list(argument.c_str(), "-v --verbose")) {
            if (log_level > 0)
                log_printf("Setting verbose printing mode.\n");
            verbose_printing = 1;
        } else {
            if (log_level > 0)
                log_printf("Sorry, unknown command line option '%s'.  Use '-h' for a list.\n",
                           argument.c_str());
            exit(1);
        }
    }
}

void build_path(fixed_string &path, const char *directory, const char *tail)
{
    path.assign(directory);
    path.append(tail);
}

void decode_background_image()
{
    wxMemoryInputStream stream(background_png, background_png_size);
    wxImage image(stream, wxBITMAP_TYPE_PNG);
    if (!image.IsOk()) {
        if (log_level > 0)
            log_printf("Error in OnInit(), unable to decode the background picture.\n");
        background_image = new tavi_bitmap(launcher_frame::width, launcher_frame::height);
        background_image->Clear(bitmap_rgb{0, 0, 0});
        return;
    }
    background_image = new tavi_bitmap(image);
}

} // namespace

namespace {

int command_line_count = 0;
char **command_line = nullptr;

// Toolkit messages go to the launcher's log, never to a dialog (standard error before the log
// is open, since a message then would open the log on standard output for good).
void log_toolkit_text(const char *text)
{
    if (!tavi_client_debug_logfile_is_open())
        fputs(text, stderr);
    else if (log_level > 0)
        log_printf("%s", text);
}

class toolkit_log : public wxLog {
protected:
    void DoLogTextAtLevel(wxLogLevel, const wxString &message) override
    {
        wxString line = wxString::From8BitData("Toolkit message: ") + message +
                        wxString::From8BitData("\n");
        log_toolkit_text(line.To8BitData().data());
    }
};

} // namespace

void set_command_line(int argc, char **argv)
{
    command_line_count = argc;
    command_line = argv;
}

wxLog *new_toolkit_log()
{
    return new toolkit_log;
}

void log_toolkit_assert(const wxString &file, int line, const wxString &function,
                        const wxString &condition, const wxString &message)
{
    // Before start-up has named the log, a message would open the log on standard output for
    // good: use standard error instead.
    char text[2048];
    snprintf(text, sizeof text, "Toolkit assertion '%s' failed in %s() at %s:%d: %s\n",
             condition.To8BitData().data(), function.To8BitData().data(),
             file.To8BitData().data(), line, message.To8BitData().data());
    log_toolkit_text(text);
}

bool launcher_app::OnInit()
{
    // Messages and status texts are formatted byte for byte, whatever the player's locale.
    setlocale(LC_NUMERIC, "C");

    if (!tavi_client_set_up_config_directory(config_directory_name)) {
        printf("Boot failed, unable to get at system config directory.\n");
        fflush(stdout);
        exit(1);
    }
    verbose_printing = 1;
    log_level = 3;
    const char *directory = tavi_client_get_config_directory();

    fixed_string log_name;
    build_path(log_name, directory, log_file_name);
    tavi_client_set_debug_logfile_name(log_name.c_str());
    if (log_level > 2)
        log_printf("--------------------------- LAUNCHER START --------------------------\n");

    ssl_startup_check();
    load_system_config_file();

    manifest_path.append(directory);
    manifest_path.append("/executables/update_manifest.lst");
    executables_dir.append(directory);
    executables_dir.append("/executables");
    bootname_path.append(directory);
    bootname_path.append("/bootname.txt");

    // The bytes as the system gave them: the toolkit's own copy went through a conversion that
    // loses whatever is not valid in the locale's encoding.
    read_command_line(command_line_count, command_line);

    wxImage::AddHandler(new wxPNGHandler);
    decode_background_image();

    launcher_frame *frame = new launcher_frame(wxString::From8BitData("Morvelle Launcher"),
                                               wxDefaultPosition);

    int display_index = wxDisplay::GetFromWindow(frame);
    wxDisplay display(display_index == wxNOT_FOUND ? 0u : unsigned(display_index));
    wxRect area = display.GetClientArea();
    display_width = area.GetWidth();
    display_height = area.GetHeight();
    if (display_width < 1) {
        if (log_level > 0)
            log_printf("Error in OnInit(), got bogus screen/display xsize of %d.  Setting to 640.\n",
                       display_width);
        display_width = fallback_display_width;
    }
    if (display_height < 1) {
        if (log_level > 0)
            log_printf("Error in OnInit(), got bogus screen/display ysize of %d.  Setting to 480.\n",
                       display_height);
        display_height = fallback_display_height;
    }
    if (log_level > 1)
        log_printf("OnInit(), got screen/display size of %d, %d.\n", display_width, display_height);

    frame->Move((display_width - launcher_frame::width) / 2,
                (display_height - launcher_frame::height) / 2);
    frame->Show(true);
    SetTopWindow(frame);

    build_path(lock_path, directory, "/executables/lock.tmp");
    // Makes the executables directory; when that fails, so does the lock below, and the window
    // retries it.
    (void)tavi_recursive_mkdir(lock_path.c_str(), 0700, nullptr);

    updater_lock = tavi_try_lock_file(lock_path.c_str());
    if (updater_lock >= 0) {
        frame->main_window()->start_updater_thread();
    } else if (log_level > 1) {
        log_printf("OnInit(), unable to get updater file lock.\n");
    }
    return true;
}

int launcher_app::OnExit()
{
    if (log_level > 2)
        log_printf("--------------------------- LAUNCHER EXIT --------------------------\n");
    return 0;
}

int ssl_startup_check()
{
    signal(SIGPIPE, SIG_IGN);
    if (init_ssl())
        return 1;
    if (log_level > 0)
        log_printf("Boot failed, SSL startup is broken.\n");
    return 0;
}

long updater_thread_main(void *window)
{
    // The lock this run holds. The GUI thread may take the lock again (and store a new
    // descriptor in updater_lock) as soon as it sees updater_done, so read it only here.
    int held_lock = updater_lock;
    fixed_string download_path;
    download_path.append(tavi_client_get_config_directory());
    download_path.append("/executables/download.tmp");
    // The update run (update_host, update_root, remote_manifest_name, progress reported to
    // `window`) arrives with the updater; until then there is nothing to fetch.
    (void)window;
    // Release before announcing the end: record locks belong to the process, so a new run's
    // lock taken on seeing updater_done would be dropped by closing this descriptor afterwards.
    tavi_unlock_file(held_lock);
    updater_done = 1;
    return 0;
}
