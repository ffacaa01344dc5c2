// Top-level frame with the process-wide icon bundle.
#include "launcher/frame.h"

bool tavi_frame::has_icons = false;

wxIconBundle &tavi_frame::icons()
{
    static wxIconBundle bundle;
    return bundle;
}

tavi_frame::tavi_frame(wxWindow *parent, wxWindowID id, const wxString &title,
                       const wxPoint &position, const wxSize &size, long style)
    : wxFrame(parent, id, title, position, size, style, title)
{
    SetName(wxString::From8BitData("tavi frame ") + title);
    if (has_icons)
        SetIcons(icons());
}

void tavi_frame::add_icon(const wxIcon &icon)
{
    icons().AddIcon(icon);
    has_icons = true;
}
