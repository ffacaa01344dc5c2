// Process-wide launcher state.
#include "launcher/launcher_globals.h"

fixed_string manifest_path;
fixed_string executables_dir;
fixed_string bootname_path;
fixed_string lock_path;
int updater_lock = -1;
int updater_started = 0;
std::atomic<int> updater_done{0};
int window_ready = 0;
int display_width = 0;
int display_height = 0;
