#include "desk/about.h"

#include "platform/program_facts.h"

namespace quorva {

void addAboutItem(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, L"À propos de Quorva");
}

void showAbout(MessageBoxes& boxes, HWND owner) {
    const std::string version = programVersion();
    boxes.show(owner,
               "Quorva, version " + (version.empty() ? std::string("inconnue") : version) +
                   "\r\nSuivi des impressions et cartes de fidélité.\r\nZentor",
               "À propos de Quorva", MB_OK | MB_ICONINFORMATION);
}

} // namespace quorva
