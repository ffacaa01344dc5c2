// Heap copies of C strings: a null-safe duplicate and its matching free-and-clear.
#pragma once

// A malloc'd copy of `text`; null for a null `text` or when memory runs out.
char *tavi_strdup(const char *text);

// Frees *text (which came from tavi_strdup or malloc) and sets it to null.
void tavi_free_and_clear(char **text);
