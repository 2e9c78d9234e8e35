#include "card/card_drawing.h"

#include "card/card_picture.h"

#include <cmath>
#include <utility>

namespace quorva {

namespace {

constexpr int kLabelCharacterHeight = 53;

Font labelFont(int characterHeight, int averageWidth) {
    // A negative height asks for the character height, internal leading excluded.
    return Font(CreateFontA(-characterHeight, averageWidth, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Cambria"));
}

// The card area at its natural size in a DIB section: white, with the picture drawn unscaled
// from the top-left corner and clipped to the area.
class CardArea {
public:
    // Bottom-up: the form that every device takes.
    explicit CardArea(HBITMAP picture) : dib_(createDib24(kCardAreaSize.cx, kCardAreaSize.cy)) {
        MemoryDc area(nullptr);
        SelectedObject areaBitmap(area.get(), dib_.bitmap.get());
        PatBlt(area.get(), 0, 0, kCardAreaSize.cx, kCardAreaSize.cy, WHITENESS);
        if (picture != nullptr) {
            MemoryDc source(nullptr);
            SelectedObject sourceBitmap(source.get(), picture);
            BitBlt(area.get(), 0, 0, kCardAreaSize.cx, kCardAreaSize.cy, source.get(), 0, 0,
                   SRCCOPY);
        }
        GdiFlush();
    }

    // The whole area onto `destination`, stretched. The device context's own stretching mode
    // applies.
    void stretchTo(HDC dc, const RECT& destination) const {
        StretchDIBits(dc, destination.left, destination.top, destination.right - destination.left,
                      destination.bottom - destination.top, 0, 0, kCardAreaSize.cx,
                      kCardAreaSize.cy, dib_.bits, &dib_.info, DIB_RGB_COLORS, SRCCOPY);
    }

private:
    Dib24 dib_;
};

// Puts back the device context's state (font, colours, modes) on every path.
class SavedDcState {
public:
    explicit SavedDcState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~SavedDcState() { RestoreDC(dc_, saved_); }
    SavedDcState(const SavedDcState&) = delete;
    SavedDcState& operator=(const SavedDcState&) = delete;

private:
    HDC dc_;
    int saved_;
};

int averageCharWidth(const Font& font) {
    MemoryDc dc(nullptr);
    SelectedObject selected(dc.get(), font.get());
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc.get(), &metrics);
    return metrics.tmAveCharWidth;
}

// The label font for a card stretched from its natural size to width x height: the
// character height follows the vertical scale; a distorted card also gets glyphs widened or
// narrowed by the horizontal scale, so that the texts keep their place against the picture.
Font stretchedLabelFont(LONG width, LONG height) {
    const double scaleX = static_cast<double>(width) / kCardAreaSize.cx;
    const double scaleY = static_cast<double>(height) / kCardAreaSize.cy;
    const int characterHeight = static_cast<int>(std::lround(kLabelCharacterHeight * scaleY));
    if (static_cast<long long>(width) * kCardAreaSize.cy ==
        static_cast<long long>(height) * kCardAreaSize.cx)
        return labelFont(characterHeight, 0);
    const int natural = averageCharWidth(makeCardLabelFont());
    return labelFont(characterHeight, static_cast<int>(std::lround(natural * scaleX)));
}

} // namespace

Font makeCardLabelFont() {
    return labelFont(kLabelCharacterHeight, 0);
}

void drawCard(HDC dc, const RECT& destination, HBITMAP picture, const CardLabels& labels) {
    const LONG width = destination.right - destination.left;
    const LONG height = destination.bottom - destination.top;
    if (width <= 0 || height <= 0)
        return;
    CardArea(picture).stretchTo(dc, destination);

    const Font font = stretchedLabelFont(width, height);
    SavedDcState saved(dc); // restored before the font is deleted
    SelectObject(dc, font.get());
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    SetTextColor(dc, kCardLabelColour);
    SetBkColor(dc, kCardLabelBackground);
    SetBkMode(dc, OPAQUE);
    const std::pair<POINT, const std::string*> placed[] = {{kCustomerAt, &labels.customer},
                                                           {kChassisAt, &labels.chassis},
                                                           {kRegistrationAt, &labels.registration},
                                                           {kValidityAt, &labels.validity}};
    for (const auto& [at, text] : placed) {
        if (text->empty())
            continue;
        TextOutA(dc, destination.left + MulDiv(at.x, width, kCardAreaSize.cx),
                 destination.top + MulDiv(at.y, height, kCardAreaSize.cy), text->data(),
                 static_cast<int>(text->size()));
    }
}

} // namespace quorva
