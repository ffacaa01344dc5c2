// Software drawing on the toolkit's raw 32-bit pixel data.
#include "graphics/bitmap.h"

#include "graphics/glyph_font.h"
#include "support/debug_log.h"

#include <wx/rawbmp.h>

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <utility>

namespace {

// Coordinates and colour arithmetic are done in 64 bits: sums and products of ints (corner
// differences, (r + 1) * r, colour * 256 plus steps) cannot overflow there.
using wide = long long;

constexpr int red_byte = wxAlphaPixelFormat::RED;
constexpr int green_byte = wxAlphaPixelFormat::GREEN;
constexpr int blue_byte = wxAlphaPixelFormat::BLUE;
constexpr int alpha_byte = wxAlphaPixelFormat::ALPHA;
constexpr int pixel_bytes = wxAlphaPixelFormat::BitsPerPixel / 8;

// The raw pixels of a bitmap for the life of this object. False for an invalid bitmap (which is
// never handed to the toolkit's raw access: that would assert) or one without 32-bit alpha data.
class pixel_access {
public:
    explicit pixel_access(wxBitmap &bitmap)
    {
        if (!bitmap.IsOk())
            return;
        data_.emplace(bitmap);
        if (!*data_) {
            data_.reset();
            return;
        }
        wxAlphaPixelData::Iterator origin(*data_);
        origin_ = origin.m_ptr;
        stride_ = data_->GetRowStride();
        width_ = data_->GetWidth();
        height_ = data_->GetHeight();
    }
    pixel_access(const pixel_access &) = delete;
    pixel_access &operator=(const pixel_access &) = delete;

    explicit operator bool() const { return origin_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool inside(wide x, wide y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // Needs 0 <= x < width, 0 <= y < height.
    unsigned char *pixel(wide x, wide y) const
    {
        return origin_ + std::ptrdiff_t(y) * stride_ + std::ptrdiff_t(x) * pixel_bytes;
    }

private:
    std::optional<wxAlphaPixelData> data_;
    unsigned char *origin_ = nullptr;
    int stride_ = 0;
    int width_ = 0;
    int height_ = 0;
};

unsigned char low_byte(wide value)
{
    return static_cast<unsigned char>(value);
}

void set_colour(unsigned char *p, wide red, wide green, wide blue)
{
    p[red_byte] = low_byte(red);
    p[green_byte] = low_byte(green);
    p[blue_byte] = low_byte(blue);
}

void put_pixel(const pixel_access &pixels, wide x, wide y, wide red, wide green, wide blue)
{
    if (pixels.inside(x, y))
        set_colour(pixels.pixel(x, y), red, green, blue);
}

void log_access_failure(const char *text)
{
    if (log_level >= 2)
        log_printf("%s", text);
}

// Fills columns x1..x2 of row y (either order), clipped.
void fill_span(const pixel_access &pixels, wide x1, wide x2, wide y, bitmap_rgb colour)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (y < 0 || y >= pixels.height() || x2 < 0 || x1 >= pixels.width())
        return;
    wide left = x1 < 0 ? 0 : x1;
    wide right = x2 >= pixels.width() ? pixels.width() - 1 : x2;
    unsigned char *p = pixels.pixel(left, y);
    for (wide x = left; x <= right; x++, p += pixel_bytes)
        set_colour(p, colour.red, colour.green, colour.blue);
}

// A rectangle with ordered corners cut to the bitmap; false when nothing of it is inside.
struct clipped_rect {
    wide left, top, right, bottom;     // the ordered, uncut corners
    wide x1, y1, x2, y2;               // the visible part
};

bool clip_rect(const pixel_access &pixels, wide x1, wide y1, wide x2, wide y2, clipped_rect &r)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    if (x2 < 0 || y2 < 0 || x1 >= pixels.width() || y1 >= pixels.height())
        return false;
    r.left = x1;
    r.top = y1;
    r.right = x2;
    r.bottom = y2;
    r.x1 = x1 < 0 ? 0 : x1;
    r.y1 = y1 < 0 ? 0 : y1;
    r.x2 = x2 >= pixels.width() ? pixels.width() - 1 : x2;
    r.y2 = y2 >= pixels.height() ? pixels.height() - 1 : y2;
    return true;
}

// The walks below skip the part of a line before the bitmap in closed form, so a line from far
// outside costs no more than its visible part; products of two 32-bit spans need 128 bits.
using huge = __int128;

// The line walk's error after `steps` pixels when each pixel subtracts `minor` from an error
// that starts at `start` (0 <= start < major) and gets `major` added, with one minor move,
// whenever it falls below 0. Stores the number of minor moves made in `moves`.
wide bresenham_error_after(wide start, wide major, wide minor, wide steps, wide &moves)
{
    huge owed = huge(steps) * minor - start;
    moves = owed <= 0 ? 0 : wide((owed + major - 1) / major);
    return wide(huge(start) - huge(steps) * minor + huge(moves) * major);
}

// Bresenham line, ends ordered along the major axis; a diagonal is y-major.
void draw_line(const pixel_access &pixels, wide x1, wide y1, wide x2, wide y2, bitmap_rgb c)
{
    if (x1 == x2 && y1 == y2) {
        put_pixel(pixels, x1, y1, c.red, c.green, c.blue);
        return;
    }
    // A line whose bounding box misses the bitmap sets no pixel: don't walk it.
    if ((x1 < 0 && x2 < 0) || (y1 < 0 && y2 < 0) || (x1 >= pixels.width() && x2 >= pixels.width()) ||
        (y1 >= pixels.height() && y2 >= pixels.height()))
        return;
    wide dx = x1 > x2 ? x1 - x2 : x2 - x1;
    wide dy = y1 > y2 ? y1 - y2 : y2 - y1;
    if (dx > dy) {
        if (x1 > x2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        wide y_step = y2 > y1 ? 1 : -1;
        wide skip = x1 < 0 ? -x1 : 0;
        wide moves = 0;
        wide error = bresenham_error_after(dx >> 1, dx, dy, skip, moves);
        wide y = y1 + y_step * moves;
        wide last = x2 < pixels.width() ? x2 : pixels.width() - 1;
        for (wide x = x1 + skip; x <= last; x++) {
            put_pixel(pixels, x, y, c.red, c.green, c.blue);
            error -= dy;
            if (error < 0) {
                error += dx;
                y += y_step;
            }
        }
    } else {
        if (y1 > y2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        wide x_step = x2 > x1 ? 1 : -1;
        wide skip = y1 < 0 ? -y1 : 0;
        wide moves = 0;
        wide error = bresenham_error_after(dy >> 1, dy, dx, skip, moves);
        wide x = x1 + x_step * moves;
        wide last = y2 < pixels.height() ? y2 : pixels.height() - 1;
        for (wide y = y1 + skip; y <= last; y++) {
            put_pixel(pixels, x, y, c.red, c.green, c.blue);
            error -= dx;
            if (error < 0) {
                error += dy;
                x += x_step;
            }
        }
    }
}

// Shared by both gradient rectangles: the colour changes along x (columns) or y (rows).
void draw_gradient_rectangle(const pixel_access &pixels, const clipped_rect &r, bool along_x,
                             bitmap_rgb c1, bitmap_rgb c2)
{
    wide span = along_x ? r.right - r.left + 2 : r.bottom - r.top + 2;   // at least 2
    wide step[3] = {(wide(c2.red) - c1.red) * 256 / span, (wide(c2.green) - c1.green) * 256 / span,
                    (wide(c2.blue) - c1.blue) * 256 / span};
    wide acc[3] = {wide(c1.red) * 256, wide(c1.green) * 256, wide(c1.blue) * 256};
    wide first = along_x ? r.x1 : r.y1;
    wide last = along_x ? r.x2 : r.y2;
    for (wide i = first; i <= last; i++) {
        for (int k = 0; k < 3; k++)
            acc[k] += step[k];
        bitmap_rgb colour = {int(acc[0] >> 8), int(acc[1] >> 8), int(acc[2] >> 8)};
        if (along_x) {
            for (wide y = r.y1; y <= r.y2; y++)
                set_colour(pixels.pixel(i, y), colour.red, colour.green, colour.blue);
        } else {
            fill_span(pixels, r.x1, r.x2, i, colour);
        }
    }
}

// Where a source of sw x sh placed at (x, y) overlaps a destination of dw x dh.
struct overlap {
    wide dest_x, dest_y, src_x, src_y, width, height;
};

bool place(int dw, int dh, int sw, int sh, wide x, wide y, overlap &o)
{
    o.src_x = x < 0 ? -x : 0;
    o.src_y = y < 0 ? -y : 0;
    o.dest_x = x < 0 ? 0 : x;
    o.dest_y = y < 0 ? 0 : y;
    o.width = sw - o.src_x;
    if (dw - o.dest_x < o.width)
        o.width = dw - o.dest_x;
    o.height = sh - o.src_y;
    if (dh - o.dest_y < o.height)
        o.height = dh - o.dest_y;
    return o.width > 0 && o.height > 0;
}

// A handle on the source's pixels that never aliases `dest`: a source sharing dest's data is
// copied, so a bitmap drawn onto itself is read as it was before the call.
wxBitmap source_for(const wxBitmap &source, const wxBitmap &dest)
{
    if (source.IsOk() && source.IsSameAs(dest))
        return source.GetSubBitmap(wxRect(0, 0, source.GetWidth(), source.GetHeight()));
    return source;
}

enum class blit_mode { ignore_alpha, use_alpha, glyph, glyph_transparent };

struct blit_messages {
    const char *dest;
    const char *src;
};

void blit(wxBitmap &dest_bitmap, const wxBitmap &source, int x, int y, blit_mode mode,
          bitmap_rgb fg, bitmap_rgb bg, const blit_messages &messages)
{
    wxBitmap src_bitmap = source_for(source, dest_bitmap);
    pixel_access dest(dest_bitmap);
    if (!dest) {
        log_access_failure(messages.dest);
        return;
    }
    pixel_access src(src_bitmap);
    if (!src) {
        log_access_failure(messages.src);
        return;
    }
    overlap o;
    if (!place(dest.width(), dest.height(), src.width(), src.height(), x, y, o))
        return;
    for (wide row = 0; row < o.height; row++) {
        const unsigned char *s = src.pixel(o.src_x, o.src_y + row);
        unsigned char *d = dest.pixel(o.dest_x, o.dest_y + row);
        for (wide col = 0; col < o.width; col++, s += pixel_bytes, d += pixel_bytes) {
            switch (mode) {
            case blit_mode::ignore_alpha:
                for (int k = 0; k < pixel_bytes; k++)
                    d[k] = s[k];
                break;
            case blit_mode::use_alpha: {
                int a = s[alpha_byte];
                set_colour(d, (s[red_byte] * a) >> 8, (s[green_byte] * a) >> 8,
                           (s[blue_byte] * a) >> 8);
                break;
            }
            case blit_mode::glyph: {
                wide t = s[green_byte];
                if (t == 0)
                    set_colour(d, bg.red, bg.green, bg.blue);
                else
                    set_colour(d, (t * fg.red + (255 - t) * bg.red) / 256,
                               (t * fg.green + (255 - t) * bg.green) / 256,
                               (t * fg.blue + (255 - t) * bg.blue) / 256);
                break;
            }
            case blit_mode::glyph_transparent: {
                wide t = s[green_byte];
                if (t != 0)
                    set_colour(d, (t * fg.red + (255 - t) * d[red_byte]) / 256,
                               (t * fg.green + (255 - t) * d[green_byte]) / 256,
                               (t * fg.blue + (255 - t) * d[blue_byte]) / 256);
                break;
            }
            }
        }
    }
}

int width_of(const wxBitmap &bitmap)
{
    return bitmap.IsOk() ? bitmap.GetWidth() : 0;
}

// Rows above the bitmap that a polygon fill still walks one by one (see DrawPolygon).
constexpr wide polygon_rows_walked_above = 65536;

// One polygon side that is not horizontal, followed down the rows.
struct polygon_edge {
    wide top;        // next row to enter; the edge's top row until it is first passed
    wide bottom;
    double x;        // x at row `top`
    double slope;    // x change per row
    int entered;
};

// Stable insertion sort by x: equal neighbours keep their order; no memory is allocated.
void sort_edges(polygon_edge *edges, int count)
{
    for (int i = 1; i < count; i++) {
        polygon_edge e = edges[i];
        int j = i;
        for (; j > 0 && edges[j - 1].x > e.x; j--)
            edges[j] = edges[j - 1];
        edges[j] = e;
    }
}

} // namespace

tavi_bitmap::tavi_bitmap() : tavi_bitmap(default_size, default_size)
{
}

tavi_bitmap::tavi_bitmap(int width, int height)
{
    // The toolkit asserts on an empty size: such a bitmap stays invalid instead, as does one
    // beyond max_side or whose pixels could not be had.
    if (width > 0 && height > 0 && width <= max_side && height <= max_side &&
        Create(width, height, 32)) {
        pixel_access pixels(*this);
        if (pixels) {
            for (int y = 0; y < pixels.height(); y++)
                fill_span(pixels, 0, pixels.width() - 1, y, bitmap_rgb{0, 0, 0});
        } else {
            UnRef();
        }
    }
    ClearAlpha();
}

tavi_bitmap::tavi_bitmap(const wxImage &image)
{
    if (!image.IsOk())
        return;
    if (image.HasAlpha()) {
        wxBitmap::operator=(wxBitmap(image, -1));
        return;
    }
    wxImage opaque = image.Copy();
    opaque.InitAlpha();
    wxBitmap::operator=(wxBitmap(opaque, -1));
}

tavi_bitmap::tavi_bitmap(const wxBitmap &source) : wxBitmap()
{
    *this = source;
}

tavi_bitmap::tavi_bitmap(const tavi_bitmap &source) : wxBitmap()
{
    *this = static_cast<const wxBitmap &>(source);
}

tavi_bitmap &tavi_bitmap::operator=(const wxBitmap &source)
{
    if (!source.IsOk()) {
        UnRef();
        return *this;
    }
    // The copy is made before this bitmap lets go of its data, so self-assignment is safe.
    wxBitmap copy = source.GetSubBitmap(wxRect(0, 0, source.GetWidth(), source.GetHeight()));
    wxBitmap::operator=(copy);
    return *this;
}

tavi_bitmap &tavi_bitmap::operator=(const tavi_bitmap &source)
{
    return *this = static_cast<const wxBitmap &>(source);
}

void tavi_bitmap::ClearAlpha()
{
    pixel_access pixels(*this);
    if (!pixels) {
        log_access_failure("Error in tavi_bitmap::ClearAlpha(), pixel data failed?\n");
        return;
    }
    for (int y = 0; y < pixels.height(); y++) {
        unsigned char *p = pixels.pixel(0, y);
        for (int x = 0; x < pixels.width(); x++, p += pixel_bytes)
            p[alpha_byte] = 255;
    }
}

void tavi_bitmap::Clear(bitmap_rgb colour)
{
    pixel_access pixels(*this);
    if (!pixels) {
        log_access_failure("Error in tavi_bitmap::Clear(), pixel data failed?\n");
        return;
    }
    for (int y = 0; y < pixels.height(); y++) {
        unsigned char *p = pixels.pixel(0, y);
        for (int x = 0; x < pixels.width(); x++, p += pixel_bytes) {
            set_colour(p, colour.red, colour.green, colour.blue);
            p[alpha_byte] = 255;
        }
    }
}

void tavi_bitmap::SetPixel(int x, int y, bitmap_rgb colour)
{
    SetPixel(x, y, colour.red, colour.green, colour.blue);
}

void tavi_bitmap::SetPixel(int x, int y, int red, int green, int blue)
{
    pixel_access pixels(*this);
    if (pixels)
        put_pixel(pixels, x, y, red, green, blue);
}

void tavi_bitmap::DrawFilledRectangle(int x1, int y1, int x2, int y2, bitmap_rgb colour)
{
    pixel_access pixels(*this);
    if (!pixels) {
        log_access_failure("Error in tavi_bitmap::DrawFilledRectangle(), pixel data failed?\n");
        return;
    }
    clipped_rect r;
    if (!clip_rect(pixels, x1, y1, x2, y2, r))
        return;
    for (wide y = r.y1; y <= r.y2; y++)
        fill_span(pixels, r.x1, r.x2, y, colour);
}

void tavi_bitmap::DrawFilledCircle(int cx, int cy, int radius, bitmap_rgb colour)
{
    pixel_access pixels(*this);
    if (!pixels) {
        log_access_failure("Error in tavi_bitmap::DrawFilledCircle(), pixel data failed?\n");
        return;
    }
    wide r = radius < 0 ? 0 : radius;
    if (cy - r >= pixels.height() || cy + r < 0)
        return;
    wide first = cy - r < 0 ? 0 : cy - r;
    wide last = cy + r > pixels.height() - 1 ? pixels.height() - 1 : cy + r;
    for (wide y = first; y <= last; y++) {
        wide d = (r + 1) * r - (y - cy) * (y - cy);
        if (d < 0)
            d = 0;
        // The half-width: d in single precision, the root in double, truncated.
        wide h = wide(std::sqrt(double(float(d))));
        if (cx - h >= pixels.width() || cx + h < 0)
            continue;
        fill_span(pixels, cx - h, cx + h, y, colour);
    }
}

void tavi_bitmap::DrawXGradientRectangle(int x1, int y1, int x2, int y2, bitmap_rgb colour1,
                                         bitmap_rgb colour2)
{
    pixel_access pixels(*this);
    if (!pixels) {
        log_access_failure("Error in tavi_bitmap::DrawXGradientRectangle(), pixel data failed?\n");
        return;
    }
    clipped_rect r;
    if (clip_rect(pixels, x1, y1, x2, y2, r))
        draw_gradient_rectangle(pixels, r, true, colour1, colour2);
}

void tavi_bitmap::DrawYGradientRectangle(int x1, int y1, int x2, int y2, bitmap_rgb colour1,
                                         bitmap_rgb colour2)
{
    pixel_access pixels(*this);
    if (!pixels) {
        log_access_failure("Error in tavi_bitmap::DrawYGradientRectangle(), pixel data failed?\n");
        return;
    }
    clipped_rect r;
    if (clip_rect(pixels, x1, y1, x2, y2, r))
        draw_gradient_rectangle(pixels, r, false, colour1, colour2);
}

void tavi_bitmap::DrawLine(int x1, int y1, int x2, int y2, bitmap_rgb colour)
{
    pixel_access pixels(*this);
    if (pixels)
        draw_line(pixels, x1, y1, x2, y2, colour);
}

void tavi_bitmap::DrawGradientLine(int x1, int y1, int x2, int y2, bitmap_rgb colour1,
                                   bitmap_rgb colour2)
{
    pixel_access pixels(*this);
    if (!pixels)
        return;
    wide dx = std::llabs(wide(x2) - x1);
    wide dy = std::llabs(wide(y2) - y1);
    bool x_major = dx > dy;
    wide major = x_major ? dx : dy;
    wide minor = x_major ? dy : dx;
    wide acc[3] = {wide(colour1.red) * 256, wide(colour1.green) * 256, wide(colour1.blue) * 256};
    wide step[3] = {(wide(colour2.red) - colour1.red) * 256 / (major + 1),
                    (wide(colour2.green) - colour1.green) * 256 / (major + 1),
                    (wide(colour2.blue) - colour1.blue) * 256 / (major + 1)};
    wide a = x_major ? x1 : y1;              // major coordinate
    wide b = x_major ? y1 : x1;              // minor coordinate
    wide a_step = (x_major ? x2 >= x1 : y2 >= y1) ? 1 : -1;
    wide b_step = (x_major ? y2 > y1 : x2 > x1) ? 1 : -1;
    // A line whose bounding box misses the bitmap sets no pixel: don't walk it.
    wide width = pixels.width(), height = pixels.height();
    if ((x1 < 0 && x2 < 0) || (y1 < 0 && y2 < 0) || (x1 >= width && x2 >= width) ||
        (y1 >= height && y2 >= height))
        return;
    wide major_limit = x_major ? width : height;
    wide error = -(major / 2);
    // Steps before the walk reaches the bitmap along the major axis; at most `major`, since
    // the far end is not on the same outer side.
    wide skip = a_step > 0 ? (a < 0 ? -a : 0) : (a >= major_limit ? a - (major_limit - 1) : 0);
    if (skip > 0) {
        // After each step the error is in [-major, 0) (a diagonal moves on every step).
        wide moves;
        if (minor == 0) {
            moves = 0;
        } else if (minor == major) {
            moves = skip;
        } else {
            huge sum = huge(error) + huge(skip) * minor;
            huge quotient = sum >= 0 ? sum / major : -((-sum + major - 1) / major);   // floor
            moves = wide(quotient + 1);
        }
        error = wide(huge(error) + huge(skip) * minor - huge(moves) * major);
        a += a_step * skip;
        b += b_step * moves;
        for (int k = 0; k < 3; k++)
            acc[k] += step[k] * skip;
    }
    for (wide i = skip; i <= major; i++) {
        // Walking away from the bitmap along the major axis: nothing further can show.
        if ((a_step > 0 && a >= major_limit) || (a_step < 0 && a < 0))
            break;
        if (x_major)
            put_pixel(pixels, a, b, acc[0] >> 8, acc[1] >> 8, acc[2] >> 8);
        else
            put_pixel(pixels, b, a, acc[0] >> 8, acc[1] >> 8, acc[2] >> 8);
        for (int k = 0; k < 3; k++)
            acc[k] += step[k];
        error += minor;
        // A straight line never leaves its row or column (the error test alone would move a
        // two-pixel one off it).
        if (minor > 0 && error >= 0) {
            error -= major;
            b += b_step;
        }
        a += a_step;
    }
}

void tavi_bitmap::DrawPolygon(int count, const int *points, int x_offset, int y_offset,
                              bitmap_rgb outline, bitmap_rgb fill)
{
    if (count < polygon_min_points) {
        if (log_level >= 1)
            log_printf("Error in tavi_bitmap::DrawPolygon(), only got %d points, need a minimum "
                       "of 3.\n", count);
        return;
    }
    if (count > polygon_max_points) {
        if (log_level >= 1)
            log_printf("Error in tavi_bitmap::DrawPolygon(), got %d points, max is %d.\n", count,
                       polygon_max_edges);
        return;
    }
    if (!points) {
        if (log_level >= 1)
            log_printf("Error in tavi_bitmap::DrawPolygon(), no point list.\n");
        return;
    }
    pixel_access pixels(*this);
    if (!pixels)
        return;
    auto px = [&](int i) { return wide(points[2 * i]) + x_offset; };
    auto py = [&](int i) { return wide(points[2 * i + 1]) + y_offset; };

    // Sides run from the last point to the first, then from each point to the next.
    polygon_edge edges[polygon_max_edges];
    int edge_count = 0;
    wide min_y = py(0);
    wide max_y = py(0);
    for (int i = 0; i < count; i++) {
        int from = i == 0 ? count - 1 : i - 1;
        wide xa = px(from), ya = py(from), xb = px(i), yb = py(i);
        if (yb < min_y)
            min_y = yb;
        if (yb > max_y)
            max_y = yb;
        if (ya == yb)
            continue;
        polygon_edge &e = edges[edge_count++];
        e.top = ya < yb ? ya : yb;
        e.bottom = ya < yb ? yb : ya;
        e.x = double(ya < yb ? xa : xb);
        e.slope = double(xb - xa) / double(yb - ya);
        e.entered = 0;
    }
    sort_edges(edges, edge_count);

    // Far above the bitmap nothing is drawn: jump to the row before the first visible one,
    // entering and advancing the edges by multiplication instead of row by row. (Row by row the
    // x values are sums of repeated additions; the jump differs from them only in the last bits
    // and only for polygons reaching more than polygon_rows_walked_above rows above.)
    wide first_row = min_y;
    if (-1 - min_y > polygon_rows_walked_above) {
        first_row = -1;
        int kept = 0;
        for (int k = 0; k < edge_count; k++) {
            polygon_edge e = edges[k];
            if (e.bottom < first_row)
                continue;
            if (e.top < first_row) {
                e.entered = 1;
                e.x += double(first_row - e.top) * e.slope;
                e.top = first_row;
            }
            edges[kept++] = e;
        }
        edge_count = kept;
        sort_edges(edges, edge_count);
    }

    // An edge is entered on its top row and counts for spans from the next row down to its
    // bottom row, so each row meets an even number of counting edges.
    wide last_row = max_y < pixels.height() - 1 ? max_y : pixels.height() - 1;
    for (wide y = first_row; y <= last_row; y++) {
        bool visible = y >= 0;
        bool open = false;
        wide open_x = 0;
        for (int k = 0; k < edge_count; k++) {
            polygon_edge &e = edges[k];
            if (e.top > y)
                continue;
            if (!e.entered) {
                e.entered = 1;
                continue;
            }
            wide x = wide(e.x);
            if (!open) {
                open = true;
                open_x = x;
            } else {
                if (visible)
                    fill_span(pixels, open_x, x, y, fill);
                open = false;
            }
        }
        int kept = 0;
        for (int k = 0; k < edge_count; k++) {
            if (edges[k].bottom <= y)
                continue;
            edges[kept] = edges[k];
            if (edges[kept].top <= y) {
                edges[kept].top = y + 1;
                edges[kept].x += edges[kept].slope;
            }
            kept++;
        }
        edge_count = kept;
        // Above the bitmap only the entering matters, and that ignores the order: ties aside
        // (which give the same spans either way) the order is the same when sorted later.
        if (y >= -1)
            sort_edges(edges, edge_count);
    }

    draw_line(pixels, px(0), py(0), px(count - 1), py(count - 1), outline);
    for (int i = 1; i < count; i++)
        draw_line(pixels, px(i), py(i), px(i - 1), py(i - 1), outline);
}

void tavi_bitmap::DrawBitmapIgnoreAlpha(const wxBitmap &source, int x, int y)
{
    blit(*this, source, x, y, blit_mode::ignore_alpha, {}, {},
         {"Error in tavi_bitmap::DrawBitmapIgnoreAlpha(), pixel data dest failed?\n",
          "Error in tavi_bitmap::DrawBitmapIgnoreAlpha(), pixel data src failed?\n"});
}

void tavi_bitmap::DrawBitmapUseAlpha(const wxBitmap &source, int x, int y)
{
    blit(*this, source, x, y, blit_mode::use_alpha, {}, {},
         {"Error in tavi_bitmap::DrawBitmapUseAlpha(), pixel data dest failed?\n",
          "Error in tavi_bitmap::DrawBitmapUseAlpha(), pixel data src failed?\n"});
}

void tavi_bitmap::DrawTextGlyph(const wxBitmap &glyph, int x, int y, bitmap_rgb foreground,
                                bitmap_rgb background)
{
    blit(*this, glyph, x, y, blit_mode::glyph, foreground, background,
         {"Error in tavi_bitmap::DrawTextGlyph(), pixel data dest failed?\n",
          "Error in tavi_bitmap::DrawTextGlyph(), pixel data src failed?\n"});
}

void tavi_bitmap::DrawTextGlyphTransparent(const wxBitmap &glyph, int x, int y,
                                           bitmap_rgb foreground)
{
    blit(*this, glyph, x, y, blit_mode::glyph_transparent, foreground, {},
         {"Error in tavi_bitmap::DrawTextGlyphTransparent(), pixel data dest failed?\n",
          "Error in tavi_bitmap::DrawTextGlyphTransparent(), pixel data src failed?\n"});
}

namespace {

// Calls draw(glyph, x) for each character of `text` that has a glyph, x moving by the glyph
// widths from `x`. Stops where no later glyph can reach the bitmap.
template <class Draw>
void draw_glyphs(const wxBitmap &dest, const glyph_font &font, const char *text, int x, int y,
                 Draw draw)
{
    if (!text)
        return;
    // An invalid destination has no size: every glyph then reports the failed pixel access.
    wide limit = dest.IsOk() ? dest.GetWidth() : wide(INT_MAX) + 1;
    if (dest.IsOk() && (y > dest.GetHeight() || x > dest.GetWidth()))
        return;
    wide at = x;
    for (const char *p = text; *p; p++) {
        const tavi_bitmap *glyph = font.glyph(static_cast<unsigned char>(*p));
        if (!glyph)
            continue;
        // Glyphs are at least one column wide, so every later one falls to the right too.
        if (at >= limit)
            break;
        draw(*glyph, int(at));
        at += width_of(*glyph);
    }
}

} // namespace

void tavi_bitmap::DrawText(const glyph_font &font, const char *text, int x, int y,
                           bitmap_rgb foreground, bitmap_rgb background)
{
    draw_glyphs(*this, font, text, x, y, [&](const tavi_bitmap &glyph, int at) {
        DrawTextGlyph(glyph, at, y, foreground, background);
    });
}

void tavi_bitmap::DrawTextTransparent(const glyph_font &font, const char *text, int x, int y,
                                      bitmap_rgb foreground)
{
    draw_glyphs(*this, font, text, x, y, [&](const tavi_bitmap &glyph, int at) {
        DrawTextGlyphTransparent(glyph, at, y, foreground);
    });
}

void tavi_bitmap::MeasureText(const glyph_font &font, const char *text, int *width, int *height)
{
    if (!text)
        return;
    wide total = 0;
    int last_height = 0;
    for (const char *p = text; *p; p++) {
        const tavi_bitmap *glyph = font.glyph(static_cast<unsigned char>(*p));
        if (!glyph || !glyph->IsOk())
            continue;
        total += glyph->GetWidth();
        if (total > INT_MAX)
            total = INT_MAX;
        last_height = glyph->GetHeight();
    }
    if (width)
        *width = int(total);
    if (height)
        *height = last_height;
}
