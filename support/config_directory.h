// The per-user configuration directory of this process, and the directory creation it rests on.
#pragma once

class fixed_string;

// Name of the probe file written and deleted to prove that a directory is writeable.
inline constexpr const char *tavi_write_probe_name = "xx-rw-test.qqq";

// ---- create ------------------------------------------------------------------------------

// Finds or creates a writeable directory for `name` (a bare name, no leading dot), trying in
// order $HOME/.name, ./.name, /tmp/name and ./name, each created with mode 0700 and checked
// with a probe file. Returns 1 and remembers the path that passed (exactly as tried), or 0: at
// once for a null `name` or an unset HOME, else when no candidate passes. A second call reports
// the misuse, goes on, and on success replaces the remembered path; on failure the old path
// stays.
[[nodiscard]] int tavi_client_set_up_config_directory(const char *name);

// Creates every directory named by a component of `path` that is followed by a separator ('/'
// or '\\'); the text after the last separator is taken to be a file name and is not created.
// Existing entries count as made. Returns 1 on success (a path without separator creates
// nothing); 0 for a null path or when a mkdir fails, appending the failing path to
// `error_path` when that is given. Directories made before the failure stay.
[[nodiscard]] int tavi_recursive_mkdir(const char *path, int mode, fixed_string *error_path = nullptr);

// Creates `path` and its missing parents with mode 0700 (an empty path means the working
// directory), then creates and deletes the probe file in it. Returns 1 when the probe could be
// written; 0 otherwise (null path, mkdir failure, probe not writeable), appending the failing
// path to `error_path` when that is given, and leaving no probe file behind.
[[nodiscard]] int tavi_create_and_check_writeable_directory(const char *path,
                                                            fixed_string *error_path = nullptr);

// ---- change ------------------------------------------------------------------------------

// Changes the working directory to the configuration directory. 1 on success; 0 when no
// directory is set (silently) or chdir fails (reported for EACCES, ENOTDIR and ENOENT).
[[nodiscard]] int tavi_client_cd_to_config_directory();

// ---- query -------------------------------------------------------------------------------

// The path found by set-up, or null before a set-up succeeded. The pointer stays valid for the
// life of the process; a later successful set-up changes the text it points at.
const char *tavi_client_get_config_directory();
