#pragma once

// The card picture as a GDI bitmap, for the card tab's picture area and the printed card.

#include "card/jpeg_image.h"
#include "ui/gdi.h"

namespace quorva {

// A 24-bit DIB section: its header and its pixels (rows padded to 4 bytes, blue, green, red).
struct Dib24 {
    BITMAPINFO info{};
    void* bits = nullptr;
    Bitmap bitmap;
};

// A new, uninitialised DIB section; a negative height gives rows from the top. Throws Error
// when GDI cannot make it.
Dib24 createDib24(int width, int height);

// A top-down DIB section holding the image's pixels.
Bitmap bitmapFromImage(const RgbImage& image);

// The card picture carried in the module's resources (IDR_CARD_PICTURE, RT_RCDATA), decoded.
// The default module is the program itself. A missing or damaged picture throws Error.
Bitmap loadCardPicture(HMODULE module = nullptr);

} // namespace quorva
