// The file manifest: records, by-name index, line parser, load and crash-safe save.
#include "updater/file_manifest.h"

#include "support/debug_log.h"
#include "support/files.h"
#include "support/fixed_string.h"
#include "support/line_reader.h"
#include "support/string_util.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// stdio buffer for writing manifest files.
constexpr size_t manifest_stream_buffer_size = 1 << 16;
// stdio buffer for reading them; larger ones read no faster.
constexpr size_t manifest_load_buffer_size = 1 << 14;

const char *const manifest_header_lines =
    "# This is an automatically generated file - do not modify\n"
    "# It contains a list of the files currently managed by the\n"
    "# updater.  Changing or deleting it may cause your next\n"
    "# update to download far more things than it needs.\n"
    "\n";

bool is_blank(char c) { return c == ' ' || c == '\t'; }
// Looked up rather than compared: the digits and letters of a hash come in random order, and a
// branch per character on which kind it is would mostly be mispredicted.
struct lower_hex_table {
    bool is_hex[256] = {};
    constexpr lower_hex_table()
    {
        for (int c = '0'; c <= '9'; c++)
            is_hex[c] = true;
        for (int c = 'a'; c <= 'f'; c++)
            is_hex[c] = true;
    }
};
constexpr lower_hex_table lower_hex;

bool is_lower_hex(char c) { return lower_hex.is_hex[static_cast<unsigned char>(c)]; }

// A malloc'd, terminated copy of the first `length` bytes of `text`, or null.
char *copy_text(const char *text, size_t length)
{
    char *copy = static_cast<char *>(malloc(length + 1));
    if (copy) {
        memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

char *copy_text(const char *text) { return text ? copy_text(text, strlen(text)) : nullptr; }

uint32_t record_name_hash(const void *thing)
{
    return string_hash(static_cast<const manifest_record *>(thing)->name);
}

uint32_t name_key_hash(const void *key) { return string_hash(static_cast<const char *>(key)); }

int record_has_name(const void *thing, const void *key)
{
    const char *name = static_cast<const manifest_record *>(thing)->name;
    return name && strcmp(name, static_cast<const char *>(key)) == 0;
}

int syntax_error(const char *source_label, const char *what, const char *line)
{
    fixed_string message("Syntax error in ");
    message.append(source_label);
    message.append(" - ");
    message.append(what);
    message.append(" for line:");
    report_error(message.c_str(), REPORT_MANIFEST);
    report_error(line, REPORT_MANIFEST);
    return 0;
}

bool is_dot_dot(const char *component, const char *end)
{
    return end - component == 2 && component[0] == '.' && component[1] == '.';
}

// Walks a name up to `end` or, with `line_feed_ends`, to a line feed before it; returns where it
// stopped and sets *safe to manifest_name_is_safe's verdict on the text walked. One pass: names
// are short, and this runs once per loaded record.
const char *walk_name(const char *name, const char *end, bool line_feed_ends, bool *safe)
{
    bool ok = true;
    const char *component = name;
    const char *p = name;
    for (; p < end; p++) {
        if (*p == '/') {
            ok = ok && !is_dot_dot(component, p);
            component = p + 1;
        } else if (*p == '\n' && line_feed_ends) {
            break;
        }
    }
    *safe = ok && p > name && !is_dot_dot(component, p);
    return p;
}

// The bytes that separate a line's words (the end of the text ends a word too).
const char *const word_blanks = " \t\n";
bool is_word_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool is_word_end(char c) { return c == '\0' || is_word_blank(c); }
// Short runs such as the blanks before a size are quicker walked than handed to strspn.
const char *skip_word_blanks(const char *text)
{
    while (is_word_blank(*text))
        text++;
    return text;
}

// What next_arg gives for the word starting at `word` (not blank, not the end): the start of the
// following word, or null.
const char *word_after(const char *word)
{
    while (!is_word_end(*word))
        word++;
    word = skip_word_blanks(word);
    return *word ? word : nullptr;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// parse_int_text, with the usual word of at most nine digits read in place.
int parse_size(const char *word, int *size)
{
    int value = 0;
    int digits = 0;
    while (digits < 9 && is_digit(word[digits]))
        value = value * 10 + (word[digits++] - '0');
    if (digits > 0 && !is_digit(word[digits])) {
        *size = value;
        return 1;
    }
    return parse_int_text(word, size);
}

// parse_manifest_line for a line of `length` bytes (line[length] is its terminator).
int parse_line(const char *source_label, const char *line, size_t length,
               manifest_record **out_record)
{
    const char *hash = line;
    while (is_blank(*hash))
        hash++;
    if (*hash == '\0' || *hash == '#')
        return 1;

    for (int i = 0; i < manifest_hash_min_prefix; i++)
        if (!is_lower_hex(hash[i]))
            return syntax_error(source_label, "bad or missing hash field", line);
    const char *hash_end = hash + manifest_hash_min_prefix;
    hash_end += strcspn(hash_end, word_blanks);

    int size = 0;
    const char *size_word = skip_word_blanks(hash_end);
    if (!*size_word || !parse_size(size_word, &size))
        return syntax_error(source_label, "bad or missing file size", line);

    const char *name = word_after(size_word);
    if (!name)
        return syntax_error(source_label, "missing file name", line);
    // A line feed cannot be stored in a one-line record; it ends the name.
    bool safe = false;
    size_t name_length = size_t(walk_name(name, line + length, true, &safe) - name);
    if (!safe)
        return syntax_error(source_label, "unsafe file name", line);

    size_t hash_length = size_t(hash_end - hash);
    if (hash_length > size_t(fixed_string::max_length))
        hash_length = fixed_string::max_length;
    manifest_record *record = manifest_record::create(hash, hash_length, name, name_length);
    if (!record)
        return 0;
    record->size = size;
    *out_record = record;
    return 1;
}

// 1 when a record's line, as save_file writes it, is read back by load_file as the same record.
bool record_reads_back(const manifest_record *record)
{
    const char *hash = record->hash;
    if (!hash)
        return false;
    for (int i = 0; i < manifest_hash_min_prefix; i++)
        if (!is_lower_hex(hash[i]))
            return false;
    if (strpbrk(hash, " \t\n\r"))
        return false;
    const char *name = record->name;
    return manifest_name_is_safe(name) && !is_blank(name[0]) && !strpbrk(name, "\n\r");
}

} // namespace

// ---- manifest_record -----------------------------------------------------------------------

static_assert(sizeof(manifest_record) == 4 * sizeof(void *), "the flags fill the padding");

manifest_record::~manifest_record()
{
    if (!name_inline_)
        free(name);
    if (!hash_inline_)
        free(hash);
}

void *manifest_record::operator new(size_t size)
{
    void *block = malloc(size);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void *manifest_record::operator new(size_t size, const std::nothrow_t &) noexcept
{
    return malloc(size);
}

void manifest_record::operator delete(void *block) noexcept { free(block); }

manifest_record *manifest_record::create(const char *hash, size_t hash_length, const char *name,
                                         size_t name_length)
{
    size_t texts = (hash ? hash_length + 1 : 0) + (name ? name_length + 1 : 0);
    void *block = malloc(sizeof(manifest_record) + texts);
    if (!block)
        return nullptr;
    manifest_record *record = ::new (block) manifest_record;
    char *text = reinterpret_cast<char *>(record + 1);
    if (hash) {
        record->hash = text;
        record->hash_inline_ = true;
        memcpy(text, hash, hash_length);
        text[hash_length] = '\0';
        text += hash_length + 1;
    }
    if (name) {
        record->name = text;
        record->name_inline_ = true;
        memcpy(text, name, name_length);
        text[name_length] = '\0';
    }
    return record;
}

void manifest_record::replace_hash(char *copy)
{
    if (!hash_inline_)
        free(hash);
    hash = copy;
    hash_inline_ = false;
}

int manifest_record::set_hash(const char *text)
{
    replace_hash(nullptr);
    hash = copy_text(text);
    return hash || !text;
}

int manifest_record::set_name(const char *text)
{
    if (!name_inline_)
        free(name);
    name = copy_text(text);
    name_inline_ = false;
    return name || !text;
}

int manifest_name_is_safe(const char *name)
{
    bool safe = false;
    if (name)
        (void)walk_name(name, name + strlen(name), false, &safe);
    return safe;
}

int parse_manifest_line(const char *source_label, const char *line, manifest_record **out_record)
{
    if (!out_record)
        return 0;
    *out_record = nullptr;
    if (!line)
        return 0;
    return parse_line(source_label, line, strlen(line), out_record);
}

// ---- fenu_file_manifest --------------------------------------------------------------------

fenu_file_manifest::fenu_file_manifest() : by_name_(record_name_hash, name_key_hash, record_has_name)
{
}

fenu_file_manifest::~fenu_file_manifest() { clear(); }

void fenu_file_manifest::clear()
{
    by_name_.remove_all();
    manifest_record *record = records_;
    while (record) {
        manifest_record *next = record->link;
        delete record;
        record = next;
    }
    records_ = tail_ = unindexed_ = nullptr;
    count_ = 0;
}

void fenu_file_manifest::complete_index() const
{
    // Appended records form a suffix of the list; the rest is indexed already.
    for (manifest_record *record = unindexed_; record; record = record->link)
        (void)by_name_.add(record);
    unindexed_ = nullptr;
}

int fenu_file_manifest::append_record(manifest_record *record)
{
    if (!record->name) {
        delete record;
        return 0;
    }
    record->link = nullptr;
    if (tail_)
        tail_->link = record;
    else
        records_ = record;
    tail_ = record;
    if (!unindexed_)
        unindexed_ = record;
    count_++;
    return 1;
}

int fenu_file_manifest::load_file(const char *path)
{
    FILE *stream = path ? fopen(path, "rbe") : nullptr;
    if (!stream)
        return -1;
    // The stream is private to this call: no locking per character.
    __fsetlocking(stream, FSETLOCKING_BYCALLER);
    // On the stack rather than from malloc: a large allocation makes glibc's malloc first merge
    // all the small blocks freed so far, such as the records of a manifest just cleared.
    char stream_buffer[manifest_load_buffer_size];
    setvbuf(stream, stream_buffer, _IOFBF, sizeof stream_buffer);

    char line[manifest_line_buffer_size];
    int read = 0;
    int result = 0;
    for (int got; (got = fget_line(stream, line, sizeof line)) > 0;) {
        manifest_record *record = nullptr;
        if (!parse_line(manifest_label_file, line, size_t(got - 1), &record)) {
            result = -1;
            break;
        }
        if (record) {
            if (!append_record(record)) {
                result = -1;
                break;
            }
            read++;
        }
    }
    // A read error (a directory, an I/O fault) is not the end of the file.
    if (ferror(stream))
        result = -1;
    fclose(stream);
    return result < 0 ? -1 : read;
}

int fenu_file_manifest::save_file(const char *path) const
{
    fixed_string temporary(path);
    temporary.append(".tmp");
    int descriptor = path ? open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)
                          : -1;
    FILE *stream = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    bool ok = stream != nullptr;
    if (!stream && descriptor >= 0)
        close(descriptor);

    // The new file keeps the permissions of the one it replaces.
    struct stat old;
    if (ok && stat(path, &old) == 0 && S_ISREG(old.st_mode))
        ok = fchmod(descriptor, old.st_mode & 07777) == 0;
    if (ok) {
        __fsetlocking(stream, FSETLOCKING_BYCALLER);
        setvbuf(stream, nullptr, _IOFBF, manifest_stream_buffer_size);
        ok = fputs(manifest_header_lines, stream) >= 0;
    }
    for (const manifest_record *record = records_; ok && record; record = record->link) {
        size_t hash_length = record->hash ? strlen(record->hash) : 0;
        if (hash_length < size_t(manifest_hash_warn_length)) {
            fixed_string message("Error in fenu_file_manifest::save_file(), file '");
            message.append(record->name);
            message.append("' had short hash len of ");
            message.append_int(static_cast<long long>(hash_length));
            message.append(".\n");
            report_error(message.c_str(), REPORT_SHORT_HASH);
        }
        // A line that would not load back would make the whole file unreadable.
        if (!record_reads_back(record)) {
            fixed_string message("Error in fenu_file_manifest::save_file(), file '");
            message.append(record->name);
            message.append("' has a hash or name that cannot be read back, not saved.");
            report_error(message.c_str(), REPORT_MANIFEST);
            continue;
        }
        ok = fprintf(stream, "%s %10d %s\n", record->hash, int(record->size), record->name) > 0;
    }
    if (stream) {
        ok = ok && fflush(stream) == 0 && fsync(descriptor) == 0;
        ok = (fclose(stream) == 0) && ok;
    }
    ok = ok && rename(temporary.c_str(), path) == 0;
    if (ok)
        return 1;

    if (descriptor >= 0)
        unlink(temporary.c_str());
    fixed_string message("Error in fenu_file_manifest::save_file() - unable to save file '");
    message.append(path);
    message.append("'.");
    report_error(message.c_str(), REPORT_MANIFEST);
    return 0;
}

manifest_record *fenu_file_manifest::find_record(const char *name) const
{
    if (!name)
        return nullptr;
    complete_index();
    return static_cast<manifest_record *>(by_name_.find(name));
}

int fenu_file_manifest::update_record(const manifest_record *source)
{
    if (!source || !source->name)
        return 0;
    if (!manifest_name_is_safe(source->name)) {
        fixed_string message("Error in fenu_file_manifest::update_record(), unsafe file name '");
        message.append(source->name);
        message.append("'.");
        report_error(message.c_str(), REPORT_MANIFEST);
        return 0;
    }
    manifest_record *record = find_record(source->name);
    if (record) {
        char *hash = copy_text(source->hash);
        if (source->hash && !hash)
            return 0;
        record->replace_hash(hash);
        record->size = source->size;
        return 1;
    }

    record = manifest_record::create(source->hash, source->hash ? strlen(source->hash) : 0,
                                     source->name, strlen(source->name));
    if (!record)
        return 0;
    record->size = source->size;
    if (!by_name_.add(record)) {
        delete record;
        return 0;
    }
    record->link = records_;
    records_ = record;
    if (!tail_)
        tail_ = record;
    count_++;
    return 1;
}

int fenu_file_manifest::remove_missing_files(const char *directory)
{
    bool joined = directory && *directory;
    fixed_string path;
    manifest_record **link = &records_;
    manifest_record *previous = nullptr;
    bool indexed = true;   // false from the first unindexed record on
    while (manifest_record *record = *link) {
        if (record == unindexed_)
            indexed = false;
        path.clear();
        if (joined) {
            path.append(directory);
            path.append('/');
        }
        path.append(record->name);
        if (tavi_is_regular_file(path.c_str())) {
            previous = record;
            link = &record->link;
            continue;
        }
        *link = record->link;
        if (indexed)
            (void)by_name_.remove(record);
        else if (record == unindexed_)
            unindexed_ = record->link;
        delete record;
        count_--;
    }
    tail_ = previous;
    return count_;
}
