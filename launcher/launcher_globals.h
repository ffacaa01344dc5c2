// Process-wide launcher state: the paths built at start-up and the updater flags.
#pragma once

#include "support/fixed_string.h"

#include <atomic>

// Under the configuration directory; written by the GUI thread before the updater thread starts.
extern fixed_string manifest_path;      // <dir>/executables/update_manifest.lst
extern fixed_string executables_dir;    // <dir>/executables
extern fixed_string bootname_path;      // <dir>/bootname.txt
extern fixed_string lock_path;          // <dir>/executables/lock.tmp

// Descriptor of the held updater lock file; -1 until the lock was obtained.
extern int updater_lock;
// 0 until an updater thread has been started.
extern int updater_started;
// Set by the updater thread when it finishes, cleared when a thread is started. Read by the GUI
// thread's timer, hence atomic.
extern std::atomic<int> updater_done;
// 0 until the launcher window's constructor has finished.
extern int window_ready;
// Usable display area in pixels.
extern int display_width;
extern int display_height;
