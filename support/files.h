// File queries and the exclusive lock file, over POSIX.
#pragma once

#include <cstddef>
#include <cstdint>

// What tavi_filename_get_file_info() learns about a path (links followed).
struct tavi_file_info {
    int32_t is_directory;        // 1 for a directory, else 0
    int32_t is_regular_file;     // 1 for a regular file, else 0
    int64_t size;                // bytes
    int64_t modification_time;   // seconds since the Unix epoch
};

// ---- lock file ---------------------------------------------------------------------------

// Opens `path` read-write (created 0600) and takes an exclusive record lock over the whole
// file without waiting. Returns the descriptor, which holds the lock while it stays open, or
// -1 (nothing left open) when the file cannot be opened or another process holds the lock. The
// lock belongs to the process: a second call from the same process succeeds, and unlocking or
// closing any of its descriptors for the file drops the process's lock. The descriptor is
// close-on-exec, so a program exec'd by this process neither inherits it nor keeps the lock.
[[nodiscard]] int tavi_try_lock_file(const char *path);

// Releases the lock taken by tavi_try_lock_file() and closes `descriptor`. Returns 1 when the
// release succeeded; 0 when it failed (the descriptor is closed all the same) or for a
// negative descriptor (nothing done).
int tavi_unlock_file(int descriptor);

// ---- query -------------------------------------------------------------------------------

// 1 when `path` can be queried with stat (links followed), else 0.
int tavi_file_exists(const char *path);
// 1 when `path` is a directory, else 0.
int tavi_is_directory(const char *path);
// 1 when `path` is a regular file, else 0.
int tavi_is_regular_file(const char *path);

// Fills `info` from stat(path) and returns 1; anything neither a directory nor a regular file
// has both flags 0. Returns 0 leaving `info` unchanged when stat fails, and reports a null
// `info`.
[[nodiscard]] int tavi_filename_get_file_info(const char *path, tavi_file_info *info);

// ---- thin wrappers: results and errno as getcwd(), chdir(), unlink() ----------------------

char *tavi_getcwd(char *buffer, size_t size);
int tavi_chdir(const char *path);
int tavi_unlink(const char *path);
