// An off-screen 32-bit RGBA picture on the toolkit's bitmap, with software drawing primitives.
#pragma once

#include <wx/bitmap.h>
#include <wx/image.h>

class glyph_font;

// A colour; each channel is meant to be 0..255 and is stored as its low byte.
struct bitmap_rgb {
    int red;
    int green;
    int blue;
};

// Pixels are four bytes, red, green, blue, alpha; x grows to the right, y downwards, (0, 0) is
// the top-left pixel. Every primitive takes the toolkit's raw pixel access and releases it before
// returning. Unless a primitive says otherwise it leaves alpha alone and clips to the bitmap:
// parts outside are skipped without a message. When pixel access fails (an invalid bitmap, or one
// without 32-bit alpha data) the fills, copies and glyphs draw nothing and log one
// "Error in tavi_bitmap::<Operation>(), pixel data ... failed?" line at level 2; pixels, lines
// and polygons draw nothing silently.
//
// Copies made by this class (copy construction, assignment, construction from a toolkit bitmap)
// are deep: they share no pixels with the source.
class tavi_bitmap : public wxBitmap {
public:
    static constexpr int default_size = 16;           // side of a default-constructed bitmap
    static constexpr int max_side = 32767;            // the most the display can show
    static constexpr int polygon_min_points = 3;
    static constexpr int polygon_max_edges = 1000;    // size of the polygon edge table
    static constexpr int polygon_max_points = polygon_max_edges - 1;

    // --- create / destroy ---

    // A default_size square, 32 bits, opaque black.
    tavi_bitmap();
    // width x height, 32 bits, opaque black. A width or height below 1 or above max_side, or
    // pixels the toolkit cannot allocate, leave the bitmap invalid (IsOk() false): every
    // primitive then fails as described above.
    tavi_bitmap(int width, int height);
    // The toolkit's conversion of `image` at its default depth. An image without alpha is
    // converted as if opaque (a mask becomes alpha 0), so the result always has 32-bit data; an
    // invalid image gives an invalid bitmap.
    explicit tavi_bitmap(const wxImage &image);
    // Deep copy of the source's whole area; an invalid source gives an invalid bitmap.
    explicit tavi_bitmap(const wxBitmap &source);
    tavi_bitmap(const tavi_bitmap &source);
    tavi_bitmap &operator=(const wxBitmap &source);
    tavi_bitmap &operator=(const tavi_bitmap &source);
    ~tavi_bitmap() override = default;

    // --- change ---

    // Alpha of every pixel = 255; colours unchanged.
    void ClearAlpha();
    // Every pixel = (colour, 255).
    void Clear(bitmap_rgb colour);
    // Colour of pixel (x, y) when it lies inside; alpha unchanged.
    void SetPixel(int x, int y, bitmap_rgb colour);
    void SetPixel(int x, int y, int red, int green, int blue);

    // The rectangle with both corners included, in either corner order.
    void DrawFilledRectangle(int x1, int y1, int x2, int y2, bitmap_rgb colour);
    // A disc: row y spans cx +- sqrt((r + 1) * r - (y - cy)^2), truncated; a radius of 0 (or
    // less) is the single centre pixel, 1 the 3 x 3 block.
    void DrawFilledCircle(int cx, int cy, int radius, bitmap_rgb colour);
    // Colour runs left to right in steps of (colour2 - colour1) * 256 / (x2 - x1 + 2) per
    // column, one step already in the first visible column, so the last one stays short of
    // colour2. A rectangle cut on the left starts its gradient at the first visible column.
    void DrawXGradientRectangle(int x1, int y1, int x2, int y2, bitmap_rgb colour1,
                                bitmap_rgb colour2);
    // The same from top to bottom, per row.
    void DrawYGradientRectangle(int x1, int y1, int x2, int y2, bitmap_rgb colour1,
                                bitmap_rgb colour2);
    // One-pixel line with both ends included (Bresenham, ends ordered along the major axis;
    // a diagonal counts as y-major).
    void DrawLine(int x1, int y1, int x2, int y2, bitmap_rgb colour);
    // One-pixel line walked from (x1, y1) to (x2, y2) whose colour starts at colour1 and moves
    // (colour2 - colour1) * 256 / (length + 1) per pixel, in 8.8 fixed point.
    void DrawGradientLine(int x1, int y1, int x2, int y2, bitmap_rgb colour1,
                          bitmap_rgb colour2);
    // Fills the polygon of `count` points (x, y pairs in `points`, each moved by the offsets) by
    // an even-odd scan of its edges (x followed down the rows by adding each edge's slope, spans
    // from x truncated), then draws its outline. Fewer than polygon_min_points or
    // more than polygon_max_points points, or no point array, draw nothing and log an error at
    // level 1. No memory is allocated.
    void DrawPolygon(int count, const int *points, int x_offset, int y_offset, bitmap_rgb outline,
                     bitmap_rgb fill);

    // The source's top-left pixel goes to (x, y); only the overlap is touched (negative x or y
    // cut away the source's left or top). A source sharing pixels with this bitmap is copied
    // first, so drawing a bitmap onto itself reads the pixels as they were.
    //
    // Each overlapping pixel becomes the source pixel, alpha included.
    void DrawBitmapIgnoreAlpha(const wxBitmap &source, int x, int y);
    // Each overlapping pixel's colour becomes (source colour * source alpha) >> 8; the previous
    // colour is not used and alpha stays.
    void DrawBitmapUseAlpha(const wxBitmap &source, int x, int y);
    // Glyph coverage t is the glyph's green channel. t = 0 gives the background colour; else
    // each channel = (t * foreground + (255 - t) * background) / 256, so full coverage gives
    // foreground * 255 / 256.
    void DrawTextGlyph(const wxBitmap &glyph, int x, int y, bitmap_rgb foreground,
                       bitmap_rgb background);
    // t = 0 keeps the pixel; else each channel = (t * foreground + (255 - t) * pixel) / 256.
    void DrawTextGlyphTransparent(const wxBitmap &glyph, int x, int y, bitmap_rgb foreground);
    // Draws each character's glyph (by its low seven bits) at x, y and moves x by the glyph's
    // width; characters without a glyph are skipped without moving. Nothing is drawn for a null
    // text, or when x is beyond the width or y beyond the height.
    void DrawText(const glyph_font &font, const char *text, int x, int y, bitmap_rgb foreground,
                  bitmap_rgb background);
    void DrawTextTransparent(const glyph_font &font, const char *text, int x, int y,
                             bitmap_rgb foreground);

    // --- query ---

    // Sum of the glyph widths of `text` and the height of its last glyph (0 and 0 when it has
    // none). A null text stores nothing; null out pointers are skipped. The width saturates at
    // the largest int.
    static void MeasureText(const glyph_font &font, const char *text, int *width, int *height);
};
