#pragma once

// Printing the loyalty card: one landscape page on the card printer, the card drawn over the
// whole printable area.

#include "card/card_preview.h"
#include "printers/printer_list.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace quorva {

// The program's printer object: one per run, held by the main window. Its state starts at its
// first use: the current printer is then the system default printer, and the printer settings
// block (DEVMODE) comes from that printer's driver. A printer selected later keeps that block,
// with its own device name written into it.
class CardPrinter {
public:
    // Prints the card with these labels over `picture` on one landscape page. The printer is the
    // first of the system list whose name matches `cardPrinterName` regardless of case; when
    // none does, the current printer stays (an earlier card printer, else the default printer).
    // An empty name prints nothing. Failures throw Error with the text to show.
    void print(const std::string& cardPrinterName, const CardLabels& labels, HBITMAP picture);

    // Makes the printer at `index` of systemPrinterNames() current and writes its name into
    // the settings block. Throws Error "Indice imprimante hors limites" for a position outside
    // the list.
    void selectPrinterByIndex(int index);

    // The current printer's name; empty before the first use.
    const std::string& currentPrinter() const { return current_; }
    // The device name that the settings block carries; empty when there is no block.
    std::string settingsDeviceName() const;

private:
    struct GlobalFreer {
        void operator()(HGLOBAL block) const { GlobalFree(block); }
    };
    using GlobalBlock = std::unique_ptr<void, GlobalFreer>;

    static GlobalBlock settingsFromDriver(const std::string& printer);
    void startOnDefaultPrinter();
    void setLandscape();
    void printPage(const CardLabels& labels, HBITMAP picture);

    std::string current_;
    GlobalBlock settings_; // movable global memory holding a DEVMODEA
};

} // namespace quorva
