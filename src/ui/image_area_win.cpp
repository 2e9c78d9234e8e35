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
    BitBlt(dc, 0, 0, std::min<LONG>(info.bmWidth, client.right),
           std::min<LONG>(info.bmHeight, client.bottom), memory.get(), 0, 0, SRCCOPY);
}

} // namespace quorva
