// The launcher's own settings file "launcher.cfg": the launcher version and the beta-test flag.
#pragma once

// Name of the file inside the configuration directory.
constexpr const char *system_config_file_name = "launcher.cfg";

// Loads "launcher.cfg" from the configuration directory into the process-wide settings, then
// saves the file unless it held this launcher's version (so a missing, damaged or foreign file is
// replaced by one holding the values in memory). With no configuration directory it only logs.
// Call once at start-up, on the GUI thread.
void load_system_config_file();

// Writes the settings to "launcher.cfg": first to "launcher.cfg.<pid>.tmp" beside it, checking
// every write, the flush and the close, then renamed over the old file. Returns 1 when the new
// file is in place; 0 on failure, which is logged and leaves the old file as it was.
int save_system_config_file();

// Stores the beta-test flag; saves the file when the value differs from the stored one.
void set_beta_test_enable(int value);

// The beta-test flag (non-zero means on). Safe to call from the updater thread.
int get_beta_test_enable();

// This launcher's version, "1.096-g64-rc4".
const char *launcher_version_text();

// The version text read from the file by the last load, or null when none was read.
const char *loaded_launcher_version_text();
