// A child window that paints itself from an off-screen bitmap, and the registry of animated ones.
#pragma once

#include "graphics/bitmap.h"

#include <wx/window.h>

class tavi_embedded_window : public wxWindow {
public:
    // Creates the toolkit window and a back buffer of the given size (at least 1 x 1).
    tavi_embedded_window(wxWindow *parent, wxWindowID id, const wxPoint &position,
                         const wxSize &size, long style, const wxString &name);
    ~tavi_embedded_window() override;

    // Asks for a repaint; `resized` says whether the size has just changed.
    virtual void redraw(bool resized) = 0;
    // Draws the window's picture into the back buffer.
    virtual void draw(tavi_bitmap &bitmap) = 0;
    // Advances an animation; 0 means it has finished and the window leaves the registry. The
    // base version should never be reached: it logs that and returns 0.
    virtual int animation_callback(int elapsed_ms);
    // Moves and resizes (width and height at least 1), remaking the back buffer on a new size.
    virtual void set_geometry(int x, int y, int width, int height);
    // Resizes, keeping the position.
    virtual void set_client_size(int width, int height);
    void redraw() { redraw(true); }

    tavi_bitmap &back_buffer() { return *back_buffer_; }

private:
    friend void add_animated_window(tavi_embedded_window *window);
    friend void remove_animated_window(tavi_embedded_window *window);
    friend void animate_all(int elapsed_ms);

    void on_paint(wxPaintEvent &event);
    void on_size(wxSizeEvent &) {}
    void on_erase_background(wxEraseEvent &) {}
    void resize_back_buffer(int width, int height, bool &resized);

    tavi_bitmap *back_buffer_ = nullptr;
    tavi_embedded_window *next_animated_ = nullptr;

    wxDECLARE_EVENT_TABLE();
};

// The process-wide list of animated windows. A window must be removed before it is destroyed
// (the destructor does it).
void add_animated_window(tavi_embedded_window *window);     // at the front, once
void remove_animated_window(tavi_embedded_window *window);  // if present
// Calls every registered window's animation_callback; unlinks those that return 0.
void animate_all(int elapsed_ms);
