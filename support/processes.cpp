// Starting programs: in place of this process, in a new detached process, or a web browser.
#include "support/processes.h"

#include "support/debug_log.h"
#include "support/fixed_string.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int message_buffer_size = 1024;

// Reports `format` (holding two %d: a call's result and its errno) + " Filename: " + path.
void report_call_failure(const char *format, int result, int error, const char *path)
{
    char buffer[message_buffer_size];
    snprintf(buffer, sizeof buffer, format, result, error);
    fixed_string message(buffer);
    message.append(" Filename: ");
    message.append(path);
    report_error(message.c_str(), REPORT_RUNTIME);
}

void report_trying(const char *opening, const char *path)
{
    fixed_string message(opening);
    message.append(path);
    message.append("'");
    report_error(message.c_str(), REPORT_TRACE);
}

// chmod() that fails with EFAULT for a null path instead of handing null to the library.
int make_owner_executable(const char *path)
{
    if (!path) {
        errno = EFAULT;
        return -1;
    }
    return chmod(path, 0700);
}

} // namespace

void tavi_boot_exec(const char *path, char *const arguments[])
{
    int result = make_owner_executable(path);
    if (result != 0) {
        report_call_failure("Error in tavi_boot_exec(), chmod failed.  Return code %d, error code %d.",
                            result, errno, path);
        return;
    }
    report_trying("tavi_boot_exec() - trying to boot image '", path);
    fflush(nullptr);
    result = execv(path, arguments);
    report_call_failure("Error in tavi_boot_exec(), exec failed.  Return code %d, error code %d.",
                        result, errno, path);
    fflush(nullptr);
}

int tavi_fork_exec(const char *path, char *const arguments[])
{
    int result = make_owner_executable(path);
    if (result != 0) {
        report_call_failure("Error in tavi_fork_exec(), chmod failed.  Return code %d, error code %d.",
                            result, errno, path);
        return 0;
    }
    report_trying("tavi_fork_exec() - trying to run image '", path);
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        setsid();
        execv(path, arguments);
        report_call_failure("Error in tavi_fork_exec(), exec failed.  Return code %d, error code %d.",
                            0, errno, path);
        fflush(nullptr);
        // _exit: the child must not run the parent's exit handlers and static destructors.
        _exit(1);
    }
    if (child < 0) {
        report_call_failure("Error in tavi_fork_exec(), fork failed.  Return code %d, error code %d.",
                            int(child), errno, path);
        fflush(nullptr);
        return 0;
    }
    return 1;
}

int tavi_http_fork(const char *url)
{
    if (!url) {
        report_error("Error in tavi_http_fork(), NULL url.", REPORT_MISUSE);
        return 0;
    }
    // The URL goes to the browser as one argument of its own: no shell ever reads it.
    char url_copy[tavi_http_fork_max_url_length + 1];
    snprintf(url_copy, sizeof url_copy, "%s", url);
    char browser[] = "firefox";
    char *arguments[] = {browser, url_copy, nullptr};

    pid_t child = fork();
    if (child == 0) {
        execvp(arguments[0], arguments);
        _exit(127);   // as a shell ends when it cannot find the command
    }
    int error = errno;
    if (child > 0) {
        int status = 0;
        pid_t waited;
        do {
            waited = waitpid(child, &status, 0);
        } while (waited < 0 && errno == EINTR);
        if (waited == child)
            return (status & 0x7f) == 0 ? 1 : 0;
        error = errno;
        // With SIGCHLD ignored the child is reaped by the system: it ran, nothing to wait for.
        if (error == ECHILD)
            return 1;
    }
    fixed_string message("tavi_http_fork() failed with errno ");
    message.append_int(error);
    message.append(".");
    report_error(message.c_str(), REPORT_RUNTIME);
    return 0;
}

int tavi_is_boot_file_bad(const char *path)
{
    int descriptor = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (descriptor < 0) {
        fixed_string message("tavi_is_boot_file_bad() - cannot open image file '");
        message.append(path);
        message.append("'.");
        report_error(message.c_str(), REPORT_TRACE);
        return 1;
    }
    off_t size = lseek(descriptor, 0, SEEK_END);
    close(descriptor);
    if (size >= tavi_boot_file_min_size)
        return 0;
    fixed_string message("tavi_is_boot_file_bad() - image '");
    message.append(path);
    message.append("' is too small to be valid.");
    report_error(message.c_str(), REPORT_RUNTIME);
    return 1;
}
