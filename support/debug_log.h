// The process-wide debug log, its level gate, and report_error, the support library's error sink.
#pragma once

#include <atomic>
#include <cstdint>

// Report categories: one bit each, passed to report_error().
enum report_category : uint32_t {
    REPORT_RESOURCE = 1,       // a resource cannot be obtained at all (memory, thread, SSL library)
    REPORT_RUNTIME = 2,        // an operation failed at run time (I/O, exec, inflate, log writes)
    REPORT_MISUSE = 4,         // NULL argument, wrong state, destination too small, duplicates
    REPORT_HASH_BUCKET = 8,    // a hash-table bucket holds more than 50 entries
    REPORT_MANIFEST = 16,      // file manifest errors; giving up on the configuration directory
    REPORT_SHORT_HASH = 32,    // a manifest entry saved with a short hash
    REPORT_FORMAT = 64,        // XML structure, HTTP parsing, unsupported DH key length
    REPORT_CONNECTION = 128,   // connect failures, short DH key requests, XML header warnings
    REPORT_TRACE = 256,        // tracing: files opened or tried, image being started
};

// Verbosity gate: 0 silent, 1 errors and player messages, 2 progress, 3 tracing. Callers test it:
// a message at level n is written when log_level >= n.
extern int log_level;
// Verbose printing mode (start-up sets it; the updater picks its progress output by it).
extern int verbose_printing;

// Formats into a 10240-byte buffer (longer output is cut) and writes it to the log with one
// write(). Opens the log on first use; drops the message when the log cannot be opened.
void log_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// At level 2 and above logs each byte as "%c": line feed and 32..126 as themselves, others as
// '.'. Flushes all stdio streams afterwards.
void log_dump_bytes(const void *data, int length);

// Writes text + "\n" to the log when reports are enabled and `category` has a bit outside the
// mask; tracing (256) needs log_level >= 3, everything else log_level >= 1.
void report_error(const char *text, uint32_t category);
void report_error_enable();
void report_error_disable();
void report_error_set_mask(uint32_t mask);

// A log writer built only on open/dup/write/close: no heap, no stdio, usable in a signal handler.
class tavi_signal_safe_logfile {
public:
    static constexpr int recursion_limit = 25;

    tavi_signal_safe_logfile() = default;
    ~tavi_signal_safe_logfile() { close(); }
    tavi_signal_safe_logfile(const tavi_signal_safe_logfile &) = delete;
    tavi_signal_safe_logfile &operator=(const tavi_signal_safe_logfile &) = delete;

    // Closes any open descriptor, opens `path` for appending (created 0644). 1 on success
    // (any descriptor >= 0), 0 otherwise, leaving the writer closed.
    [[nodiscard]] int open(const char *path);
    // Closes any open descriptor and writes to a duplicate of standard output. 1 on success.
    [[nodiscard]] int use_stdout();
    void close();

    // One write() of the whole text (null writes "(null)"); a short write is not retried.
    // 1 on success, 0 on failure (reported once until a write succeeds again) or when
    // recursion_limit nested writes are in progress.
    int write(const char *text);
    // Writes the decimal form of n without library formatting.
    int write_number(int32_t n);

    bool is_open() const { return descriptor_ >= 0; }
    int descriptor() const { return descriptor_; }

private:
    int descriptor_ = -1;
    std::atomic<int> depth_{0};
    std::atomic<int> write_failed_{0};
};

// The process's log. Closed at normal exit.
extern tavi_signal_safe_logfile debug_log;

// Names the log file; refused (category 4) while the log is open. Clears both names and the
// open-failed flag first; null leaves no name (the log then falls back to standard output).
void tavi_client_set_debug_logfile_name(const char *path);
// Names a log "/tmp/<name>" to be opened on first use; same rules as above.
void tavi_client_set_autoopen_debug_logfile_name(const char *name);
// Opens the log now: the named file, or standard output when no name is set.
void tavi_client_try_open_debug_logfile();
// Closes the log, discards both names and clears the open-failed flag.
void tavi_client_debug_logfile_close();

bool tavi_client_debug_logfile_is_open();
const char *tavi_client_get_autoopen_debug_logfile_name();
// The queries below first open the log if it is closed and no open has failed.
const char *tavi_client_get_debug_logfile_name();
tavi_signal_safe_logfile *tavi_client_get_debug_logfile();
int tavi_client_debug_logfile_open_failed();
