// A font of glyph bitmaps for tavi_bitmap's text drawing, indexed by 7-bit character codes.
#pragma once

#include "graphics/bitmap.h"

#include <wx/font.h>

// A glyph is a tavi_bitmap whose green channel is the ink coverage (0 background .. 255 full
// ink) and whose width is the advance. The font owns deep copies of its glyphs.
class glyph_font {
public:
    static constexpr int glyph_count = 128;          // codes 0..127; a character uses its low 7 bits
    static constexpr int first_printable = 32;       // range rendered from a toolkit font
    static constexpr int last_printable = 126;

    // --- create / destroy ---

    glyph_font() = default;
    ~glyph_font();
    glyph_font(const glyph_font &) = delete;
    glyph_font &operator=(const glyph_font &) = delete;

    // --- change ---

    // Stores a deep copy of `glyph` for the low seven bits of `code`, replacing any glyph there.
    // 1 on success; 0 when `glyph` is invalid, leaving the table unchanged.
    [[nodiscard]] int set_glyph(int code, const wxBitmap &glyph);
    // Drops the glyph of `code`, if any.
    void remove_glyph(int code);
    // Drops every glyph.
    void clear();

    // Cuts glyphs from a strip laid out left to right: characters[i] gets the next widths[i]
    // columns at the strip's full height. Returns the number of glyphs stored, or -1 (table
    // unchanged) when an argument is null, the strip is invalid, a width is below 1 or the widths
    // run past the strip.
    [[nodiscard]] int load_strip(const wxBitmap &strip, const char *characters, const int *widths);

    // Renders first_printable..last_printable with a toolkit font, white ink on black, so the
    // coverage is the toolkit's anti-aliasing; each glyph is as wide as the font advances it and
    // as high as the font's line. Needs an initialised toolkit. Returns the number of glyphs
    // stored, or -1 (table unchanged) for an invalid font.
    [[nodiscard]] int load_toolkit_font(const wxFont &font);

    // --- query ---

    // The glyph for the low seven bits of `code`, or null.
    const tavi_bitmap *glyph(int code) const { return glyphs_[code & (glyph_count - 1)]; }
    // Number of glyphs held.
    int size() const;

private:
    tavi_bitmap *glyphs_[glyph_count] = {};
};
