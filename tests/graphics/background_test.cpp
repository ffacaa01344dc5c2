// The compiled-in background picture: decodes as the PNG the launcher window draws.
#include "graphics/bitmap.h"
#include "launcher/assets/background_png.h"

#include "tests/common/wx_toolkit.h"

#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/rawbmp.h>

#include <gtest/gtest.h>

namespace {

const auto *environment =
    ::testing::AddGlobalTestEnvironment(new test_util::wx_toolkit_environment);

wxImage decode_background()
{
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    wxMemoryInputStream stream(background_png, background_png_size);
    wxImage image;
    if (!image.LoadFile(stream, wxBITMAP_TYPE_PNG))
        return wxImage();
    return image;
}

struct region {
    int x1, y1, x2, y2;   // inclusive
};

// Opaque pixels in `r` that pass `test(red, green, blue)`.
template <class Test> int count_opaque(const wxImage &image, region r, Test test)
{
    int count = 0;
    for (int y = r.y1; y <= r.y2; y++)
        for (int x = r.x1; x <= r.x2; x++)
            count += image.GetAlpha(x, y) == 255 &&
                     test(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
    return count;
}

bool is_white(int r, int g, int b)
{
    return r == 255 && g == 255 && b == 255;
}

bool is_red(int r, int g, int b)
{
    return r >= 180 && g <= 60 && b <= 60;
}

TEST(BackgroundPicture, IsA480By300PngWithAlpha)
{
    ASSERT_GT(background_png_size, 8u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(background_png), 8),
              std::string("\x89PNG\r\n\x1a\n", 8));
    wxImage image = decode_background();
    ASSERT_TRUE(image.IsOk());
    EXPECT_EQ(image.GetWidth(), 480);
    EXPECT_EQ(image.GetHeight(), 300);
    ASSERT_TRUE(image.HasAlpha());
}

TEST(BackgroundPicture, MostlyOneFlatColourAtAlphaTwo)
{
    wxImage image = decode_background();
    ASSERT_TRUE(image.IsOk() && image.HasAlpha());
    // The flat colour is the top-left pixel's; the bottom band, behind the status lines and the
    // progress bar, is entirely that colour.
    const int r = image.GetRed(0, 0), g = image.GetGreen(0, 0), b = image.GetBlue(0, 0);
    long flat = 0;
    for (int y = 0; y < 300; y++) {
        for (int x = 0; x < 480; x++) {
            bool is_flat = image.GetAlpha(x, y) == 2 && image.GetRed(x, y) == r &&
                           image.GetGreen(x, y) == g && image.GetBlue(x, y) == b;
            flat += is_flat;
            if (y >= 225) {
                ASSERT_TRUE(is_flat) << x << "," << y;
            }
        }
    }
    EXPECT_GE(flat, 480L * 300 * 85 / 100);
    EXPECT_LT(flat, 480L * 300);
}

TEST(BackgroundPicture, WhiteTitleAtTheTopCentreRedEyesBelow)
{
    wxImage image = decode_background();
    ASSERT_TRUE(image.IsOk() && image.HasAlpha());
    // The title: white ink in the top band, spread about the centre, none in the corners.
    const region title_left = {120, 10, 239, 60}, title_right = {240, 10, 359, 60};
    EXPECT_GT(count_opaque(image, title_left, is_white), 300);
    EXPECT_GT(count_opaque(image, title_right, is_white), 300);
    EXPECT_EQ(count_opaque(image, {0, 0, 99, 60}, is_white), 0);
    EXPECT_EQ(count_opaque(image, {380, 0, 479, 60}, is_white), 0);
    // The emblem: white below the title, and two red eyes, one each side of the centre line.
    EXPECT_GT(count_opaque(image, {160, 70, 320, 220}, is_white), 3000);
    const region left_eye = {200, 120, 239, 170}, right_eye = {241, 120, 280, 170};
    EXPECT_GT(count_opaque(image, left_eye, is_red), 40);
    EXPECT_GT(count_opaque(image, right_eye, is_red), 40);
    EXPECT_EQ(count_opaque(image, {0, 0, 479, 60}, is_red), 0);
}

TEST(BackgroundPicture, DrawnWeightedByAlphaTheFlatPartIsBlack)
{
    wxImage image = decode_background();
    ASSERT_TRUE(image.IsOk());
    tavi_bitmap picture(image);
    tavi_bitmap window(480, 300);
    window.Clear({90, 90, 90});
    window.DrawBitmapUseAlpha(picture, 0, 0);
    wxAlphaPixelData data(window);
    ASSERT_TRUE(data);
    wxAlphaPixelData::Iterator p(data);
    struct {
        int x, y;
        int r, g, b;
    } points[] = {{0, 0, 0, 0, 0}, {479, 299, 0, 0, 0}, {240, 250, 0, 0, 0}};
    for (const auto &point : points) {
        p.MoveTo(data, point.x, point.y);
        EXPECT_EQ(p.Red(), point.r) << point.x << "," << point.y;
        EXPECT_EQ(p.Green(), point.g);
        EXPECT_EQ(p.Blue(), point.b);
        EXPECT_EQ(p.Alpha(), 255);
    }
    // Opaque white comes out as 255 * 255 >> 8.
    int full_white = 0;
    for (int y = 10; y <= 60; y++) {
        for (int x = 120; x <= 359; x++) {
            p.MoveTo(data, x, y);
            full_white += p.Red() == 254 && p.Green() == 254 && p.Blue() == 254;
        }
    }
    EXPECT_GT(full_white, 600);
}

} // namespace
