// Heap copies of C strings.
#include "support/c_string.h"

#include <cstdlib>
#include <cstring>

char *tavi_strdup(const char *text)
{
    return text ? strdup(text) : nullptr;
}

void tavi_free_and_clear(char **text)
{
    if (!text)
        return;
    free(*text);
    *text = nullptr;
}
