// A top-level frame that applies the process-wide icon bundle once an icon has been added.
#pragma once

#include <wx/frame.h>
#include <wx/iconbndl.h>

class tavi_frame : public wxFrame {
public:
    // Creates the frame; its window name becomes "tavi frame " + title.
    tavi_frame(wxWindow *parent, wxWindowID id, const wxString &title, const wxPoint &position,
               const wxSize &size, long style);

    // Adds an icon to the bundle that every frame created afterwards applies.
    static void add_icon(const wxIcon &icon);

private:
    static wxIconBundle &icons();
    static bool has_icons;
};
