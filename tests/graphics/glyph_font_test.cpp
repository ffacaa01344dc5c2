// glyph_font: owned glyph copies, strips cut into glyphs, glyphs rendered from a toolkit font.
#include "graphics/glyph_font.h"

#include "tests/common/wx_toolkit.h"

#include <wx/rawbmp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

namespace {

const auto *environment =
    ::testing::AddGlobalTestEnvironment(new test_util::wx_toolkit_environment);

int green_at(const wxBitmap &bitmap, int x, int y)
{
    wxBitmap handle = bitmap;
    wxAlphaPixelData data(handle);
    if (!data)
        return -1;
    wxAlphaPixelData::Iterator p(data);
    p.Offset(data, x, y);
    return p.Green();
}

void set_green(wxBitmap &bitmap, int x, int y, int green)
{
    wxAlphaPixelData data(bitmap);
    ASSERT_TRUE(data);
    wxAlphaPixelData::Iterator p(data);
    p.Offset(data, x, y);
    p.Green() = green;
}

TEST(GlyphFont, HoldsDeepCopiesByLowSevenBits)
{
    glyph_font font;
    EXPECT_EQ(font.size(), 0);
    tavi_bitmap glyph(3, 2);
    set_green(glyph, 1, 1, 200);
    ASSERT_EQ(font.set_glyph('a', glyph), 1);
    set_green(glyph, 1, 1, 7);   // the font's copy keeps its own pixels
    const tavi_bitmap *held = font.glyph('a');
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(green_at(*held, 1, 1), 200);
    EXPECT_EQ(font.glyph('a' + 128), held);
    EXPECT_EQ(font.glyph(-256 + 'a'), held);
    EXPECT_EQ(font.glyph('b'), nullptr);

    // Replacing, removing and clearing.
    ASSERT_EQ(font.set_glyph('a' + 128, tavi_bitmap(5, 1)), 1);
    ASSERT_NE(font.glyph('a'), nullptr);
    EXPECT_EQ(font.glyph('a')->GetWidth(), 5);
    ASSERT_EQ(font.set_glyph('z', glyph), 1);
    EXPECT_EQ(font.size(), 2);
    font.remove_glyph('z');
    EXPECT_EQ(font.glyph('z'), nullptr);
    EXPECT_EQ(font.size(), 1);
    font.clear();
    EXPECT_EQ(font.size(), 0);
}

TEST(GlyphFont, RefusesInvalidGlyphsAndConvertsOnesWithoutAlpha)
{
    glyph_font font;
    int asserts = test_util::toolkit_assert_count();
    EXPECT_EQ(font.set_glyph('x', wxBitmap()), 0);
    EXPECT_EQ(font.glyph('x'), nullptr);
    EXPECT_EQ(test_util::toolkit_assert_count(), asserts);

    wxImage image(2, 1);
    image.SetRGB(1, 0, 0, 180, 0);
    wxBitmap plain(image, 24);
    ASSERT_FALSE(plain.HasAlpha());
    ASSERT_EQ(font.set_glyph('x', plain), 1);
    ASSERT_NE(font.glyph('x'), nullptr);
    EXPECT_EQ(green_at(*font.glyph('x'), 1, 0), 180);   // 32-bit now: drawable as a glyph
}

TEST(GlyphFont, LoadStrip)
{
    tavi_bitmap strip(6, 2);
    for (int x = 0; x < 6; x++)
        set_green(strip, x, 0, 10 * (x + 1));
    const int widths[] = {1, 2, 3};
    const int bad_width[] = {1, 0, 3};
    const int too_wide[] = {1, 2, 4};
    struct {
        const char *name;
        const wxBitmap *strip;
        const char *characters;
        const int *widths;
        int result;
    } cases[] = {
        {"null characters", &strip, nullptr, widths, -1},
        {"null widths", &strip, "ABC", nullptr, -1},
        {"invalid strip", nullptr, "ABC", widths, -1},
        {"width below 1", &strip, "ABC", bad_width, -1},
        {"past the strip", &strip, "ABC", too_wide, -1},
        {"empty list", &strip, "", widths, 0},
        {"whole strip", &strip, "ABC", widths, 3},
    };
    wxBitmap invalid;
    for (const auto &c : cases) {
        glyph_font font;
        EXPECT_EQ(font.load_strip(c.strip ? *c.strip : invalid, c.characters, c.widths), c.result)
            << c.name;
        EXPECT_EQ(font.size(), c.result > 0 ? c.result : 0) << c.name;
    }

    glyph_font font;
    ASSERT_EQ(font.load_strip(strip, "ABC", widths), 3);
    struct {
        char c;
        int width;
        int first_green;
    } glyphs[] = {{'A', 1, 10}, {'B', 2, 20}, {'C', 3, 40}};
    for (const auto &g : glyphs) {
        const tavi_bitmap *glyph = font.glyph(g.c);
        ASSERT_NE(glyph, nullptr) << g.c;
        EXPECT_EQ(glyph->GetWidth(), g.width) << g.c;
        EXPECT_EQ(glyph->GetHeight(), 2) << g.c;
        EXPECT_EQ(green_at(*glyph, 0, 0), g.first_green) << g.c;
        EXPECT_EQ(green_at(*glyph, g.width - 1, 0), g.first_green + 10 * (g.width - 1)) << g.c;
    }
    int width = 0, height = 0;
    tavi_bitmap::MeasureText(font, "CAB", &width, &height);
    EXPECT_EQ(width, 6);
    EXPECT_EQ(height, 2);
}

TEST(GlyphFont, RendersAToolkitFont)
{
    glyph_font font;
    EXPECT_EQ(font.load_toolkit_font(wxFont()), -1);
    EXPECT_EQ(font.size(), 0);

    wxFont sans(wxFontInfo(14).Family(wxFONTFAMILY_SWISS));
    ASSERT_TRUE(sans.IsOk());
    int count = font.load_toolkit_font(sans);
    ASSERT_EQ(count, glyph_font::last_printable - glyph_font::first_printable + 1);
    EXPECT_EQ(font.size(), count);

    // A space has an advance and no ink; a capital has full ink somewhere and more advance than
    // a narrow letter.
    const tavi_bitmap *space = font.glyph(' ');
    const tavi_bitmap *w = font.glyph('W');
    const tavi_bitmap *i = font.glyph('i');
    ASSERT_TRUE(space && w && i);
    EXPECT_GT(space->GetWidth(), 0);
    int space_ink = 0;
    for (int y = 0; y < space->GetHeight(); y++)
        for (int x = 0; x < space->GetWidth(); x++)
            space_ink += green_at(*space, x, y);
    EXPECT_EQ(space_ink, 0);
    int strongest = 0;
    for (int y = 0; y < w->GetHeight(); y++)
        for (int x = 0; x < w->GetWidth(); x++)
            strongest = std::max(strongest, green_at(*w, x, y));
    EXPECT_GT(strongest, 200);
    EXPECT_GT(w->GetWidth(), i->GetWidth());

    // Drawn text covers the measured box and nothing right of it.
    int width = 0, height = 0;
    tavi_bitmap::MeasureText(font, "Wi", &width, &height);
    EXPECT_EQ(width, w->GetWidth() + i->GetWidth());
    tavi_bitmap canvas(width + 10, height);
    canvas.Clear({0, 0, 0});
    canvas.DrawText(font, "Wi", 0, 0, {255, 255, 255}, {0, 0, 0});
    int inked_left = 0, inked_right = 0;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width + 10; x++)
            (x < width ? inked_left : inked_right) += green_at(canvas, x, y) > 0;
    EXPECT_GT(inked_left, 0);
    EXPECT_EQ(inked_right, 0);
}

} // namespace
