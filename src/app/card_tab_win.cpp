#include "app/card_tab.h"

#include "card/card_drawing.h"
#include "card/card_picture.h"

namespace quorva {

CardTab::CardTab(MessageBoxes& boxes) : page_(boxes), picture_(boxes) {
}

void CardTab::create() {
    picture_.create(page_, {5, 5, 1011, 634});
    // Sized by their text, so that empty labels leave the picture alone.
    customer_.create(page_, {240, 435, 307, 62}, L"", true);
    chassis_.create(page_, {240, 503, 235, 62}, L"", true);
    registration_.create(page_, {240, 563, 215, 62}, L"", true);
    validity_.create(page_, {700, 563, 238, 62}, L"", true);
    picture_.setBitmap(loadCardPicture());
    labelFont_ = makeCardLabelFont();
    for (Label* label : {&customer_, &chassis_, &registration_, &validity_}) {
        label->setFont(labelFont_.get());
        label->setColors(kCardLabelColour, kCardLabelBackground);
        label->setText("");
    }
    printButton_.create(page_, {5, 5, 200, 28}, L"Impression de la carte");
    printButton_.setVisible(false);
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
