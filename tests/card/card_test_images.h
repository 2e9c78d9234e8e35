#pragma once

// Pictures for the card tests on Windows: files read whole, a drawing surface whose pixels can
// be read back, and colour comparisons.

#include "card/card_picture.h"
#include "card/jpeg_image.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace quorva::testing {

struct Rgb {
    int red, green, blue;
};

inline Rgb at(const RgbImage& image, int x, int y) {
    const std::uint8_t* p = image.pixel(x, y);
    return {p[0], p[1], p[2]};
}

inline bool similar(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
           std::abs(a.blue - b.blue) <= tolerance;
}

// The labels' blue, RGB(0, 0, 160), give or take anti-aliasing and compression.
inline bool isLabelBlue(Rgb c) {
    return c.blue > 110 && c.red < 70 && c.green < 70;
}

inline std::vector<std::uint8_t> readFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    std::uint8_t buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

// The card picture of the source tree, decoded (QUORVA_CARD_PICTURE is set at build time).
inline RgbImage cardPicture() {
    return DecodeJpeg(readFile(QUORVA_CARD_PICTURE));
}

// A white top-down 24-bit surface with a memory device context to draw on.
class Canvas {
public:
    Canvas(int width, int height)
        : width_(width), height_(height), dib_(CreateDib24(width, -height)), dc_(nullptr),
          selected_(dc_.get(), dib_.bitmap.get()) {
        PatBlt(dc_.get(), 0, 0, width, height, WHITENESS);
    }
    HDC dc() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

    Rgb at(int x, int y) const {
        GdiFlush();
        const size_t stride = (static_cast<size_t>(width_) * 3 + 3) & ~size_t{3};
        const auto* p = static_cast<const std::uint8_t*>(dib_.bits) +
                        static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
        return {p[2], p[1], p[0]};
    }

private:
    int width_, height_;
    Dib24 dib_;
    MemoryDc dc_;
    SelectedObject selected_;
};

} // namespace quorva::testing
