// Fuzz target for the manifest line parser: any line either fails cleanly or gives a record that
// obeys the syntax, has a safe name and reads back the same after being written.
#include "support/debug_log.h"
#include "updater/file_manifest.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool is_lower_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

void check(bool condition)
{
    if (!condition)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    report_error_disable();
    std::string line(reinterpret_cast<const char *>(data), size);   // cut at the first NUL

    manifest_record *record = nullptr;
    int result = parse_manifest_line(manifest_label_download, line.c_str(), &record);
    if (!result) {
        check(record == nullptr);
        return 0;
    }
    if (!record)
        return 0;

    check(record->hash && record->name);
    for (int i = 0; i < manifest_hash_min_prefix; i++)
        check(is_lower_hex(record->hash[i]));
    check(!strpbrk(record->hash, " \t\n"));
    check(manifest_name_is_safe(record->name));
    check(!strchr(record->name, '\n'));
    check(record->name[0] != ' ' && record->name[0] != '\t');

    // The saved form of the record parses back to the same record.
    std::string written = std::string(record->hash) + " " + std::to_string(record->size) + " " +
                          record->name;
    char sized[32];
    snprintf(sized, sizeof sized, "%10d", int(record->size));
    std::string saved = std::string(record->hash) + " " + sized + " " + record->name;
    for (const std::string &again_line : {written, saved}) {
        manifest_record *again = nullptr;
        check(parse_manifest_line(manifest_label_file, again_line.c_str(), &again) == 1);
        check(again && strcmp(again->hash, record->hash) == 0 &&
              strcmp(again->name, record->name) == 0 && again->size == record->size);
        delete again;
    }
    delete record;
    return 0;
}
