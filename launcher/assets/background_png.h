// The launcher's background picture, a 480 x 300 RGBA PNG compiled into the program.
#pragma once

extern const unsigned char background_png[];
extern const unsigned long background_png_size;   // bytes in background_png
