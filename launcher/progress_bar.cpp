// The download progress bar.
#include "launcher/progress_bar.h"

progress_bar::progress_bar(wxWindow *parent, wxWindowID id, const wxString &name)
    : tavi_embedded_window(parent, id, wxDefaultPosition, wxSize(20, 20), wxBORDER_NONE, name)
{
}

void progress_bar::set_value(double percent)
{
    store_value(percent);
    refresh_if_changed();
}

void progress_bar::refresh_if_changed()
{
    if (value() != last_drawn_)
        redraw(false);
}

void progress_bar::draw(tavi_bitmap &bitmap)
{
    wxSize client = GetClientSize();
    int width = client.x;
    int height = client.y;
    double percent = value();
    double share = width * percent / 100;
    // Clamp in floating point first: a huge or NaN value must not overflow the conversion.
    int done = !(share > 0) ? 0 : share >= width ? width : int(share);
    if (done > 0)
        bitmap.DrawFilledRectangle(0, 0, done - 1, height - 1, done_);
    if (done < width)
        bitmap.DrawFilledRectangle(done, 0, width - 1, height - 1, remaining_);
    last_drawn_ = percent;
}

void progress_bar::redraw(bool)
{
    Refresh(false);
}
