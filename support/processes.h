// Starting programs: in place of this process, in a new detached process, or a web browser.
#pragma once

// Images shorter than this are taken to be damaged downloads.
constexpr long tavi_boot_file_min_size = 100;
// Longest URL handed to the browser; longer ones are cut.
constexpr int tavi_http_fork_max_url_length = 1013;

// ---- start -------------------------------------------------------------------------------

// Makes `path` mode 0700, flushes all stdio streams and replaces this process with it
// (execv with the null-terminated `arguments`). Returns only on failure, after reporting the
// failing call with its errno (a failed chmod skips the exec).
void tavi_boot_exec(const char *path, char *const arguments[]);

// Makes `path` mode 0700 and starts it (execv with `arguments`) in a child process that leads
// a new session, without waiting for it. Returns 1 in the parent once the child exists (an
// exec failure is reported by the child, which ends with status 1); 0 after reporting a
// failed chmod or fork.
[[nodiscard]] int tavi_fork_exec(const char *path, char *const arguments[]);

// Runs the browser "firefox" with `url` (cut at tavi_http_fork_max_url_length) as its one
// argument, with no shell in between, and waits for it. Returns 1 when the browser process
// was not ended by a signal, whatever its exit status (also when it could not be started),
// and when there is no child to wait for (SIGCHLD ignored); 0 after reporting a failed fork
// or wait, or when a signal ended it.
int tavi_http_fork(const char *url);

// ---- query -------------------------------------------------------------------------------

// 1 when `path` cannot be opened for reading or holds fewer than tavi_boot_file_min_size
// bytes (both reported), else 0.
int tavi_is_boot_file_bad(const char *path);
