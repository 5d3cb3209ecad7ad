// Pictures: an offscreen framebuffer of the picture's size to draw into,
// reading it back top row first, and writing 8-bit RGB PNG files.
#pragma once

#include <cstdint>

struct Picture {
    int size;                 // width and height in pixels
    unsigned int framebuffer; // GL framebuffer, bound while the picture exists
    unsigned int colour;      // its RGBA8 colour renderbuffer
    unsigned int depth;       // its 24-bit depth renderbuffer, as the window has
    bool top_first;           // drawn with the origin at the upper left
};

// Makes the framebuffer, binds it for drawing and reading, and sets the
// viewport to the whole picture, lines size / 512 pixels wide and, where the
// driver offers it, the upper-left origin. Returns 1, or 0 with nothing left
// made.
int create_picture(int size, Picture* picture);

// Reads the colour of the last frame, 3 bytes a pixel, the top row first.
void read_picture(const Picture* picture, uint8_t* rgb);

// Deletes the GL objects, binds the window's framebuffer again and puts the
// origin back at the lower left.
void destroy_picture(Picture* picture);

struct Output;

// Writes size x size RGB pixels, top row first, as a PNG into an open
// output and renames it to its target. Returns none, or why it failed; the
// temporary file is gone then.
const char* save_png_picture(Output* output, const uint8_t* rgb, int size);
