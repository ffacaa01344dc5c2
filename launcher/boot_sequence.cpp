// The boot sequence: list of installed images, crash-detection marker, exec with fall-back.
#include "launcher/boot_sequence.h"

#include "launcher/launcher_globals.h"
#include "launcher/launcher_window.h"
#include "launcher/system_config.h"
#include "support/debug_log.h"
#include "support/fixed_string.h"
#include "support/line_reader.h"
#include "support/pointer_heap.h"
#include "support/processes.h"

#include <cstdio>
#include <cstring>


fenu_file_manifest current_manifest;
pointer_array executable_list;

namespace {

// The list starts empty on its inline slots.
struct executable_list_setup {
    executable_list_setup() { pointer_array_init(&executable_list); }
} const executable_list_ready;

// Greatest name first out of the heap.
int greater_name_first(const void *first, const void *second)
{
    return strcmp(static_cast<const char *>(second), static_cast<const char *>(first));
}

// The marker's first line, or empty when there is no marker.
void read_previous_image(fixed_string *previous)
{
    previous->clear();
    FILE *stream = fopen(bootname_path.c_str(), "rbe");
    if (!stream)
        return;
    char line[boot_marker_buffer_size];
    line[0] = '\0';
    (void)fget_line(stream, line, sizeof line);
    fclose(stream);
    previous->append(line);
}

void log_no_executables()
{
    if (log_level < 1)
        return;
    log_printf("\n");
    log_printf("Sorry, no executables found - cannot start game.\n");
    log_printf("This launcher will attempt to download one if you restart it.\n");
    log_printf("If this message continues to occur, please notify the game admin.\n");
    log_printf("\n");
}

} // namespace

void (*boot_close_launcher_window)() = close_launcher_window;

void build_executable_list()
{
    pointer_array_release(&executable_list);
    pointer_array_init(&executable_list);

    current_manifest.clear();
    // Without the directory the names would resolve elsewhere.
    if (executables_dir.empty())
        return;
    if (current_manifest.load_file(manifest_path.c_str()) <= 0)
        return;
    if (current_manifest.remove_missing_files(executables_dir.c_str()) <= 0)
        return;

    pointer_heap heap;
    if (!pointer_heap_init(&heap, greater_name_first))
        return;
    bool beta = get_beta_test_enable() != 0;
    for (manifest_record *record = current_manifest.first_record(); record; record = record->link) {
        if (!record->name)
            continue;
        if (!beta && strstr(record->name, boot_beta_name_text))
            continue;
        (void)pointer_heap_push(&heap, record->name);
    }
    while (void *name = pointer_heap_pop(&heap))
        (void)pointer_array_append(&executable_list, name);
    pointer_heap_release(&heap);
}

int write_crash_detect_file(const char *name)
{
    FILE *stream = fopen(bootname_path.c_str(), "wbe");
    if (!stream) {
        if (log_level >= 1)
            log_printf("write_crash_detect_file(), unable to open file '%s' for writing.\n",
                       bootname_path.c_str());
        return 0;
    }
    bool ok = fputs(name, stream) >= 0 && fputc('\n', stream) != EOF;
    return (fclose(stream) == 0) && ok;
}

int boot_sequence()
{
    build_executable_list();

    fixed_string previous;
    read_previous_image(&previous);

    int count = executable_list.count;
    if (count == 0) {
        log_no_executables();
        if (boot_close_launcher_window)
            boot_close_launcher_window();
    }
    if (log_level >= 3)
        log_printf("Loaded %d entries from current manifest file '%s'.\n", count,
                   manifest_path.c_str());
    for (int i = 0; i < count && log_level >= 2; i++)
        log_printf("Got executable filename '%s'.\n",
                   static_cast<const char *>(executable_list.items[i]));

    for (int i = 0; i < count; i++) {
        const char *name = static_cast<const char *>(executable_list.items[i]);
        if (strcmp(name, previous.c_str()) == 0) {
            if (log_level >= 1)
                log_printf("Previous boot of image '%s' failed.\n", name);
            if (count != 1) {
                if (log_level >= 1)
                    log_printf("Skipping, will try older images.\n");
                continue;
            }
            if (log_level >= 1)
                log_printf("No other images, retrying.\n");
        }
        (void)write_crash_detect_file(name);

        fixed_string path(executables_dir.c_str());
        path.append('/');
        path.append(name);
        if (log_level >= 3)
            log_printf("Trying executable '%s'.\n", path.c_str());
        char *const arguments[] = {const_cast<char *>(name), const_cast<char *>("-l"),
                                   const_cast<char *>(launcher_version_text()), nullptr};
        tavi_boot_exec(path.c_str(), arguments);
        if (log_level >= 1) {
            log_printf("Boot exec for filename '%s' failed.\n", path.c_str());
            log_printf("Trying next in line.\n");
        }
    }

    if (log_level >= 1) {
        log_printf("Sorry, no valid executables found - cannot start game.\n");
        log_printf("If this message continues to occur, please notify the game admin.\n");
    }
    return count;
}
