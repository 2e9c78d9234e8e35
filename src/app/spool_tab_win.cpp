#include "app/spool_tab.h"

namespace quorva {

void SpoolTab::create(int width, int height) {
    folderCaption_.create(page_, {12, 14, 0, 0}, L"Dossier surveillé :", true);
    const int pathLeft = 12 + folderCaption_.bounds().width + 6;
    folder_.create(page_, {pathLeft, 14, width - 12 - pathLeft, 18},
                   L"c:\\windows\\system32\\spool\\printers");
    eventsCaption_.create(page_, {12, 44, 300, 18}, L"Événements (le plus récent en haut) :");
    events_.create(page_, {12, 64, width - 24, height - 76});
}

} // namespace quorva
