#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quorva {

// A decoded picture: rows from top to bottom, three bytes (red, green, blue) per pixel, no
// padding between rows.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    const std::uint8_t* pixel(int x, int y) const {
        return pixels.data() +
               (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    }
};

// Decodes a JPEG held in memory. A damaged or truncated picture throws Error rather than
// yielding a partly grey image.
RgbImage decodeJpeg(std::span<const std::uint8_t> data);

} // namespace quorva
