#pragma once
#include <cstddef>
#include <cstdint>

// One pixel's colour in buffer byte order.
struct Bgr {
    unsigned char b, g, r;
};

// The frame as the track and box drawing sees it: 3 interleaved bytes per pixel, rows stride bytes
// apart. Coordinates are 64-bit so callers can pass shape corners computed past the int range.
struct BgrImage {
    unsigned char *buffer;
    int width;
    int height;
    int stride;

    // A null buffer, an empty image or rows shorter than 3 x width bytes draw nothing.
    bool usable() const { return buffer != nullptr && width > 0 && height > 0 && stride >= 3 * int64_t{width}; }

    // Pixels outside the image are skipped: shapes come from the detector and may stick out.
    void put(int64_t x, int64_t y, Bgr c) const
    {
        if (x < 0 || x >= width || y < 0 || y >= height)
            return;
        unsigned char *p = buffer + static_cast<ptrdiff_t>(y) * stride + 3 * static_cast<ptrdiff_t>(x);
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }
};
