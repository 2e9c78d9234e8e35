#pragma once

// The area that shows the card picture: a part of the bitmap, from its top-left corner, fills the
// area, stretched to the area's size (unscaled when the part is as large as the area). Controls
// laid over it (the card labels) stay on top.

#include "ui/gdi.h"
#include "ui/window.h"

#include <optional>

namespace quorva {

class ImageArea final : public Window {
public:
    using Window::Window;
    ~ImageArea() override { destroy(); }

    void create(Window& parent, const Bounds& bounds);
    // Takes ownership of the bitmap and repaints.
    void setBitmap(Bitmap bitmap);
    HBITMAP bitmap() const { return bitmap_.get(); }
    // The part of the bitmap that fills the area; nothing: as much as the area holds unscaled.
    void setShownPart(SIZE part);

private:
    void OnPaint(HDC dc, const RECT& dirty) override;

    Bitmap bitmap_;
    std::optional<SIZE> shownPart_;
};

} // namespace quorva
