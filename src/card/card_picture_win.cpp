#include "card/card_picture.h"

#include "card/card_resource.h"
#include "platform/error.h"
#include "platform/system_error.h"

#include <span>
#include <utility>

namespace quorva {

namespace {

[[noreturn]] void throwLastError() {
    const DWORD code = GetLastError();
    // GDI allocation failures may leave no code behind: they are out of memory.
    throw Error(systemErrorText(code != 0 ? code : ERROR_NOT_ENOUGH_MEMORY));
}

std::span<const std::uint8_t> resourceBytes(HMODULE module, int id) {
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10)); // RT_RCDATA
    if (info == nullptr)
        throwLastError();
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        throwLastError();
    // Resource memory lives as long as the module: no release.
    return {static_cast<const std::uint8_t*>(data), SizeofResource(module, info)};
}

} // namespace

Dib24 createDib24(int width, int height) {
    Dib24 dib;
    dib.info.bmiHeader.biSize = sizeof dib.info.bmiHeader;
    dib.info.bmiHeader.biWidth = width;
    dib.info.bmiHeader.biHeight = height;
    dib.info.bmiHeader.biPlanes = 1;
    dib.info.bmiHeader.biBitCount = 24;
    dib.info.bmiHeader.biCompression = BI_RGB;
    dib.bitmap =
        Bitmap(CreateDIBSection(nullptr, &dib.info, DIB_RGB_COLORS, &dib.bits, nullptr, 0));
    if (dib.bitmap.get() == nullptr || dib.bits == nullptr)
        throwLastError();
    return dib;
}

Bitmap bitmapFromImage(const RgbImage& image) {
    Dib24 dib = createDib24(image.width, -image.height); // rows from the top, as decoded
    const size_t width = static_cast<size_t>(image.width);
    const size_t stride = (width * 3 + 3) & ~size_t{3};
    auto* out = static_cast<std::uint8_t*>(dib.bits);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* source = image.pixel(0, y);
        std::uint8_t* target = out + static_cast<size_t>(y) * stride;
        for (size_t x = 0; x < width; ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    GdiFlush();
    return std::move(dib.bitmap);
}

Bitmap loadCardPicture(HMODULE module) {
    if (module == nullptr)
        module = GetModuleHandleA(nullptr);
    return bitmapFromImage(decodeJpeg(resourceBytes(module, IDR_CARD_PICTURE)));
}

} // namespace quorva
