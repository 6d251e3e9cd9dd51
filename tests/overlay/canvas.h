#pragma once
#include "detector/quorvane.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <set>
#include <utility>
#include <vector>

using Pixel = std::pair<int, int>;  // (x, y)
using Colour = std::array<int, 3>;  // blue, green, red

// A BGR image with padded rows and guard bytes before and after it, all pre-filled with a marker
// no drawing colour equals, so every byte written outside the image can be caught.
struct Canvas {
    static constexpr int kGuard = 64;
    static constexpr int kPad = 5;
    static constexpr unsigned char kMark = 0xA5;

    int width, height, stride;
    std::vector<unsigned char> bytes;

    Canvas(int w, int h) : width(w), height(h), stride(3 * w + kPad), bytes(2 * kGuard + h * stride, kMark) {}

    unsigned char *data() { return bytes.data() + kGuard; }

    // Every pixel that changed, with its colour; fails the test if a byte outside the image changed.
    std::map<Pixel, Colour> drawn() const
    {
        std::map<Pixel, Colour> out;
        for (size_t i = 0; i < bytes.size(); ++i) {
            const long offset = long(i) - kGuard;
            const bool inside = offset >= 0 && offset < long(height) * stride && offset % stride < 3 * width;
            if (!inside) {
                EXPECT_EQ(bytes[i], kMark) << "byte " << offset << " outside the image was written";
            }
        }
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned char *p = bytes.data() + kGuard + y * stride + 3 * x;
                if (p[0] != kMark || p[1] != kMark || p[2] != kMark)
                    out[{x, y}] = {p[0], p[1], p[2]};
            }
        return out;
    }

    std::set<Pixel> drawn_pixels() const
    {
        std::set<Pixel> out;
        for (const auto &entry : drawn())
            out.insert(entry.first);
        return out;
    }
};

inline qv_object blank_object()
{
    qv_object obj;
    std::memset(&obj, 0, sizeof obj);
    return obj;
}
