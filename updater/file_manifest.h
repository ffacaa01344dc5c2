// The list of managed files (hash, size, name) in memory, with its by-name index and its text file.
//
// File format: one record per line, "%s %10d %s\n" with hash, size and name, after four comment
// lines and an empty line. Empty, blank and '#' lines are comments. A name is a path relative to
// the destination directory; it may hold '/' and blanks (trailing blanks included), never a ".."
// component.
#pragma once

#include "support/hash_table.h"

#include <cstddef>
#include <cstdint>
#include <new>

// The hash must start with this many lower-case hex digits.
constexpr int manifest_hash_min_prefix = 10;
// Hashes shorter than this are reported (category 32) when saved, and saved all the same.
constexpr int manifest_hash_warn_length = 20;
// load_file reads lines into a buffer of this size: longer lines are cut at 1023 characters.
constexpr int manifest_line_buffer_size = 1024;
// Source labels of the two readers, used in syntax error reports.
constexpr const char *manifest_label_file = "file manifest";
constexpr const char *manifest_label_download = "downloaded data";

// One managed file. Owns its two strings, freed on destruction. A record made by create() keeps
// them inside its own allocation, so replace them only with set_hash and set_name, never with
// free(); their bytes may be changed in place.
struct manifest_record {
    char *name = nullptr;              // relative to the destination directory
    char *hash = nullptr;              // opaque text, compared as a whole
    int32_t size = 0;                  // bytes
private:
    // In the padding after `size`, so that a record stays four words: a large manifest's load
    // time goes mostly to fresh memory.
    bool name_inline_ = false;   // `name` lies in the record's allocation: not freed on its own
    bool hash_inline_ = false;   // the same for `hash`

public:
    manifest_record *link = nullptr;   // next record of the owner's list

    manifest_record() = default;
    ~manifest_record();
    manifest_record(const manifest_record &) = delete;
    manifest_record &operator=(const manifest_record &) = delete;

    // A new record with copies of the first `hash_length` bytes of `hash` (null for none) and of
    // `name_length` bytes of `name` (null for none), in one allocation; freed with delete. Null
    // when memory ran out.
    static manifest_record *create(const char *hash, size_t hash_length, const char *name,
                                   size_t name_length);

    // Replaces the hash with a copy of `text` (null leaves none). 1 on success; 0 when memory ran
    // out, the record then without hash.
    int set_hash(const char *text);
    // Replaces the name with a copy of `text`, as set_hash. Must not be called on a record that
    // is in a manifest (its index is keyed by the name).
    int set_name(const char *text);

    // Records come from malloc, so that create() can allocate the strings with the record.
    static void *operator new(size_t size);
    static void *operator new(size_t size, const std::nothrow_t &) noexcept;
    static void operator delete(void *block) noexcept;

private:
    friend class fenu_file_manifest;

    void replace_hash(char *copy);
};

// 1 when `name` is a usable relative path: not null, not empty, and no '/'-separated component
// is "..". A leading '/' is allowed: every user joins the directory, "/" and the name, so such a
// name still lies inside the directory.
int manifest_name_is_safe(const char *name);

// Parses one manifest line (no line feed expected; one ends the name). Returns 1 with a new
// record in *out_record (owned by the caller, freed with delete) for a record line, 1 with null for a comment line,
// and 0 with null for a syntax error or a name refused by manifest_name_is_safe. An error is
// reported in two lines (category 16): "Syntax error in <label> - <what> for line:", then the
// line unchanged. Also 0, without report, when memory ran out or `line` is null.
[[nodiscard]] int parse_manifest_line(const char *source_label, const char *line,
                                      manifest_record **out_record);

// A manifest: records in list order and an index of them by exact name. Owns its records.
class fenu_file_manifest {
public:
    // ---- create / destroy --------------------------------------------------------------------
    fenu_file_manifest();
    // Frees every record, then the index.
    ~fenu_file_manifest();
    fenu_file_manifest(const fenu_file_manifest &) = delete;
    fenu_file_manifest &operator=(const fenu_file_manifest &) = delete;

    // Frees every record; the manifest is empty afterwards.
    void clear();

    // ---- change ------------------------------------------------------------------------------

    // Appends the records of the file at `path` in file order (call it on an empty manifest).
    // Returns the number of records read; -1 when the file cannot be opened or read (no report)
    // or a line is faulty (reported by parse_manifest_line with the label "file manifest"), in which
    // case the records before that line stay.
    [[nodiscard]] int load_file(const char *path);

    // Writes the header and one line per record in list order to a temporary file beside
    // `path` ("<path>.tmp"), checks every write, flushes it to disk and renames it over `path`
    // (an existing file's permissions are kept).
    // Records whose hash is shorter than 20 characters are reported (category 32) and written.
    // Returns 1 when the new file is in place; on any failure reports "Error in
    // fenu_file_manifest::save_file() - unable to save file '<path>'." (category 16), removes
    // the temporary file, leaves `path` as it was and returns 0.
    [[nodiscard]] int save_file(const char *path) const;

    // Records a downloaded file: when a record of source's name exists, it gets a copy of the
    // source's hash (null leaves none) and its size; otherwise a new record with copies of name,
    // hash and size goes to the head of the list and into the index. Returns 1; 0 when the
    // source has an unsafe name (reported, category 16) or memory ran out, nothing changed.
    int update_record(const manifest_record *source);

    // Drops every record whose `directory` + "/" + name (the name alone for a null or empty
    // directory) is not a regular file. Returns the number of records kept, in unchanged order.
    int remove_missing_files(const char *directory);

    // Appends `record` (which the manifest then owns) at the tail of the list. 1 on success; 0
    // for a record without name, which is freed.
    int append_record(manifest_record *record);

    // ---- query -------------------------------------------------------------------------------

    // The record of exactly this name (the latest added of equal names), or null. When memory
    // ran out while indexing, a record may not be found.
    manifest_record *find_record(const char *name) const;
    // The first record of the list, or null; follow `link` for the rest.
    manifest_record *first_record() const { return records_; }
    // Number of records in the list.
    int32_t record_count() const { return count_; }

private:
    manifest_record *records_ = nullptr;
    manifest_record *tail_ = nullptr;
    int32_t count_ = 0;
    // Loading appends without indexing, so that a manifest that is only walked (the boot list)
    // never pays for the index. The first record not yet indexed, or null; the records from it
    // to the tail are the unindexed ones. find_record() indexes them first.
    mutable manifest_record *unindexed_ = nullptr;
    mutable VoidPointerHashTable by_name_;

    void complete_index() const;
};
