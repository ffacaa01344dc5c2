// Reads a tagged record list from arbitrary bytes, writes it back and checks that the written
// form reads back as the same records.
#include "support/debug_log.h"
#include "support/record_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool same_text(const char *x, const char *y)
{
    return (!x && !y) || (x && y && strcmp(x, y) == 0);
}

bool same_lists(const extra_desc *a, const extra_desc *b)
{
    for (; a && b; a = a->next, b = b->next) {
        if (memcmp(a->e_values, b->e_values, sizeof a->e_values) != 0 ||
            !same_text(a->a_text, b->a_text) || !same_text(a->s_text, b->s_text) ||
            !same_text(a->l_text, b->l_text))
            return false;
    }
    return !a && !b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    log_level = 0;   // the reports are expected; keep the run quiet
    if (size == 0)
        return 0;   // fmemopen refuses an empty buffer
    // An exact-size heap copy, so that a read past the input is caught.
    char *bytes = static_cast<char *>(malloc(size));
    memcpy(bytes, data, size);
    FILE *in = fmemopen(bytes, size, "r");
    if (!in) {
        free(bytes);
        return 0;
    }
    extra_desc *list = nullptr;
    int records = fget_extra_list(in, &list);
    fclose(in);
    free(bytes);

    char *written = nullptr;
    size_t written_size = 0;
    FILE *out = open_memstream(&written, &written_size);
    if (!out || !fput_extra_list(out, list))
        abort();
    fclose(out);

    FILE *again = fmemopen(written, written_size, "r");
    if (!again)
        abort();
    extra_desc *back = nullptr;
    int records_back = fget_extra_list(again, &back);
    fclose(again);
    free(written);
    if (records_back != records || !same_lists(list, back))
        abort();
    free_extra_list(&list);
    free_extra_list(&back);
    return 0;
}
