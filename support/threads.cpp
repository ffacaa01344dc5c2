// Detached worker threads, the counting blocker, sleep_ms and the process-wide lock file.
#include "support/threads.h"

#include "support/debug_log.h"
#include "support/files.h"

#include <cstdlib>
#include <ctime>

namespace {

// Heap record handed to the new thread, which owns and frees it.
struct thread_start {
    tavi_thread_function function;
    void *argument;
};

void *thread_entry(void *record)
{
    thread_start *start = static_cast<thread_start *>(record);
    start->function(start->argument);
    free(start);
    return nullptr;
}

// Global lock state: belongs to one thread at a time.
int global_lock_held = 0;
int global_lock_descriptor = -1;

} // namespace

int tavi_thread_create(const char *name, tavi_thread_function function, void *argument)
{
    (void)name;
    thread_start *start = static_cast<thread_start *>(malloc(sizeof(thread_start)));
    bool started = false;
    if (start && function) {
        start->function = function;
        start->argument = argument;
        pthread_attr_t attributes;
        if (pthread_attr_init(&attributes) == 0) {
            pthread_t thread;
            if (pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0)
                started = pthread_create(&thread, &attributes, thread_entry, start) == 0;
            pthread_attr_destroy(&attributes);
        }
    }
    if (!started) {
        free(start);
        report_error("Error in tavi_thread_create(), thread create failed?", REPORT_RESOURCE);
        return 0;
    }
    return 1;
}

tavi_thread_blocker::tavi_thread_blocker() : unblock_count_(0)
{
    pthread_mutex_init(&mutex_, nullptr);
    pthread_cond_init(&condition_, nullptr);
}

tavi_thread_blocker::~tavi_thread_blocker()
{
    if (unblock_count_ != 0) {
        report_error("Error in ~tavi_thread_blocker(), unblock counter was nonzero on destruct?",
                     REPORT_RUNTIME);
        return;
    }
    pthread_cond_destroy(&condition_);
    pthread_mutex_destroy(&mutex_);
}

void tavi_thread_blocker::block()
{
    pthread_mutex_lock(&mutex_);
    while (unblock_count_ <= 0)
        pthread_cond_wait(&condition_, &mutex_);
    unblock_count_--;
    pthread_mutex_unlock(&mutex_);
}

void tavi_thread_blocker::unblock()
{
    pthread_mutex_lock(&mutex_);
    pthread_cond_signal(&condition_);
    unblock_count_++;
    pthread_mutex_unlock(&mutex_);
}

void sleep_ms(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    struct timespec duration;
    duration.tv_sec = milliseconds / 1000;
    duration.tv_nsec = long(milliseconds % 1000) * 1000000L;
    nanosleep(&duration, nullptr);
}

int take_global_lock(const char *path)
{
    // A second lock from this process would succeed (record locks belong to the process) and
    // lose the first descriptor, which could then never be released.
    if (global_lock_held)
        return 0;
    global_lock_held = 1;
    int descriptor = tavi_try_lock_file(path);
    if (descriptor == -1) {
        global_lock_held = 0;
        return 0;
    }
    global_lock_descriptor = descriptor;
    return 1;
}

int release_global_lock()
{
    if (!global_lock_held)
        return 0;
    int result = tavi_unlock_file(global_lock_descriptor);
    global_lock_descriptor = -1;
    global_lock_held = 0;
    return result;
}
