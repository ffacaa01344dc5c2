// extra_desc records, the nodes of tagged record lists, taken from a process-wide pool.
#pragma once

#include "support/object_pool.h"

#include <cstdint>

// One record of a tagged list. The texts are heap copies owned by the record (null when absent).
struct extra_desc {
    int32_t e_values[3];
    char *s_text;
    char *l_text;
    char *a_text;
    extra_desc *next;
};

// Refill size of the record pool, whose type name is "struct extra_desc".
constexpr int extra_desc_block_size = 65536;
// The pool every record comes from and goes back to. Unlocked: one thread at a time.
extern object_pool extra_desc_pool;

// A record from the pool with values 0, no texts and no next record. Never null.
extra_desc *new_extra_desc();
// Frees the record's texts and gives it back to the pool (not its successors); null is ignored.
void free_extra_desc(extra_desc *record);
// Frees every record of *list and sets *list to null; a null `list` is ignored.
void free_extra_list(extra_desc **list);
// Frees *list, then fills it with copies (values and texts) of the records of `source`, in order.
// Returns the number of records copied. `source` must not share records with *list.
int copy_extra_list(extra_desc **list, const extra_desc *source);
// Links `record` (and whatever follows it) after the last record of *list.
void append_extra_desc(extra_desc **list, extra_desc *record);
