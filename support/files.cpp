// File queries and the exclusive lock file, over POSIX.
#include "support/files.h"

#include "support/debug_log.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int tavi_try_lock_file(const char *path)
{
    if (!path)
        return -1;
    // Close-on-exec: record locks survive execve while their descriptor stays open, so without
    // it the client that the launcher becomes would hold the updater lock for its whole life.
    int descriptor = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return -1;
    if (lockf(descriptor, F_TLOCK, 0) != 0) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

int tavi_unlock_file(int descriptor)
{
    if (descriptor < 0)
        return 0;
    // The lock covers the whole file from its start, so unlock from the start as well.
    int released = lseek(descriptor, 0, SEEK_SET) == 0 && lockf(descriptor, F_ULOCK, 0) == 0;
    close(descriptor);
    return released;
}

int tavi_file_exists(const char *path)
{
    struct stat st;
    return path && stat(path, &st) == 0;
}

int tavi_is_directory(const char *path)
{
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int tavi_is_regular_file(const char *path)
{
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int tavi_filename_get_file_info(const char *path, tavi_file_info *info)
{
    if (!info) {
        report_error("Error in tavi_filename_get_file_info(), NULL dest.", REPORT_MISUSE);
        return 0;
    }
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return 0;
    info->size = int64_t(st.st_size);
    info->modification_time = int64_t(st.st_mtime);
    info->is_regular_file = S_ISREG(st.st_mode) ? 1 : 0;
    info->is_directory = S_ISDIR(st.st_mode) ? 1 : 0;
    return 1;
}

char *tavi_getcwd(char *buffer, size_t size) { return getcwd(buffer, size); }

// A null path fails with EFAULT, as the system call itself would for a bad address.
int tavi_chdir(const char *path)
{
    if (!path) {
        errno = EFAULT;
        return -1;
    }
    return chdir(path);
}

int tavi_unlink(const char *path)
{
    if (!path) {
        errno = EFAULT;
        return -1;
    }
    return unlink(path);
}
