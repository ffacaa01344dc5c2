// tavi_bitmap: the primitives' arithmetic, clipping and failure lines, on real toolkit bitmaps.
#include "graphics/bitmap.h"

#include "graphics/glyph_font.h"
#include "support/debug_log.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"
#include "tests/common/wx_toolkit.h"

#include <wx/rawbmp.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

// ---- the toolkit and a private debug log ----------------------------------------------------

test_util::temp_dir *log_dir = nullptr;

class bitmap_environment : public test_util::wx_toolkit_environment {
public:
    void SetUp() override
    {
        log_dir = new test_util::temp_dir;
        test_util::log_to(*log_dir / "log.txt", 3);
        wx_toolkit_environment::SetUp();
    }
    void TearDown() override
    {
        wx_toolkit_environment::TearDown();
        tavi_client_debug_logfile_close();
        delete log_dir;
        log_dir = nullptr;
    }
};

const auto *environment = ::testing::AddGlobalTestEnvironment(new bitmap_environment);

// What the debug log gained since the last call (the first call skips what came before).
std::string new_log_lines()
{
    static size_t seen = test_util::read_file(*log_dir / "log.txt").size();
    std::string all = test_util::read_file(*log_dir / "log.txt");
    std::string fresh = all.size() > seen ? all.substr(seen) : "";
    seen = all.size();
    return fresh;
}

// ---- raw pixels, read and written independently of the class --------------------------------

struct rgba {
    int r, g, b, a;
    bool operator==(const rgba &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const rgba &o) const { return !(*this == o); }
};

std::ostream &operator<<(std::ostream &out, const rgba &p)
{
    return out << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

rgba pixel_at(wxBitmap &bitmap, int x, int y)
{
    wxAlphaPixelData data(bitmap);
    if (!data)
        return {-1, -1, -1, -1};
    wxAlphaPixelData::Iterator p(data);
    p.Offset(data, x, y);
    return {p.Red(), p.Green(), p.Blue(), p.Alpha()};
}

void set_raw(wxBitmap &bitmap, int x, int y, rgba value)
{
    wxAlphaPixelData data(bitmap);
    ASSERT_TRUE(data);
    wxAlphaPixelData::Iterator p(data);
    p.Offset(data, x, y);
    p.Red() = value.r;
    p.Green() = value.g;
    p.Blue() = value.b;
    p.Alpha() = value.a;
}

void fill_raw(wxBitmap &bitmap, rgba value)
{
    for (int y = 0; y < bitmap.GetHeight(); y++)
        for (int x = 0; x < bitmap.GetWidth(); x++)
            set_raw(bitmap, x, y, value);
}

// A picture of the bitmap, one character per pixel, rows joined by '|': '.' for `background`,
// the mapped character for each colour in `inks` (all with the background's alpha), '?' else.
struct ink {
    char symbol;
    bitmap_rgb colour;
};

std::string picture(wxBitmap &bitmap, rgba background, const std::vector<ink> &inks)
{
    std::string out;
    for (int y = 0; y < bitmap.GetHeight(); y++) {
        if (y)
            out += '|';
        for (int x = 0; x < bitmap.GetWidth(); x++) {
            rgba p = pixel_at(bitmap, x, y);
            char c = p == background ? '.' : '?';
            for (const ink &i : inks)
                if (p == rgba{i.colour.red, i.colour.green, i.colour.blue, background.a})
                    c = i.symbol;
            out += c;
        }
    }
    return out;
}

const rgba paper = {1, 2, 3, 77};        // alpha 77 shows that drawing leaves alpha alone
const bitmap_rgb ink_colour = {250, 40, 9};
const bitmap_rgb outline_colour = {7, 200, 99};
const bitmap_rgb black = {0, 0, 0};
const bitmap_rgb white = {255, 255, 255};

struct shape_case {
    const char *name;
    int width, height;
    std::function<void(tavi_bitmap &)> draw;
    const char *expected;   // rows joined by '|': '#' ink, 'o' outline, '.' untouched
};

void check_shapes(const std::vector<shape_case> &cases)
{
    for (const shape_case &c : cases) {
        int asserts = test_util::toolkit_assert_count();
        tavi_bitmap bitmap(c.width, c.height);
        fill_raw(bitmap, paper);
        c.draw(bitmap);
        EXPECT_EQ(picture(bitmap, paper, {{'#', ink_colour}, {'o', outline_colour}}),
                  c.expected)
            << c.name;
        EXPECT_EQ(test_util::toolkit_assert_count(), asserts) << c.name;
    }
}

// ---- construction, copies, clearing --------------------------------------------------------

TEST(TaviBitmap, NewBitmapsAreOpaqueBlack32Bit)
{
    tavi_bitmap sized(10, 10);
    tavi_bitmap standard;
    struct {
        tavi_bitmap *bitmap;
        int side;
    } cases[] = {{&sized, 10}, {&standard, tavi_bitmap::default_size}};
    for (auto &c : cases) {
        ASSERT_TRUE(c.bitmap->IsOk());
        EXPECT_EQ(c.bitmap->GetWidth(), c.side);
        EXPECT_EQ(c.bitmap->GetHeight(), c.side);
        EXPECT_EQ(c.bitmap->GetDepth(), 32);
        for (int y = 0; y < c.side; y++)
            for (int x = 0; x < c.side; x++)
                ASSERT_EQ(pixel_at(*c.bitmap, x, y), (rgba{0, 0, 0, 255})) << x << "," << y;
    }
}

TEST(TaviBitmap, ClearSetsColourAndAlphaClearAlphaOnlyAlpha)
{
    tavi_bitmap bitmap(10, 10);
    fill_raw(bitmap, paper);
    bitmap.Clear({10, 20, 30});
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++)
            ASSERT_EQ(pixel_at(bitmap, x, y), (rgba{10, 20, 30, 255}));
    // Channels are stored as their low byte.
    bitmap.Clear({256 + 7, -1, 511});
    EXPECT_EQ(pixel_at(bitmap, 9, 9), (rgba{7, 255, 255, 255}));

    fill_raw(bitmap, paper);
    set_raw(bitmap, 3, 4, {9, 8, 7, 0});
    bitmap.ClearAlpha();
    EXPECT_EQ(pixel_at(bitmap, 0, 0), (rgba{1, 2, 3, 255}));
    EXPECT_EQ(pixel_at(bitmap, 3, 4), (rgba{9, 8, 7, 255}));
}

TEST(TaviBitmap, CopiesAreDeep)
{
    tavi_bitmap original(3, 2);
    fill_raw(original, paper);
    set_raw(original, 2, 1, {40, 50, 60, 70});

    tavi_bitmap copied(original);
    tavi_bitmap from_toolkit(static_cast<const wxBitmap &>(original));
    tavi_bitmap assigned(1, 1);
    assigned = original;
    tavi_bitmap assigned_toolkit(1, 1);
    assigned_toolkit = static_cast<const wxBitmap &>(original);
    tavi_bitmap *copies[] = {&copied, &from_toolkit, &assigned, &assigned_toolkit};
    for (tavi_bitmap *copy : copies) {
        ASSERT_EQ(copy->GetWidth(), 3);
        ASSERT_EQ(copy->GetHeight(), 2);
        EXPECT_EQ(pixel_at(*copy, 2, 1), (rgba{40, 50, 60, 70}));
        copy->Clear({9, 9, 9});
        EXPECT_EQ(pixel_at(original, 2, 1), (rgba{40, 50, 60, 70}));
        EXPECT_EQ(pixel_at(original, 0, 0), paper);
    }

    // Self-assignment keeps the pixels; an invalid source gives an invalid bitmap quietly.
    int asserts = test_util::toolkit_assert_count();
    tavi_bitmap &same = original;
    original = same;
    EXPECT_EQ(pixel_at(original, 2, 1), (rgba{40, 50, 60, 70}));
    tavi_bitmap from_invalid{wxBitmap()};
    EXPECT_FALSE(from_invalid.IsOk());
    copied = wxBitmap();
    EXPECT_FALSE(copied.IsOk());
    EXPECT_EQ(test_util::toolkit_assert_count(), asserts);
}

TEST(TaviBitmap, FromImageAlwaysHasAlpha)
{
    wxImage with_alpha(2, 1);
    with_alpha.InitAlpha();
    with_alpha.SetRGB(1, 0, 200, 100, 50);
    with_alpha.SetAlpha(1, 0, 128);
    wxImage without_alpha(2, 1);
    without_alpha.SetRGB(0, 0, 11, 22, 33);

    tavi_bitmap a(with_alpha);
    tavi_bitmap b(without_alpha);
    ASSERT_TRUE(a.IsOk());
    ASSERT_TRUE(b.IsOk());
    EXPECT_EQ(pixel_at(a, 1, 0), (rgba{200, 100, 50, 128}));
    EXPECT_EQ(pixel_at(b, 0, 0), (rgba{11, 22, 33, 255}));

    int asserts = test_util::toolkit_assert_count();
    tavi_bitmap none{wxImage()};
    EXPECT_FALSE(none.IsOk());
    EXPECT_EQ(test_util::toolkit_assert_count(), asserts);
}

// ---- pixels, rectangles, circles ------------------------------------------------------------

TEST(TaviBitmap, SetPixelInsideOnly)
{
    check_shapes({
        {"inside", 4, 3, [](tavi_bitmap &b) { b.SetPixel(2, 1, ink_colour); }, "....|..#.|...."},
        {"channels", 4, 3, [](tavi_bitmap &b) { b.SetPixel(3, 2, 250, 40, 9); },
         "....|....|...#"},
        {"outside", 4, 3,
         [](tavi_bitmap &b) {
             b.SetPixel(-1, 0, ink_colour);
             b.SetPixel(4, 0, ink_colour);
             b.SetPixel(0, 3, ink_colour);
             b.SetPixel(INT_MIN, INT_MAX, ink_colour);
         },
         "....|....|...."},
    });
}

TEST(TaviBitmap, FilledRectangles)
{
    auto rect = [](int x1, int y1, int x2, int y2) {
        return [=](tavi_bitmap &b) { b.DrawFilledRectangle(x1, y1, x2, y2, ink_colour); };
    };
    check_shapes({
        {"reversed corners", 8, 6, rect(5, 5, 2, 2),
         "........|........|..####..|..####..|..####..|..####.."},
        {"cut to the corner pixel", 8, 6, rect(-3, -3, 0, 0),
         "#.......|........|........|........|........|........"},
        {"one row, both sides cut", 8, 6, rect(-100, 3, 100, 3),
         "........|........|........|########|........|........"},
        {"bottom-right pixel", 8, 6, rect(7, 5, 7, 5),
         "........|........|........|........|........|.......#"},
        {"right of the bitmap", 8, 6, rect(8, 0, 9, 5),
         "........|........|........|........|........|........"},
        {"below the bitmap", 8, 6, rect(0, 6, 7, 9),
         "........|........|........|........|........|........"},
        {"above and left", 8, 6, rect(-5, -5, -1, -1),
         "........|........|........|........|........|........"},
        {"whole int range", 8, 6, rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX),
         "########|########|########|########|########|########"},
    });
}

TEST(TaviBitmap, FilledCircles)
{
    auto circle = [](int cx, int cy, int r) {
        return [=](tavi_bitmap &b) { b.DrawFilledCircle(cx, cy, r, ink_colour); };
    };
    const char *empty = "...........|...........|...........|...........|...........|..........."
                        "|...........|...........|...........|...........|...........";
    check_shapes({
        {"radius 0", 11, 11, circle(5, 5, 0),
         "...........|...........|...........|...........|...........|.....#....."
         "|...........|...........|...........|...........|..........."},
        {"negative radius", 11, 11, circle(5, 5, -4),
         "...........|...........|...........|...........|...........|.....#....."
         "|...........|...........|...........|...........|..........."},
        {"radius 1 is 3 x 3", 11, 11, circle(5, 5, 1),
         "...........|...........|...........|...........|....###....|....###...."
         "|....###....|...........|...........|...........|..........."},
        {"radius 2", 11, 11, circle(5, 5, 2),
         "...........|...........|...........|....###....|...#####...|...#####..."
         "|...#####...|....###....|...........|...........|..........."},
        {"radius 3", 11, 11, circle(5, 5, 3),
         "...........|...........|....###....|...#####...|..#######..|..#######.."
         "|..#######..|...#####...|....###....|...........|..........."},
        {"cut at the top-left corner", 11, 11, circle(0, 0, 2),
         "###........|###........|##.........|...........|...........|..........."
         "|...........|...........|...........|...........|..........."},
        {"left of the bitmap", 11, 11, circle(-3, 5, 2), empty},
        {"above the bitmap", 11, 11, circle(5, -3, 2), empty},
        {"below the bitmap", 11, 11, circle(5, 13, 2), empty},
        {"largest radius", 11, 11, circle(5, 5, INT_MAX),
         "###########|###########|###########|###########|###########|###########"
         "|###########|###########|###########|###########|###########"},
        // (r + 1) * r is far beyond an int here; rows 0..3 are inside the disc.
        {"huge radius from far above", 11, 11, circle(5, -1000000, 1000003),
         "###########|###########|###########|###########|...........|..........."
         "|...........|...........|...........|...........|..........."},
    });
}

// ---- gradients ------------------------------------------------------------------------------

TEST(TaviBitmap, GradientRectangles)
{
    struct {
        const char *name;
        int from, to;                 // the ordered-or-not corners along the gradient
        bitmap_rgb c1, c2;
        std::vector<rgba> expected;   // positions 0..4 along the gradient (paper = untouched)
    } cases[] = {
        {"black to white", 0, 2, black, white,
         {{63, 63, 63, 77}, {127, 127, 127, 77}, {191, 191, 191, 77}, paper, paper}},
        {"corners reversed", 2, 0, black, white,
         {{63, 63, 63, 77}, {127, 127, 127, 77}, {191, 191, 191, 77}, paper, paper}},
        {"white to black", 0, 2, white, black,
         {{191, 191, 191, 77}, {127, 127, 127, 77}, {63, 63, 63, 77}, paper, paper}},
        {"per channel", 0, 2, {10, 200, 0}, {20, 100, 255},
         {{12, 175, 63, 77}, {15, 150, 127, 77}, {17, 125, 191, 77}, paper, paper}},
        // The step counts the cut part, but the first visible position gets the first step.
        {"cut on the low side", -2, 2, black, white,
         {{42, 42, 42, 77}, {85, 85, 85, 77}, {127, 127, 127, 77}, paper, paper}},
        {"cut on the high side", 3, 9, black, white,
         {paper, paper, paper, {31, 31, 31, 77}, {63, 63, 63, 77}}},
        {"single position", 4, 4, black, white,
         {paper, paper, paper, paper, {127, 127, 127, 77}}},
        // The span is 2^32 + 1 here: no int overflow, no division by zero, a zero step.
        {"whole int range", INT_MIN, INT_MAX, {30, 60, 90}, white,
         {{30, 60, 90, 77}, {30, 60, 90, 77}, {30, 60, 90, 77}, {30, 60, 90, 77},
          {30, 60, 90, 77}}},
        {"outside", 5, 9, black, white, {paper, paper, paper, paper, paper}},
    };
    for (const auto &c : cases) {
        for (bool along_x : {true, false}) {
            // 5 positions along the gradient, 2 across it: both rows (or columns) get the
            // gradient, the third one across stays untouched.
            tavi_bitmap bitmap(along_x ? 5 : 3, along_x ? 3 : 5);
            fill_raw(bitmap, paper);
            if (along_x)
                bitmap.DrawXGradientRectangle(c.from, 0, c.to, 1, c.c1, c.c2);
            else
                bitmap.DrawYGradientRectangle(1, c.from, 0, c.to, c.c1, c.c2);
            for (int i = 0; i < 5; i++) {
                for (int across = 0; across < 2; across++) {
                    rgba got = along_x ? pixel_at(bitmap, i, across) : pixel_at(bitmap, across, i);
                    EXPECT_EQ(got, c.expected[i])
                        << c.name << (along_x ? " x" : " y") << " at " << i << "/" << across;
                }
                EXPECT_EQ(along_x ? pixel_at(bitmap, i, 2) : pixel_at(bitmap, 2, i), paper);
            }
        }
    }
}

// ---- lines ----------------------------------------------------------------------------------

TEST(TaviBitmap, Lines)
{
    auto line = [](int x1, int y1, int x2, int y2) {
        return [=](tavi_bitmap &b) { b.DrawLine(x1, y1, x2, y2, ink_colour); };
    };
    check_shapes({
        {"x-major", 6, 5, line(0, 0, 3, 1), "##....|..##..|......|......|......"},
        {"x-major reversed", 6, 5, line(3, 1, 0, 0), "##....|..##..|......|......|......"},
        {"single point", 6, 5, line(4, 2, 4, 2), "......|......|....#.|......|......"},
        {"diagonal is y-major", 6, 5, line(0, 0, 3, 3), "#.....|.#....|..#...|...#..|......"},
        {"y-major", 6, 5, line(0, 0, 1, 3), "#.....|#.....|.#....|.#....|......"},
        {"y-major upwards", 6, 5, line(1, 3, 0, 0), "#.....|#.....|.#....|.#....|......"},
        {"vertical", 6, 5, line(2, 4, 2, 1), "......|..#...|..#...|..#...|..#..."},
        {"starts outside", 6, 5, line(-2, -1, 3, 1), "##....|..##..|......|......|......"},
        {"misses the bitmap", 6, 5, line(-5, -5, -1, -9), "......|......|......|......|......"},
        {"whole int row", 6, 5, line(INT_MIN, 2, INT_MAX, 2),
         "......|......|######|......|......"},
        {"whole int diagonal", 6, 5, line(INT_MIN, INT_MIN, INT_MAX, INT_MAX),
         "#.....|.#....|..#...|...#..|....#."},
        // The one x move falls right on row 0, two billion rows into the walk.
        {"steep from far above", 6, 5, line(2, -1000000000, 3, 1000000000),
         "..#...|...#..|...#..|...#..|...#.."},
    });
}

TEST(TaviBitmap, GradientLines)
{
    struct {
        const char *name;
        int x1, y1, x2, y2;
        std::vector<std::pair<int, int>> pixels;   // in walking order
        std::vector<int> grey;                     // the colour of each, from black to white
    } cases[] = {
        {"x-major", 0, 0, 3, 0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {0, 63, 127, 191}},
        {"walks from the first end", 3, 0, 0, 0, {{3, 0}, {2, 0}, {1, 0}, {0, 0}},
         {0, 63, 127, 191}},
        {"minor move on the first pixel", 0, 0, 3, 1, {{0, 0}, {1, 1}, {2, 1}, {3, 1}},
         {0, 63, 127, 191}},
        {"y-major upwards", 1, 3, 0, 0, {{1, 3}, {0, 2}, {0, 1}, {0, 0}}, {0, 63, 127, 191}},
        {"single point", 2, 2, 2, 2, {{2, 2}}, {0}},
        {"diagonal", 0, 0, 2, 2, {{0, 0}, {1, 1}, {2, 2}}, {0, 85, 170}},
        // The plain error test would put the second pixel of these on the next row or column.
        {"two pixels across", 1, 1, 2, 1, {{1, 1}, {2, 1}}, {0, 127}},
        {"two pixels down", 3, 1, 3, 2, {{3, 1}, {3, 2}}, {0, 127}},
    };
    for (const auto &c : cases) {
        tavi_bitmap bitmap(5, 5);
        fill_raw(bitmap, paper);
        bitmap.DrawGradientLine(c.x1, c.y1, c.x2, c.y2, black, white);
        std::vector<rgba> expected(25, paper);
        for (size_t i = 0; i < c.pixels.size(); i++)
            expected[c.pixels[i].second * 5 + c.pixels[i].first] = {c.grey[i], c.grey[i],
                                                                  c.grey[i], 77};
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 5; x++)
                EXPECT_EQ(pixel_at(bitmap, x, y), expected[y * 5 + x]) << c.name << " " << x
                                                                         << "," << y;
    }
}

// The walks skip what lies before the bitmap in closed form; a plain walk with per-pixel
// clipping must set the same pixels for any line.
void reference_line(std::vector<rgba> &out, int w, int h, long long x1, long long y1, long long x2,
                    long long y2)
{
    auto set = [&](long long x, long long y) {
        if (x >= 0 && y >= 0 && x < w && y < h)
            out[y * w + x] = {ink_colour.red, ink_colour.green, ink_colour.blue, paper.a};
    };
    long long dx = std::llabs(x1 - x2), dy = std::llabs(y1 - y2);
    if (dx == 0 && dy == 0) {
        set(x1, y1);
    } else if (dx > dy) {
        if (x1 > x2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        long long e = dx >> 1, y = y1;
        for (long long x = x1; x <= x2; x++) {
            set(x, y);
            e -= dy;
            if (e < 0) {
                e += dx;
                y += y2 > y1 ? 1 : -1;
            }
        }
    } else {
        if (y1 > y2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        long long e = dy >> 1, x = x1;
        for (long long y = y1; y <= y2; y++) {
            set(x, y);
            e -= dx;
            if (e < 0) {
                e += dy;
                x += x2 > x1 ? 1 : -1;
            }
        }
    }
}

void reference_gradient_line(std::vector<rgba> &out, int w, int h, long long x1, long long y1,
                             long long x2, long long y2, bitmap_rgb c1, bitmap_rgb c2)
{
    long long dx = std::llabs(x2 - x1), dy = std::llabs(y2 - y1);
    bool x_major = dx > dy;
    long long major = x_major ? dx : dy, minor = x_major ? dy : dx;
    long long acc[3] = {c1.red * 256LL, c1.green * 256LL, c1.blue * 256LL};
    long long step[3] = {(c2.red - c1.red) * 256LL / (major + 1),
                         (c2.green - c1.green) * 256LL / (major + 1),
                         (c2.blue - c1.blue) * 256LL / (major + 1)};
    long long x = x1, y = y1, e = -(major / 2);
    for (long long i = 0; i <= major; i++) {
        if (x >= 0 && y >= 0 && x < w && y < h)
            out[y * w + x] = {int((acc[0] >> 8) & 255), int((acc[1] >> 8) & 255),
                              int((acc[2] >> 8) & 255), paper.a};
        for (int k = 0; k < 3; k++)
            acc[k] += step[k];
        e += minor;
        if (minor > 0 && e >= 0) {
            e -= major;
            if (x_major)
                y += y2 > y1 ? 1 : -1;
            else
                x += x2 > x1 ? 1 : -1;
        }
        if (x_major)
            x += x2 >= x1 ? 1 : -1;
        else
            y += y2 >= y1 ? 1 : -1;
    }
}

TEST(TaviBitmap, LinesMatchAPlainWalkWhereverTheyStart)
{
    const int w = 13, h = 9;
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> coordinate(-60, 70);
    for (int round = 0; round < 3000; round++) {
        int x1 = coordinate(random), y1 = coordinate(random);
        int x2 = coordinate(random), y2 = coordinate(random);
        bool gradient = round % 2;
        tavi_bitmap bitmap(w, h);
        fill_raw(bitmap, paper);
        std::vector<rgba> expected(w * h, paper);
        if (gradient) {
            bitmap.DrawGradientLine(x1, y1, x2, y2, {0, 255, 30}, {255, 0, 200});
            reference_gradient_line(expected, w, h, x1, y1, x2, y2, {0, 255, 30}, {255, 0, 200});
        } else {
            bitmap.DrawLine(x1, y1, x2, y2, ink_colour);
            reference_line(expected, w, h, x1, y1, x2, y2);
        }
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                ASSERT_EQ(pixel_at(bitmap, x, y), expected[y * w + x])
                    << (gradient ? "gradient " : "") << "line " << x1 << "," << y1 << " to " << x2
                    << "," << y2 << " at " << x << "," << y;
    }
}

// ---- polygons -------------------------------------------------------------------------------

TEST(TaviBitmap, Polygons)
{
    auto polygon = [](std::vector<int> points, int dx, int dy) {
        return [=](tavi_bitmap &b) {
            b.DrawPolygon(int(points.size() / 2), points.data(), dx, dy, outline_colour,
                          ink_colour);
        };
    };
    check_shapes({
        {"square", 7, 6, polygon({1, 1, 5, 1, 5, 4, 1, 4}, 0, 0),
         ".......|.ooooo.|.o###o.|.o###o.|.ooooo.|......."},
        {"triangle moved by the offsets", 9, 9, polygon({0, 0, 6, 0, 0, 6}, 1, 1),
         ".........|.ooooooo.|.o####o..|.o###o...|.o##o....|.o#o.....|.oo......|.o......."
         "|........."},
        {"concave: both legs of a U", 9, 8,
         polygon({0, 0, 2, 0, 2, 3, 4, 3, 4, 0, 6, 0, 6, 5, 0, 5}, 1, 1),
         ".........|.ooo.ooo.|.o#o.o#o.|.o#o.o#o.|.o#ooo#o.|.o#####o.|.ooooooo.|........."},
        {"flat: a line", 6, 3, polygon({0, 1, 3, 1, 5, 1}, 0, 0), "......|oooooo|......"},
        // Rows above the bitmap are followed, rows below are not needed; the outline is far.
        {"covers the bitmap from far outside", 5, 4,
         polygon({-1000000, -1000000, 1000000, -1000000, 0, 1000000}, 0, 0),
         "#####|#####|#####|#####"},
        {"covers the bitmap from the ends of the int range", 5, 4,
         polygon({INT_MIN, INT_MIN, INT_MAX, INT_MIN, 0, INT_MAX}, 0, 0),
         "#####|#####|#####|#####"},
        // Just within the rows walked one by one above the bitmap.
        {"walked down from 60000 rows above", 5, 4,
         polygon({-2, -60000, 2, -60000, 2, 3, -2, 3}, 0, 0), "##o..|##o..|##o..|ooo.."},
        {"outside", 5, 4, polygon({10, 10, 20, 10, 15, 20}, 0, 0), ".....|.....|.....|....."},
    });
}

TEST(TaviBitmap, PolygonPointLimits)
{
    new_log_lines();
    std::vector<int> ring;
    for (int i = 0; i < 1000; i++) {
        // Points on a circle of radius 20 around (25, 25), enough of them to repeat pixels.
        double angle = 2 * 3.14159265358979 * i / 999;
        ring.push_back(25 + int(20 * std::cos(angle)));
        ring.push_back(25 + int(20 * std::sin(angle)));
    }
    struct {
        int count;
        const int *points;
        const char *message;
        bool draws;
    } cases[] = {
        {2, ring.data(),
         "Error in tavi_bitmap::DrawPolygon(), only got 2 points, need a minimum of 3.\n", false},
        {-1, ring.data(),
         "Error in tavi_bitmap::DrawPolygon(), only got -1 points, need a minimum of 3.\n", false},
        {1000, ring.data(), "Error in tavi_bitmap::DrawPolygon(), got 1000 points, max is 1000.\n",
         false},
        {3, nullptr, "Error in tavi_bitmap::DrawPolygon(), no point list.\n", false},
        {999, ring.data(), "", true},
        {3, ring.data(), "", true},
    };
    for (const auto &c : cases) {
        tavi_bitmap bitmap(50, 50);
        fill_raw(bitmap, paper);
        bitmap.DrawPolygon(c.count, c.points, 0, 0, outline_colour, ink_colour);
        EXPECT_EQ(new_log_lines(), c.message) << c.count;
        EXPECT_EQ(pixel_at(bitmap, 45, 25) != paper, c.draws) << c.count;   // the first point
    }
}

// ---- copies ---------------------------------------------------------------------------------

TEST(TaviBitmap, CopyPlacementCutsToTheOverlap)
{
    // A 3 x 2 source with a different value in every pixel.
    tavi_bitmap source(3, 2);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++)
            set_raw(source, x, y, {10 * x + 1, 10 * y + 2, 100 + x + 3 * y, 50 + x + 3 * y});
    struct {
        int x, y;
    } cases[] = {{0, 0}, {1, 1}, {3, 3}, {-2, -1}, {-1, 2}, {5, 0}, {0, 4}, {-3, 0}, {0, -2},
                 {INT_MIN, INT_MIN}, {INT_MAX, 0}, {0, INT_MAX}};
    for (const auto &c : cases) {
        tavi_bitmap plain(5, 4);
        tavi_bitmap weighted(5, 4);
        fill_raw(plain, paper);
        fill_raw(weighted, paper);
        plain.DrawBitmapIgnoreAlpha(source, c.x, c.y);
        weighted.DrawBitmapUseAlpha(source, c.x, c.y);
        for (int y = 0; y < 4; y++) {
            for (int x = 0; x < 5; x++) {
                long long sx = (long long)x - c.x, sy = (long long)y - c.y;
                rgba want_plain = paper, want_weighted = paper;
                if (sx >= 0 && sx < 3 && sy >= 0 && sy < 2) {
                    rgba s = pixel_at(source, int(sx), int(sy));
                    want_plain = s;
                    want_weighted = {s.r * s.a >> 8, s.g * s.a >> 8, s.b * s.a >> 8, paper.a};
                }
                EXPECT_EQ(pixel_at(plain, x, y), want_plain) << c.x << "," << c.y << " at " << x
                                                             << "," << y;
                EXPECT_EQ(pixel_at(weighted, x, y), want_weighted)
                    << c.x << "," << c.y << " at " << x << "," << y;
            }
        }
    }
}

TEST(TaviBitmap, UseAlphaIgnoresTheOldColour)
{
    tavi_bitmap source(1, 1);
    set_raw(source, 0, 0, {200, 100, 50, 128});
    for (rgba old : {rgba{0, 0, 0, 255}, rgba{255, 255, 255, 3}, paper}) {
        tavi_bitmap dest(1, 1);
        set_raw(dest, 0, 0, old);
        dest.DrawBitmapUseAlpha(source, 0, 0);
        EXPECT_EQ(pixel_at(dest, 0, 0), (rgba{100, 50, 25, old.a}));
    }
    set_raw(source, 0, 0, {200, 100, 50, 255});
    tavi_bitmap dest(1, 1);
    dest.DrawBitmapUseAlpha(source, 0, 0);
    EXPECT_EQ(pixel_at(dest, 0, 0), (rgba{199, 99, 49, 255}));
}

TEST(TaviBitmap, DrawingABitmapOntoItselfReadsTheOldPixels)
{
    tavi_bitmap strip(4, 1);
    for (int x = 0; x < 4; x++)
        set_raw(strip, x, 0, {x + 1, 0, 0, 200});
    strip.DrawBitmapIgnoreAlpha(strip, 1, 0);
    std::vector<int> reds;
    for (int x = 0; x < 4; x++)
        reds.push_back(pixel_at(strip, x, 0).r);
    EXPECT_EQ(reds, (std::vector<int>{1, 1, 2, 3}));

    // A toolkit handle sharing the same pixels counts as the same bitmap.
    wxBitmap alias = strip;
    strip.DrawBitmapIgnoreAlpha(alias, -1, 0);
    reds.clear();
    for (int x = 0; x < 4; x++)
        reds.push_back(pixel_at(strip, x, 0).r);
    EXPECT_EQ(reds, (std::vector<int>{1, 2, 3, 3}));
}

// ---- glyphs and text ------------------------------------------------------------------------

// A glyph whose green channel (the coverage) is given per column; other channels are noise.
tavi_bitmap coverage_glyph(const std::vector<int> &coverage, int height = 1)
{
    tavi_bitmap glyph(int(coverage.size()), height);
    for (int y = 0; y < height; y++)
        for (size_t x = 0; x < coverage.size(); x++)
            set_raw(glyph, int(x), y, {77, coverage[x], 99, 13});
    return glyph;
}

TEST(TaviBitmap, GlyphBlending)
{
    struct {
        int t, foreground, background, old, opaque, transparent;
    } cases[] = {
        {0, 255, 0, 40, 0, 40},          // no coverage: background / pixel kept
        {255, 255, 0, 40, 254, 254},     // full coverage falls one short of the foreground
        {255, 0, 255, 40, 0, 0},
        {128, 200, 100, 100, 149, 149},  // (128 * 200 + 127 * 100) / 256
        {1, 255, 255, 255, 254, 254},
        {64, 10, 250, 0, 189, 2},        // (640 + 47750) / 256 and 640 / 256
    };
    for (const auto &c : cases) {
        tavi_bitmap glyph = coverage_glyph({c.t});
        tavi_bitmap opaque(1, 1);
        tavi_bitmap transparent(1, 1);
        set_raw(opaque, 0, 0, {c.old, c.old, c.old, 66});
        set_raw(transparent, 0, 0, {c.old, c.old, c.old, 66});
        bitmap_rgb fg = {c.foreground, c.foreground, c.foreground};
        opaque.DrawTextGlyph(glyph, 0, 0, fg, {c.background, c.background, c.background});
        transparent.DrawTextGlyphTransparent(glyph, 0, 0, fg);
        EXPECT_EQ(pixel_at(opaque, 0, 0), (rgba{c.opaque, c.opaque, c.opaque, 66})) << c.t;
        EXPECT_EQ(pixel_at(transparent, 0, 0),
                  (rgba{c.transparent, c.transparent, c.transparent, 66}))
            << c.t;
    }
}

TEST(TaviBitmap, TextAdvancesByGlyphWidths)
{
    glyph_font font;
    ASSERT_EQ(font.set_glyph('A', coverage_glyph({255, 0}, 2)), 1);
    ASSERT_EQ(font.set_glyph('B', coverage_glyph({255, 255, 0}, 3)), 1);
    const bitmap_rgb bg = outline_colour;
    const char high_a[] = {char(0xC1), 0};   // 'A' + 128: the low seven bits pick 'A'
    struct {
        const char *name;
        const char *text;
        int x, y;
        const char *opaque;
        const char *transparent;
    } cases[] = {
        {"unknown characters are skipped", "AxB", 1, 0, ".#o##o..|.#o##o..|...##o..",
         ".#.##...|.#.##...|...##..."},
        {"low seven bits", high_a, 0, 1, "........|#o......|#o......", "........|#.......|#......."},
        {"cut on the left", "BA", -2, 0, "o#o.....|o#o.....|o.......",
         ".#......|.#......|........"},
        {"cut at the bottom", "AB", 5, 2, "........|........|.....#o#",
         "........|........|.....#.#"},
        {"x beyond the width", "A", 9, 0, "........|........|........",
         "........|........|........"},
        {"y beyond the height", "A", 0, 4, "........|........|........",
         "........|........|........"},
        {"no text", nullptr, 0, 0, "........|........|........", "........|........|........"},
    };
    for (const auto &c : cases) {
        tavi_bitmap opaque(8, 3);
        tavi_bitmap transparent(8, 3);
        fill_raw(opaque, paper);
        fill_raw(transparent, paper);
        opaque.DrawText(font, c.text, c.x, c.y, {255, 255, 255}, bg);
        transparent.DrawTextTransparent(font, c.text, c.x, c.y, {255, 255, 255});
        std::vector<ink> inks = {{'#', {254, 254, 254}}, {'o', bg}};
        EXPECT_EQ(picture(opaque, paper, inks), c.opaque) << c.name;
        EXPECT_EQ(picture(transparent, paper, inks), c.transparent) << c.name;
    }
}

TEST(TaviBitmap, MeasureText)
{
    glyph_font font;
    ASSERT_EQ(font.set_glyph('A', coverage_glyph({255, 0}, 2)), 1);
    ASSERT_EQ(font.set_glyph('B', coverage_glyph({255, 255, 0}, 3)), 1);
    struct {
        const char *text;
        int width, height;
    } cases[] = {{"AxB", 5, 3}, {"BA", 5, 2}, {"", 0, 0}, {"xyz", 0, 0}, {"AAAA", 8, 2}};
    for (const auto &c : cases) {
        int width = -7, height = -7;
        tavi_bitmap::MeasureText(font, c.text, &width, &height);
        EXPECT_EQ(width, c.width) << c.text;
        EXPECT_EQ(height, c.height) << c.text;
    }
    int width = -7, height = -7;
    tavi_bitmap::MeasureText(font, nullptr, &width, &height);
    EXPECT_EQ(width, -7);
    EXPECT_EQ(height, -7);
    tavi_bitmap::MeasureText(font, "AB", nullptr, &height);
    EXPECT_EQ(height, 3);
}

// ---- failed pixel access --------------------------------------------------------------------

TEST(TaviBitmap, FailedPixelAccessLogsOneLine)
{
    new_log_lines();
    tavi_bitmap glyph = coverage_glyph({255});
    wxBitmap no_alpha(2, 2, 24);   // the toolkit gives no 32-bit access to this one
    glyph_font font;
    ASSERT_EQ(font.set_glyph('A', glyph), 1);
    struct {
        const char *operation;
        std::function<void(tavi_bitmap &)> call;
        const char *message;
    } on_invalid[] = {
        {"ClearAlpha", [](tavi_bitmap &b) { b.ClearAlpha(); },
         "Error in tavi_bitmap::ClearAlpha(), pixel data failed?\n"},
        {"Clear", [](tavi_bitmap &b) { b.Clear(white); },
         "Error in tavi_bitmap::Clear(), pixel data failed?\n"},
        {"DrawFilledCircle", [](tavi_bitmap &b) { b.DrawFilledCircle(1, 1, 1, white); },
         "Error in tavi_bitmap::DrawFilledCircle(), pixel data failed?\n"},
        {"DrawFilledRectangle", [](tavi_bitmap &b) { b.DrawFilledRectangle(0, 0, 1, 1, white); },
         "Error in tavi_bitmap::DrawFilledRectangle(), pixel data failed?\n"},
        {"DrawXGradientRectangle",
         [](tavi_bitmap &b) { b.DrawXGradientRectangle(0, 0, 1, 1, black, white); },
         "Error in tavi_bitmap::DrawXGradientRectangle(), pixel data failed?\n"},
        {"DrawYGradientRectangle",
         [](tavi_bitmap &b) { b.DrawYGradientRectangle(0, 0, 1, 1, black, white); },
         "Error in tavi_bitmap::DrawYGradientRectangle(), pixel data failed?\n"},
        {"DrawTextGlyph dest", [&](tavi_bitmap &b) { b.DrawTextGlyph(glyph, 0, 0, white, black); },
         "Error in tavi_bitmap::DrawTextGlyph(), pixel data dest failed?\n"},
        {"DrawTextGlyph src",
         [&](tavi_bitmap &) {
             tavi_bitmap ok(2, 2);
             ok.DrawTextGlyph(no_alpha, 0, 0, white, black);
         },
         "Error in tavi_bitmap::DrawTextGlyph(), pixel data src failed?\n"},
        {"DrawTextGlyphTransparent dest",
         [&](tavi_bitmap &b) { b.DrawTextGlyphTransparent(glyph, 0, 0, white); },
         "Error in tavi_bitmap::DrawTextGlyphTransparent(), pixel data dest failed?\n"},
        {"DrawTextGlyphTransparent src",
         [&](tavi_bitmap &) {
             tavi_bitmap ok(2, 2);
             ok.DrawTextGlyphTransparent(no_alpha, 0, 0, white);
         },
         "Error in tavi_bitmap::DrawTextGlyphTransparent(), pixel data src failed?\n"},
        {"DrawBitmapIgnoreAlpha dest", [&](tavi_bitmap &b) { b.DrawBitmapIgnoreAlpha(glyph, 0, 0); },
         "Error in tavi_bitmap::DrawBitmapIgnoreAlpha(), pixel data dest failed?\n"},
        {"DrawBitmapIgnoreAlpha src",
         [&](tavi_bitmap &) {
             tavi_bitmap ok(2, 2);
             ok.DrawBitmapIgnoreAlpha(no_alpha, 0, 0);
         },
         "Error in tavi_bitmap::DrawBitmapIgnoreAlpha(), pixel data src failed?\n"},
        {"DrawBitmapUseAlpha dest", [&](tavi_bitmap &b) { b.DrawBitmapUseAlpha(glyph, 0, 0); },
         "Error in tavi_bitmap::DrawBitmapUseAlpha(), pixel data dest failed?\n"},
        {"DrawBitmapUseAlpha src",
         [&](tavi_bitmap &) {
             tavi_bitmap ok(2, 2);
             ok.DrawBitmapUseAlpha(no_alpha, 0, 0);
         },
         "Error in tavi_bitmap::DrawBitmapUseAlpha(), pixel data src failed?\n"},
        {"DrawText", [&](tavi_bitmap &b) { b.DrawText(font, "AA", 0, 0, white, black); },
         "Error in tavi_bitmap::DrawTextGlyph(), pixel data dest failed?\n"
         "Error in tavi_bitmap::DrawTextGlyph(), pixel data dest failed?\n"},
        // Pixels, lines and polygons stay silent.
        {"SetPixel", [](tavi_bitmap &b) { b.SetPixel(0, 0, white); }, ""},
        {"DrawLine", [](tavi_bitmap &b) { b.DrawLine(0, 0, 3, 3, white); }, ""},
        {"DrawGradientLine", [](tavi_bitmap &b) { b.DrawGradientLine(0, 0, 3, 3, black, white); },
         ""},
        {"DrawPolygon",
         [](tavi_bitmap &b) {
             int points[] = {0, 0, 5, 0, 0, 5};
             b.DrawPolygon(3, points, 0, 0, white, white);
         },
         ""},
    };
    tavi_bitmap invalid(0, 0);   // logs the ClearAlpha line once
    EXPECT_FALSE(invalid.IsOk());
    EXPECT_EQ(new_log_lines(), "Error in tavi_bitmap::ClearAlpha(), pixel data failed?\n");
    int asserts = test_util::toolkit_assert_count();
    for (const auto &c : on_invalid) {
        c.call(invalid);
        EXPECT_EQ(new_log_lines(), c.message) << c.operation;
    }
    EXPECT_EQ(test_util::toolkit_assert_count(), asserts);

    // The lines are level-2 messages.
    log_level = 1;
    invalid.Clear(white);
    log_level = 3;
    EXPECT_EQ(new_log_lines(), "");
}

TEST(TaviBitmap, UnusableSizesGiveAnInvalidBitmapWithoutToolkitAsserts)
{
    int asserts = test_util::toolkit_assert_count();
    for (auto size : {std::pair<int, int>{0, 5}, {5, 0}, {-1, -1}, {INT_MIN, 3},
                      {tavi_bitmap::max_side + 1, 1}, {1, INT_MAX}}) {
        tavi_bitmap bitmap(size.first, size.second);
        EXPECT_FALSE(bitmap.IsOk());
        bitmap.DrawFilledRectangle(0, 0, 3, 3, white);
        tavi_bitmap copy(bitmap);
        EXPECT_FALSE(copy.IsOk());
    }
    new_log_lines();
    EXPECT_EQ(test_util::toolkit_assert_count(), asserts);
}

} // namespace
