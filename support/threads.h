// Detached worker threads, a counting blocker, a millisecond sleep and a process-wide lock file.
#pragma once

#include <cstdint>
#include <pthread.h>

// A thread body: gets the argument given to tavi_thread_create(); its result is not read.
typedef long (*tavi_thread_function)(void *argument);

// ---- threads -----------------------------------------------------------------------------

// Starts function(argument) on a new detached thread (nobody joins it). `name` documents the
// thread for the caller and is not used. Returns 1 when the thread was started; 0 after
// reporting "Error in tavi_thread_create(), thread create failed?" (category 1) when it could
// not be (or `function` is null), in which case nothing is called. May be called from any
// thread.
[[nodiscard]] int tavi_thread_create(const char *name, tavi_thread_function function,
                                     void *argument);

// ---- blocker -----------------------------------------------------------------------------

// A counting gate: each unblock() lets exactly one block() through, whether it came before or
// after that block(). Any number of threads may block on one blocker.
class tavi_thread_blocker {
public:
    tavi_thread_blocker();
    // Unblocks not consumed by a block() at this point are reported (category 2), and the mutex
    // and condition variable are then left undestroyed.
    ~tavi_thread_blocker();
    tavi_thread_blocker(const tavi_thread_blocker &) = delete;
    tavi_thread_blocker &operator=(const tavi_thread_blocker &) = delete;

    // Waits until an unblock is available, then consumes it.
    void block();
    // Makes one unblock available and wakes one waiter.
    void unblock();

private:
    pthread_mutex_t mutex_;
    pthread_cond_t condition_;
    int32_t unblock_count_;   // unblock() calls not yet consumed by block()
};

// ---- sleeping ----------------------------------------------------------------------------

// One nanosleep of `milliseconds`; a signal may end it early and it is not resumed. Zero or a
// negative value returns at once.
void sleep_ms(int milliseconds);

// ---- process-wide lock file --------------------------------------------------------------
// The lock state lives in the library and is not synchronised: one thread at a time uses it.

// Takes the exclusive lock file `path` (created 0600) without waiting and keeps it for the
// process. Returns 1 when the lock was taken; 0 when another process holds it or the file
// cannot be opened (nothing is held then), and 0 when this process already holds the global
// lock (that lock stays held, untouched).
[[nodiscard]] int take_global_lock(const char *path);

// Releases and closes the lock taken by take_global_lock(). Returns 1 when the release
// succeeded, 0 when it failed (the lock counts as released all the same) or nothing was held.
int release_global_lock();
