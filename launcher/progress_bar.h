// The download progress bar: a done part and a remaining part, in two colours.
#pragma once

#include "launcher/embedded_window.h"

#include <atomic>

class progress_bar : public tavi_embedded_window {
public:
    progress_bar(wxWindow *parent, wxWindowID id, const wxString &name);

    void set_done_colour(int r, int g, int b) { done_ = {r, g, b}; }
    void set_remaining_colour(int r, int g, int b) { remaining_ = {r, g, b}; }
    // Stores the percentage and redraws when it differs from the one last drawn.
    void set_value(double percent);
    // Stores the percentage without redrawing: the one call made from another thread.
    void store_value(double percent) { value_.store(percent, std::memory_order_relaxed); }
    // Redraws when the stored value differs from the one last drawn.
    void refresh_if_changed();
    double value() const { return value_.load(std::memory_order_relaxed); }

    // Fills the done share of the width with the done colour, the rest with the remaining one.
    void draw(tavi_bitmap &bitmap) override;
    void redraw(bool resized) override;

private:
    bitmap_rgb done_{0, 255, 0};
    bitmap_rgb remaining_{0, 0, 0};
    std::atomic<double> value_{0};
    double last_drawn_ = -1;
};
