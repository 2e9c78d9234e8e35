#pragma once

// A window's pixels as the screen shows them, for Windows tests that check what is drawn.

#include "card/card_picture.h"
#include "card/jpeg_image.h"
#include "ui/gdi.h"

#include <windows.h>

#include <cstdint>

namespace quorva::testkit {

// A copy of the window's client area, read through its device context: rows from the top, red,
// green, blue.
inline RgbImage captureWindow(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right;
    const int height = client.bottom;
    const Dib24 dib = createDib24(width, -height);
    {
        WindowDc screen(window);
        MemoryDc memory(screen.get());
        SelectedObject selected(memory.get(), dib.bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY);
        GdiFlush();
    }

    RgbImage image{width, height, {}};
    image.pixels.reserve(size_t(width) * size_t(height) * 3);
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t{3}; // rows padded to four bytes
    for (int y = 0; y < height; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(dib.bits) + size_t(y) * stride;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = row + size_t(x) * 3; // blue, green, red
            image.pixels.insert(image.pixels.end(), {p[2], p[1], p[0]});
        }
    }
    return image;
}

} // namespace quorva::testkit
