#include "ui/image_area.h"

#include <algorithm>

namespace quorva {

void ImageArea::create(Window& parent, const Bounds& bounds) {
    // Clipping its siblings keeps the picture from painting over the labels laid on it.
    Window::create(L"QuorvaImageArea", parent.hwnd(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0,
                   bounds, {});
    SetWindowPos(hwnd(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void ImageArea::setBitmap(Bitmap bitmap) {
    bitmap_ = std::move(bitmap);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void ImageArea::setShownPart(SIZE part) {
    shownPart_ = part;
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void ImageArea::OnPaint(HDC dc, const RECT& dirty) {
    RECT client{};
    GetClientRect(hwnd(), &client);
    // White where there is no picture (none yet, or beyond its edges).
    FillRect(dc, &dirty, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (bitmap_.get() == nullptr) {
        FrameRect(dc, &client, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        return;
    }
    BITMAP info{};
    GetObjectW(bitmap_.get(), sizeof info, &info);
    MemoryDc memory(dc);
    SelectedObject picture(memory.get(), bitmap_.get());
    if (!shownPart_) {
        BitBlt(dc, 0, 0, std::min<LONG>(info.bmWidth, client.right),
               std::min<LONG>(info.bmHeight, client.bottom), memory.get(), 0, 0, SRCCOPY);
        return;
    }
    // Scaled pictures are averaged, not sampled, so that the card stays legible.
    const int previousMode = SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0,
               std::min<LONG>(info.bmWidth, shownPart_->cx),
               std::min<LONG>(info.bmHeight, shownPart_->cy), SRCCOPY);
    SetStretchBltMode(dc, previousMode);
}

} // namespace quorva
