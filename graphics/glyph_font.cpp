// Glyph tables: single glyphs, glyph strips and glyphs rendered from a toolkit font.
#include "graphics/glyph_font.h"

#include <wx/dcmemory.h>

namespace {

// A 32-bit copy of `glyph`; one without alpha data goes through an image, as if opaque.
tavi_bitmap *copy_glyph(const wxBitmap &glyph)
{
    if (glyph.HasAlpha() && glyph.GetDepth() == 32)
        return new tavi_bitmap(glyph);
    return new tavi_bitmap(glyph.ConvertToImage());
}

} // namespace

glyph_font::~glyph_font()
{
    clear();
}

int glyph_font::set_glyph(int code, const wxBitmap &glyph)
{
    if (!glyph.IsOk())
        return 0;
    tavi_bitmap *copy = copy_glyph(glyph);
    if (!copy->IsOk()) {
        delete copy;
        return 0;
    }
    int slot = code & (glyph_count - 1);
    delete glyphs_[slot];
    glyphs_[slot] = copy;
    return 1;
}

void glyph_font::remove_glyph(int code)
{
    int slot = code & (glyph_count - 1);
    delete glyphs_[slot];
    glyphs_[slot] = nullptr;
}

void glyph_font::clear()
{
    for (tavi_bitmap *&glyph : glyphs_) {
        delete glyph;
        glyph = nullptr;
    }
}

int glyph_font::load_strip(const wxBitmap &strip, const char *characters, const int *widths)
{
    if (!characters || !widths || !strip.IsOk())
        return -1;
    long long total = 0;
    int count = 0;
    for (; characters[count]; count++) {
        if (widths[count] < 1)
            return -1;
        total += widths[count];
    }
    if (total > strip.GetWidth())
        return -1;
    int x = 0;
    for (int i = 0; i < count; i++) {
        wxBitmap piece = strip.GetSubBitmap(wxRect(x, 0, widths[i], strip.GetHeight()));
        if (!set_glyph(static_cast<unsigned char>(characters[i]), piece))
            return i;
        x += widths[i];
    }
    return count;
}

int glyph_font::load_toolkit_font(const wxFont &font)
{
    if (!font.IsOk())
        return -1;
    int stored = 0;
    wxBitmap probe(1, 1, 24);
    wxMemoryDC measure(probe);
    measure.SetFont(font);
    for (int code = first_printable; code <= last_printable; code++) {
        char c = char(code);
        wxString text = wxString::From8BitData(&c, 1);
        wxCoord width = 0, height = 0;
        measure.GetTextExtent(text, &width, &height);
        if (width < 1 || height < 1)
            continue;
        wxBitmap canvas(width, height, 24);
        {
            wxMemoryDC dc(canvas);
            dc.SetBackground(*wxBLACK_BRUSH);
            dc.Clear();
            dc.SetFont(font);
            dc.SetTextForeground(*wxWHITE);
            dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
            dc.DrawText(text, 0, 0);
        }
        if (set_glyph(code, canvas))
            stored++;
    }
    return stored;
}

int glyph_font::size() const
{
    int count = 0;
    for (const tavi_bitmap *glyph : glyphs_)
        count += glyph != nullptr;
    return count;
}
