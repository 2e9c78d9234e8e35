#include "ui/gdi.h"

namespace quorva {

Font messageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return Font(CreateFontIndirectW(&metrics.lfMessageFont));
    return Font(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
}

} // namespace quorva
