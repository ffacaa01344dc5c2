// A child window painted from its back buffer, and the animation registry.
#include "launcher/embedded_window.h"

#include "support/debug_log.h"

#include <wx/dcclient.h>

namespace {
tavi_embedded_window *animated_head = nullptr;
}

wxBEGIN_EVENT_TABLE(tavi_embedded_window, wxWindow)
    EVT_PAINT(tavi_embedded_window::on_paint)
    EVT_SIZE(tavi_embedded_window::on_size)
    EVT_ERASE_BACKGROUND(tavi_embedded_window::on_erase_background)
wxEND_EVENT_TABLE()

tavi_embedded_window::tavi_embedded_window(wxWindow *parent, wxWindowID id,
                                           const wxPoint &position, const wxSize &size,
                                           long style, const wxString &name)
    : wxWindow(parent, id, position, size, style, name)
{
    back_buffer_ = new tavi_bitmap(size.x > 0 ? size.x : 1, size.y > 0 ? size.y : 1);
}

tavi_embedded_window::~tavi_embedded_window()
{
    remove_animated_window(this);
    delete back_buffer_;
}

int tavi_embedded_window::animation_callback(int)
{
    if (log_level > 0)
        log_printf("Error in tavi_embedded_window::animation_callback(), this handler should never "
                   "be called.\n");
    return 0;
}

void tavi_embedded_window::resize_back_buffer(int width, int height, bool &resized)
{
    resized = width != back_buffer_->GetWidth() || height != back_buffer_->GetHeight();
    if (resized) {
        delete back_buffer_;
        back_buffer_ = new tavi_bitmap(width, height);
    }
}

void tavi_embedded_window::set_geometry(int x, int y, int width, int height)
{
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    bool resized = false;
    resize_back_buffer(width, height, resized);
    SetSize(x, y, width, height, wxSIZE_ALLOW_MINUS_ONE);
    redraw(resized);
}

void tavi_embedded_window::set_client_size(int width, int height)
{
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    bool resized = false;
    resize_back_buffer(width, height, resized);
    SetClientSize(width, height);
    redraw(resized);
}

void tavi_embedded_window::on_paint(wxPaintEvent &)
{
    wxPaintDC dc(this);
    if (!IsShown())
        return;
    draw(*back_buffer_);
    dc.DrawBitmap(*back_buffer_, 0, 0, false);
}

void add_animated_window(tavi_embedded_window *window)
{
    for (tavi_embedded_window *w = animated_head; w; w = w->next_animated_)
        if (w == window)
            return;
    window->next_animated_ = animated_head;
    animated_head = window;
}

void remove_animated_window(tavi_embedded_window *window)
{
    for (tavi_embedded_window **link = &animated_head; *link; link = &(*link)->next_animated_) {
        if (*link == window) {
            *link = window->next_animated_;
            window->next_animated_ = nullptr;
            return;
        }
    }
}

void animate_all(int elapsed_ms)
{
    tavi_embedded_window *window = animated_head;
    while (window) {
        tavi_embedded_window *next = window->next_animated_;
        if (!window->animation_callback(elapsed_ms))
            remove_animated_window(window);
        window = next;
    }
}
