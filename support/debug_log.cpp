// The debug log: one destination per process, written with single write() calls.
#include "support/debug_log.h"

#include "support/c_string.h"
#include "support/fixed_string.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int log_level = 1;
int verbose_printing = 0;

tavi_signal_safe_logfile debug_log;

namespace {

constexpr int format_buffer_size = 10240;

int report_switch = 1;
uint32_t report_mask = 0;
char *logfile_name = nullptr;
char *autoopen_name = nullptr;
int open_failed = 0;

void discard_names()
{
    tavi_free_and_clear(&logfile_name);
    tavi_free_and_clear(&autoopen_name);
    open_failed = 0;
}

void debug_logfile_autoopen()
{
    if (debug_log.is_open() || open_failed)
        return;
    if (!logfile_name && autoopen_name) {
        fixed_string name("/tmp/");
        name.append(autoopen_name);
        logfile_name = tavi_strdup(name.c_str());
    }
    tavi_client_try_open_debug_logfile();
}

} // namespace

// ---- tavi_signal_safe_logfile ------------------------------------------------------------

int tavi_signal_safe_logfile::open(const char *path)
{
    close();
    if (!path)
        return 0;
    descriptor_ = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return descriptor_ >= 0;
}

int tavi_signal_safe_logfile::use_stdout()
{
    close();
    descriptor_ = ::fcntl(1, F_DUPFD_CLOEXEC, 0);
    return descriptor_ >= 0;
}

void tavi_signal_safe_logfile::close()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
    descriptor_ = -1;
}

int tavi_signal_safe_logfile::write(const char *text)
{
    if (depth_ >= recursion_limit) {
        if (depth_ == recursion_limit) {
            ++depth_;
            report_error("Error in tavi_signal_safe_logfile::write(), recursion limiter triggered.",
                         REPORT_RUNTIME);
            --depth_;
        }
        return 0;
    }
    if (!text)
        text = "(null)";
    ++depth_;
    ssize_t written = ::write(descriptor_, text, strlen(text));
    if (written < 0) {
        if (!write_failed_) {
            report_error("Error in tavi_signal_safe_logfile::write(), write failed.", REPORT_RUNTIME);
            write_failed_ = 1;
        }
        --depth_;
        return 0;
    }
    write_failed_ = 0;
    --depth_;
    return 1;
}

int tavi_signal_safe_logfile::write_number(int32_t n)
{
    char digits[16];
    int at = sizeof digits - 1;
    digits[at] = '\0';
    // Work on the negative side so that the most negative value needs no special case.
    int32_t rest = n > 0 ? -n : n;
    do {
        digits[--at] = char('0' - rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (n < 0)
        digits[--at] = '-';
    return write(digits + at);
}

// ---- logging -------------------------------------------------------------------------------

void log_printf(const char *format, ...)
{
    if (!debug_log.is_open()) {
        if (open_failed)
            return;
        debug_logfile_autoopen();
        if (!debug_log.is_open() || open_failed)
            return;
    }
    char buffer[format_buffer_size];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    debug_log.write(buffer);
}

void log_dump_bytes(const void *data, int length)
{
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    for (int i = 0; bytes && i < length; i++) {
        if (log_level > 1) {
            unsigned char c = bytes[i];
            log_printf("%c", (c == '\n' || (c >= 32 && c <= 126)) ? c : '.');
        }
    }
    fflush(nullptr);
}

// ---- report_error --------------------------------------------------------------------------

void report_error(const char *text, uint32_t category)
{
    if (!report_switch)
        return;
    uint32_t unmasked = category & ~report_mask;
    if (!unmasked)
        return;
    int needed = (unmasked & REPORT_TRACE) ? 3 : 1;
    if (log_level >= needed)
        log_printf("%s\n", text ? text : "(null)");
}

void report_error_enable() { report_switch = 1; }
void report_error_disable() { report_switch = 0; }
void report_error_set_mask(uint32_t mask) { report_mask = mask; }

// ---- log file control ----------------------------------------------------------------------

void tavi_client_set_debug_logfile_name(const char *path)
{
    if (debug_log.is_open()) {
        report_error("Error in tavi_client_set_debug_logfile_name(), logfile already open.",
                     REPORT_MISUSE);
        return;
    }
    discard_names();
    logfile_name = tavi_strdup(path);
}

void tavi_client_set_autoopen_debug_logfile_name(const char *name)
{
    if (debug_log.is_open()) {
        report_error("Error in tavi_client_set_autoopen_debug_logfile_name(), logfile already open.",
                     REPORT_MISUSE);
        return;
    }
    discard_names();
    autoopen_name = tavi_strdup(name);
}

void tavi_client_try_open_debug_logfile()
{
    if (debug_log.is_open()) {
        report_error("Error in tavi_client_try_open_debug_logfile(), logfile already open.",
                     REPORT_MISUSE);
        return;
    }
    fixed_string message;
    if (logfile_name) {
        if (debug_log.open(logfile_name)) {
            open_failed = 0;
            message.assign("tavi_client_try_open_debug_logfile() opened logfile '");
        } else {
            open_failed = 1;
            message.assign("tavi_client_try_open_debug_logfile() failed to open logfile '");
        }
        message.append(logfile_name);
        message.append("'");
    } else if (debug_log.use_stdout()) {
        open_failed = 0;
        message.assign("tavi_client_try_open_debug_logfile() - using STDOUT.");
    } else {
        open_failed = 1;
        message.assign("tavi_client_try_open_debug_logfile() - unable to use STDOUT for log data.");
    }
    report_error(message.c_str(), REPORT_TRACE);
}

void tavi_client_debug_logfile_close()
{
    if (!debug_log.is_open()) {
        report_error("Error in tavi_client_debug_logfile_close(), no logfile open.", REPORT_MISUSE);
        return;
    }
    debug_log.close();
    discard_names();
}

bool tavi_client_debug_logfile_is_open() { return debug_log.is_open(); }

const char *tavi_client_get_autoopen_debug_logfile_name() { return autoopen_name; }

const char *tavi_client_get_debug_logfile_name()
{
    debug_logfile_autoopen();
    return logfile_name;
}

tavi_signal_safe_logfile *tavi_client_get_debug_logfile()
{
    debug_logfile_autoopen();
    return &debug_log;
}

int tavi_client_debug_logfile_open_failed()
{
    debug_logfile_autoopen();
    return open_failed;
}
