#pragma once

// The area that shows the card picture: the bitmap is drawn unscaled from the area's top-left
// corner and clipped to the area. Controls laid over it (the card labels) stay on top.

#include "ui/gdi.h"
#include "ui/window.h"

namespace quorva {

class ImageArea final : public Window {
public:
    using Window::Window;
    ~ImageArea() override { destroy(); }

    void create(Window& parent, const Bounds& bounds);
    // Takes ownership of the bitmap and repaints.
    void setBitmap(Bitmap bitmap);
    HBITMAP bitmap() const { return bitmap_.get(); }

private:
    void OnPaint(HDC dc, const RECT& dirty) override;

    Bitmap bitmap_;
};

} // namespace quorva
