// extra_desc records and their pool.
#include "support/extra_desc.h"

#include "support/c_string.h"

object_pool extra_desc_pool = {nullptr, "struct extra_desc", extra_desc_block_size,
                               int32_t(sizeof(extra_desc))};

extra_desc *new_extra_desc()
{
    extra_desc *record = static_cast<extra_desc *>(object_pool_take(&extra_desc_pool));
    record->e_values[0] = record->e_values[1] = record->e_values[2] = 0;
    record->s_text = nullptr;
    record->l_text = nullptr;
    record->a_text = nullptr;
    record->next = nullptr;
    return record;
}

void free_extra_desc(extra_desc *record)
{
    if (!record)
        return;
    tavi_free_and_clear(&record->s_text);
    tavi_free_and_clear(&record->l_text);
    tavi_free_and_clear(&record->a_text);
    record->next = nullptr;
    object_pool_give(&extra_desc_pool, record);
}

void free_extra_list(extra_desc **list)
{
    if (!list)
        return;
    extra_desc *record = *list;
    *list = nullptr;
    while (record) {
        extra_desc *next = record->next;
        free_extra_desc(record);
        record = next;
    }
}

int copy_extra_list(extra_desc **list, const extra_desc *source)
{
    if (!list)
        return 0;
    free_extra_list(list);
    int copied = 0;
    extra_desc **tail = list;
    for (; source; source = source->next) {
        extra_desc *copy = new_extra_desc();
        for (int i = 0; i < 3; ++i)
            copy->e_values[i] = source->e_values[i];
        copy->s_text = tavi_strdup(source->s_text);
        copy->l_text = tavi_strdup(source->l_text);
        copy->a_text = tavi_strdup(source->a_text);
        *tail = copy;
        tail = &copy->next;
        ++copied;
    }
    return copied;
}

void append_extra_desc(extra_desc **list, extra_desc *record)
{
    if (!list)
        return;
    extra_desc **tail = list;
    while (*tail)
        tail = &(*tail)->next;
    *tail = record;
}
