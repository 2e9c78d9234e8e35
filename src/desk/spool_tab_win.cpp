#include "desk/spool_tab.h"

#include "settings/settings.h"

namespace quorva {

void SpoolTab::create() {
    folderCaption_.create(page_, {}, L"Dossier surveillé :", true);
    folder_.create(page_, {});
    setFolder(settingInfo(Setting::SpoolFolder).defaultValue);
    eventsCaption_.create(page_, {}, L"Événements (le plus récent en haut) :");
    events_.create(page_, {});
}

void SpoolTab::addEvent(const std::string& line) {
    events_.insert(0, line);
    if (events_.count() > kMaxEvents)
        events_.remove(events_.count() - 1);
}

void SpoolTab::layout(int width, int height, const Layout& layout) {
    const int margin = layout(12);
    const int lineHeight = layout.labelHeight();
    const int captionWidth = folderCaption_.textExtent().cx;
    folderCaption_.setBounds({margin, margin, captionWidth, lineHeight});
    const int pathLeft = margin + captionWidth + layout(6);
    folder_.setBounds({pathLeft, margin, width - margin - pathLeft, lineHeight});
    const int eventsTop = margin + lineHeight + layout(12);
    eventsCaption_.setBounds({margin, eventsTop, width - 2 * margin, lineHeight});
    const int listTop = eventsTop + lineHeight + layout(2);
    events_.setBounds({margin, listTop, width - 2 * margin, height - margin - listTop});
}

} // namespace quorva
