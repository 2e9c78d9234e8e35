#pragma once

// The "Carte de Fidélité" tab: the card picture with the four labels of one job over it, and the
// printing of that card on the card printer.

#include "card/card_preview.h"
#include "card/card_print.h"
#include "ui/controls.h"
#include "ui/gdi.h"
#include "ui/image_area.h"
#include "ui/layout.h"
#include "ui/tab_control.h"

#include <functional>
#include <string>

namespace quorva {

class CardTab {
public:
    // cardPrinter gives the card printer's name when the hidden button prints.
    CardTab(MessageBoxes& boxes, std::function<std::string()> cardPrinter);

    Page& page() { return page_; }
    void create();
    // The card fills the page with its proportions kept: the picture and the labels' positions
    // and font scale together.
    void layout(int width, int height, const Layout& layout);

    void show(const CardLabels& labels);
    CardLabels labels() const;
    const Label& customerLabel() const { return customer_; }
    const Label& registrationLabel() const { return registration_; }
    const Label& chassisLabel() const { return chassis_; }
    const Label& validityLabel() const { return validity_; }
    const ImageArea& picture() const { return picture_; }

    // "Impression de la carte": hidden, so only the popup item prints; enabled once the job
    // list's selection left a row.
    Button& printButton() { return printButton_; }
    // The job list's selection left a row.
    void enablePrintButton();
    // Prints the card on show on the printer; nothing without a printer name.
    void print(const std::string& printerName);
    CardPrinter& printer() { return printer_; }

    // Brings the tab to the front while the card prints, and the job list back after.
    std::function<void(bool printing)> onPrinting;

private:
    std::function<std::string()> cardPrinter_;
    Page page_;
    ImageArea picture_;
    Label customer_;
    Label chassis_;
    Label registration_;
    Label validity_;
    Button printButton_;
    CardPrinter printer_;
    Font labelFont_;
    int labelFontHeight_ = 0;
};

} // namespace quorva
