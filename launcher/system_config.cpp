// The launcher's own settings file "launcher.cfg": loading at start-up and saving on change.
#include "launcher/system_config.h"

#include "support/c_string.h"
#include "support/config_directory.h"
#include "support/debug_log.h"
#include "support/fixed_string.h"
#include "support/line_reader.h"
#include "support/string_util.h"
#include "xml/xml_reader.h"
#include "xml/xml_writer.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *built_in_version = "1.096-g64-rc4";
// Buffers for the declaration line, tag names and the version text.
constexpr int config_line_size = 1000;
// Buffer for the flag's decimal text.
constexpr int flag_text_size = 100;

// Read by the updater thread while the GUI thread may switch it.
std::atomic<int> beta_test_enable{0};
char *loaded_version = nullptr;

// <config directory>/launcher.cfg into `path`; 0 when there is no configuration directory.
int build_config_path(fixed_string &path)
{
    const char *directory = tavi_client_get_config_directory();
    if (!directory)
        return 0;
    path.assign(directory);
    path.append("/");
    path.append(system_config_file_name);
    return 1;
}

void read_config_contents(tavi_xml_reader &reader)
{
    char tag[config_line_size];
    while (reader.read_tag(tag, sizeof tag)) {
        if (first_word_equal(tag, "launcher_version")) {
            char version[config_line_size];
            version[0] = '\0';
            // Whatever was read is kept: a damaged version then simply fails to match.
            (void)reader.read_data(version, sizeof version);
            tavi_free_and_clear(&loaded_version);
            loaded_version = tavi_strdup(version);
        } else if (first_word_equal(tag, "beta_test_enable")) {
            int value = beta_test_enable.load(std::memory_order_relaxed);
            if (reader.read_data(&value))
                beta_test_enable.store(value, std::memory_order_relaxed);
        } else {
            reader.skip_data();
        }
    }
}

void read_config_file(FILE *file)
{
    char line[config_line_size];
    line[0] = '\0';
    (void)fget_line(file, line, sizeof line);
    tavi_xml_file_reader reader(file);
    if (!reader.check_xml_header_string(line)) {
        if (log_level > 0)
            log_printf("Warning in load_system_config_file() - bad XML header, bailing.\n");
        return;
    }
    char tag[config_line_size];
    while (reader.read_tag(tag, sizeof tag)) {
        if (first_word_equal(tag, "launcher_config")) {
            read_config_contents(reader);
        } else {
            if (log_level > 0)
                log_printf("load_system_config_file() got unknown tag '%s'\n", tag);
            reader.skip_data();
        }
    }
}

// Writes the whole file to `file`; 0 when the header could not be written.
int write_config(FILE *file, tavi_xml_file_writer &writer, const char *path)
{
    if (writer.write_header() <= 0)
        return 0;
    if (log_level > 2)
        log_printf("Saving system config to file '%s'.\n", path);
    char flag[flag_text_size];
    snprintf(flag, sizeof flag, "%d", beta_test_enable.load(std::memory_order_relaxed));
    writer.write_tag("launcher_config", 1, nullptr);
    writer.write_tag("launcher_version", 0, nullptr);
    writer.write_string(built_in_version);
    writer.end_tag(nullptr, 0);
    writer.write_tag("beta_test_enable", 0, nullptr);
    writer.write_string(flag);
    writer.end_tag(nullptr, 0);
    writer.end_tag(nullptr, 1);
    writer.write_newline();
    // stdio may hold everything until here: only a flush shows whether the bytes went out, and
    // only fsync whether they reached the disk before the rename makes them the settings file.
    return !writer.write_failed() && fflush(file) == 0 && !ferror(file) && fsync(fileno(file)) == 0;
}

// Makes a finished rename of `file` durable; a failure here leaves a correct file, so it is not
// reported.
void sync_directory_of(const char *file)
{
    const char *slash = strrchr(file, '/');
    char directory[PATH_MAX];
    size_t length = slash ? size_t(slash - file) : 0;
    if (!slash || length >= sizeof directory)
        return;
    memcpy(directory, file, length);
    directory[length] = '\0';
    int descriptor = open(length ? directory : "/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        (void)fsync(descriptor);
        close(descriptor);
    }
}

} // namespace

void load_system_config_file()
{
    fixed_string path;
    if (!build_config_path(path)) {
        if (log_level > 0)
            log_printf("Unable to load system config - no config file directory.\n");
        return;
    }
    if (log_level > 2)
        log_printf("load_system_config_file() - using core config file name '%s'.\n", path.c_str());
    FILE *file = fopen(path.c_str(), "rb");
    if (!file) {
        if (log_level > 0)
            log_printf("Unable to load system config - cannot open config file '%s'.\n",
                       path.c_str());
    } else {
        read_config_file(file);
        fclose(file);
    }
    if (loaded_version && strcmp(loaded_version, built_in_version) == 0)
        return;
    (void)save_system_config_file();
}

int save_system_config_file()
{
    fixed_string path;
    if (!build_config_path(path)) {
        if (log_level > 0)
            log_printf("Unable to save system config - no config file directory.\n");
        return 0;
    }
    // The new settings go to a file of this process beside the old one and replace it by rename
    // only when complete, so a full disk or a crash never leaves a damaged settings file. A
    // settings file that is a symbolic link stays one: its target is what gets replaced.
    fixed_string target(path.c_str());
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved))
        target.assign(resolved);
    fixed_string temporary(target.c_str());
    temporary.append(".");
    temporary.append_int(getpid());
    temporary.append(".tmp");
    // A name cut at the buffer's end could be the settings file itself: never truncate that.
    int descriptor = temporary.size() < fixed_string::max_length
                         ? open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)
                         : -1;
    // The new file keeps the old one's permissions (only ever changing a file of our own).
    struct stat created, old_file;
    if (descriptor >= 0 && fstat(descriptor, &created) == 0 && S_ISREG(created.st_mode) &&
        stat(target.c_str(), &old_file) == 0 && S_ISREG(old_file.st_mode))
        (void)fchmod(descriptor, old_file.st_mode & 07777);
    FILE *file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (!file) {
        if (descriptor >= 0) {
            close(descriptor);
            unlink(temporary.c_str());
        }
        if (log_level > 0)
            log_printf("Unable to save system config - cannot open config file '%s'.\n",
                       path.c_str());
        return 0;
    }
    int written;
    {
        tavi_xml_file_writer writer(file);
        written = write_config(file, writer, path.c_str());
    }
    if (fclose(file) != 0)
        written = 0;
    fflush(nullptr);
    if (written && rename(temporary.c_str(), target.c_str()) != 0)
        written = 0;
    if (!written) {
        unlink(temporary.c_str());
        if (log_level > 0)
            log_printf("Error in save_system_config_file(), unable to write to system config file "
                       "'%s'.\n",
                       path.c_str());
        return 0;
    }
    sync_directory_of(target.c_str());
    return 1;
}

void set_beta_test_enable(int value)
{
    if (beta_test_enable.exchange(value, std::memory_order_relaxed) != value)
        (void)save_system_config_file();
}

int get_beta_test_enable() { return beta_test_enable.load(std::memory_order_relaxed); }

const char *launcher_version_text() { return built_in_version; }

const char *loaded_launcher_version_text() { return loaded_version; }
