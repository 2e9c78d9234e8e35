#include "desk/card_tab.h"

#include "card/card_drawing.h"
#include "card/card_picture.h"

#include <algorithm>
#include <cmath>

namespace quorva {

namespace {

// Around the card, in design units.
constexpr int kCardMargin = 5;

LOGFONTW naturalCardLabelFont() {
    const Font natural = makeCardLabelFont();
    LOGFONTW font{};
    GetObjectW(natural.get(), sizeof font, &font);
    return font;
}

} // namespace

CardTab::CardTab(MessageBoxes& boxes, std::function<std::string()> cardPrinter)
    : cardPrinter_(std::move(cardPrinter)), page_(boxes), picture_(boxes) {
    printButton_.onClick = [this] { print(cardPrinter_()); };
}

void CardTab::create() {
    picture_.create(page_, {kCardMargin, kCardMargin, kCardAreaSize.cx, kCardAreaSize.cy});
    picture_.setShownPart(kCardAreaSize);
    // Sized by their text, so that empty labels leave the picture alone.
    for (Label* label : {&customer_, &chassis_, &registration_, &validity_})
        label->create(page_, {}, L"", true);
    picture_.setBitmap(loadCardPicture());
    for (Label* label : {&customer_, &chassis_, &registration_, &validity_}) {
        label->setColors(kCardLabelColour, kCardLabelBackground);
        label->setText("");
    }
    printButton_.create(page_, {kCardMargin, kCardMargin, 200, 28}, L"Impression de la carte");
    printButton_.setVisible(false);
}

void CardTab::layout(int width, int height, const Layout& layout) {
    const int margin = layout(kCardMargin);
    const double scale =
        std::max(0.05, std::min(static_cast<double>(width - 2 * margin) / kCardAreaSize.cx,
                                static_cast<double>(height - 2 * margin) / kCardAreaSize.cy));
    const auto scaled = [scale](long units) {
        return static_cast<int>(std::lround(units * scale));
    };
    picture_.setBounds({margin, margin, scaled(kCardAreaSize.cx), scaled(kCardAreaSize.cy)});
    const std::pair<Label*, POINT> places[] = {{&customer_, kCustomerAt},
                                               {&chassis_, kChassisAt},
                                               {&registration_, kRegistrationAt},
                                               {&validity_, kValidityAt}};
    // A new font only when the size changed: the labels keep theirs while the window only moves.
    LOGFONTW font = naturalCardLabelFont();
    font.lfHeight = scaled(font.lfHeight);
    if (font.lfHeight != labelFontHeight_) {
        labelFont_ = Font(CreateFontIndirectW(&font));
        labelFontHeight_ = font.lfHeight;
    }
    for (const auto& [label, at] : places) {
        const Bounds before = label->bounds();
        label->setBounds(
            {margin + scaled(at.x), margin + scaled(at.y), before.width, before.height});
        label->setFont(labelFont_.get());
        // The size follows the text in the new font.
        label->setText(label->text());
    }
}

void CardTab::show(const CardLabels& labels) {
    customer_.setText(labels.customer);
    registration_.setText(labels.registration);
    chassis_.setText(labels.chassis);
    validity_.setText(labels.validity);
}

CardLabels CardTab::labels() const {
    return {customer_.text(), registration_.text(), chassis_.text(), validity_.text()};
}

void CardTab::enablePrintButton() {
    printButton_.setEnabled(true);
}

void CardTab::print(const std::string& printerName) {
    if (printerName.empty())
        return;
    // The user sees the card being printed; the printer gets it drawn on its own page, not
    // copied from the screen.
    if (onPrinting)
        onPrinting(true);
    RedrawWindow(page_.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    printer_.print(printerName, labels(), picture_.bitmap());
    if (onPrinting)
        onPrinting(false);
}

} // namespace quorva
