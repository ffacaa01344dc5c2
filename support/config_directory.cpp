// The per-user configuration directory of this process, and the directory creation it rests on.
#include "support/config_directory.h"

#include "support/debug_log.h"
#include "support/fixed_string.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int config_directory_mode = 0700;

// Set once a set-up succeeded. A static buffer rather than a heap copy: a replacing set-up
// rewrites the text in place, so a pointer handed out earlier never dangles.
fixed_string config_path;
bool config_path_set = false;

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Runs the writeability check on one candidate and reports it.
bool check_candidate(const fixed_string &candidate)
{
    bool passed = tavi_create_and_check_writeable_directory(candidate.c_str()) == 1;
    fixed_string message("Checking config directory: ");
    message.append(candidate.c_str());
    if (!passed)
        message.append(" [FAIL]");
    report_error(message.c_str(), REPORT_TRACE);
    return passed;
}

} // namespace

int tavi_client_set_up_config_directory(const char *name)
{
    if (!name)
        return 0;
    if (config_path_set) {
        report_error("Error in tavi_client_set_up_config_directory(), attempt to change config "
                     "directory path after initial configuration.",
                     REPORT_MISUSE);
        fixed_string message("Old path '");
        message.append(config_path.c_str());
        message.append("', new base name '");
        message.append(name);
        message.append("'");
        report_error(message.c_str(), REPORT_TRACE);
    }
    const char *home = getenv("HOME");
    if (!home) {
        report_error("Error in tavi_client_set_up_config_directory(), unable to fetch home "
                     "directory - please set HOME environment variable and restart.",
                     REPORT_MISUSE);
        return 0;
    }
    fixed_string candidates[4];
    candidates[0].assign(home);
    candidates[0].append("/.");
    candidates[0].append(name);
    candidates[1].assign(".");
    candidates[1].append(name);
    candidates[2].assign("/tmp/");
    candidates[2].append(name);
    candidates[3].assign(name);
    for (const fixed_string &candidate : candidates) {
        if (!check_candidate(candidate))
            continue;
        config_path.assign(candidate.c_str());
        config_path_set = true;
        fixed_string message("tavi_client_set_up_config_directory() - got final config directory '");
        message.append(config_path.c_str());
        message.append("'");
        report_error(message.c_str(), REPORT_TRACE);
        return 1;
    }
    report_error("tavi_client_set_up_config_directory() - Giving up.  Cannot create config directory.",
                 REPORT_MANIFEST);
    return 0;
}

int tavi_recursive_mkdir(const char *path, int mode, fixed_string *error_path)
{
    if (!path) {
        report_error("Error in tavi_recursive_mkdir(), NULL path.", REPORT_MISUSE);
        return 0;
    }
    fixed_string built;
    const char *at = path;
    if (is_separator(*at)) {
        built.append('/');
        at++;
    }
    fixed_string component;
    for (;; at++) {
        if (*at == '\0')
            return 1;
        if (!is_separator(*at)) {
            component.append(*at);
            continue;
        }
        if (component.empty())
            continue;
        built.append(component.c_str());
        component.clear();
        if (mkdir(built.c_str(), mode_t(mode)) != 0 && errno != EEXIST) {
            if (error_path)
                error_path->append(built.c_str());
            return 0;
        }
        built.append('/');
    }
}

int tavi_create_and_check_writeable_directory(const char *path, fixed_string *error_path)
{
    if (!path) {
        report_error("Error in tavi_create_and_check_writeable_directory(), NULL path.",
                     REPORT_MISUSE);
        return 0;
    }
    fixed_string built;
    if (*path) {
        built.assign(path);
        built.append('/');
        if (!tavi_recursive_mkdir(built.c_str(), config_directory_mode, error_path))
            return 0;
    }
    fixed_string probe(built.c_str());
    probe.append(tavi_write_probe_name);
    int descriptor = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        if (error_path)
            error_path->append(probe.c_str());
        return 0;
    }
    close(descriptor);
    unlink(probe.c_str());
    return 1;
}

int tavi_client_cd_to_config_directory()
{
    if (!config_path_set)
        return 0;
    if (chdir(config_path.c_str()) == 0)
        return 1;
    struct failure_text {
        int error;
        const char *text;
    };
    static const failure_text texts[] = {
        {EACCES, "Error in tavi_client_cd_to_config_directory(), failed due to access permissions."},
        {ENOTDIR, "Error in tavi_client_cd_to_config_directory(), target path is not a directory."},
        {ENOENT, "Error in tavi_client_cd_to_config_directory(), target path does not exist."},
    };
    int error = errno;
    for (const failure_text &entry : texts)
        if (entry.error == error)
            report_error(entry.text, REPORT_MISUSE);
    return 0;
}

const char *tavi_client_get_config_directory()
{
    return config_path_set ? config_path.c_str() : nullptr;
}
