// Starting the client: the list of installed executables and the exec with crash detection.
//
// Before each exec the image's bare name and a line feed are written to the marker file
// (bootname_path). A marker naming an image on the next start means that image failed: it is
// skipped while another image exists, and retried when it is the only one.
#pragma once

#include "support/pointer_array.h"
#include "updater/file_manifest.h"

// Name of the marker file in the configuration directory.
constexpr const char *boot_marker_file_name = "bootname.txt";
// The marker is read as its first line with a buffer of this size (at most 1023 characters).
constexpr int boot_marker_buffer_size = 1024;
// Images whose names contain this text are started only in beta-test mode.
constexpr const char *boot_beta_name_text = "beta";

// The local manifest (manifest_path) as last loaded by build_executable_list().
extern fenu_file_manifest current_manifest;
// The names of the images to try, greatest by strcmp first. The strings belong to
// current_manifest; the list is refilled by each build_executable_list().
extern pointer_array executable_list;

// Called when no image is listed, to close the launcher's top-level window (the program ends
// once the toolkit has processed the close). The default closes the application's top window,
// if there is one.
extern void (*boot_close_launcher_window)();

// ---- change ------------------------------------------------------------------------------

// Reloads current_manifest from manifest_path, drops records whose files are not regular files
// in executables_dir, and fills executable_list with the remaining names in descending strcmp
// order, leaving out names containing "beta" unless beta-test mode is on. A manifest that is
// missing, unreadable, faulty or empty, or an empty executables_dir, leaves the list empty.
void build_executable_list();

// Writes `name` and a line feed to the marker file, replacing its content. 1 on success; 0 when
// it cannot be opened (logged at level 1) or written.
int write_crash_detect_file(const char *name);

// Builds the list and execs the images in order (executables_dir + "/" + name, arguments name,
// "-l" and the launcher version), skipping the one named by the marker unless it is the only
// one, writing the marker before each attempt and going on to the next image when an exec
// fails. Returns only when no image was started: 0 when none was listed (the launcher window is
// then closed through boot_close_launcher_window), else the number of images listed, all of
// which failed. Every step is logged.
int boot_sequence();
