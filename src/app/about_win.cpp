#include "app/about.h"

#include <vector>

namespace quorva {

void addAboutItem(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, L"À propos de Quorva");
}

std::string programVersion() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return {};
    std::vector<char> info(size);
    char* version = nullptr;
    UINT length = 0;
    // The resource's one block: French, Windows-1252.
    if (!GetFileVersionInfoA(path, 0, size, info.data()) ||
        !VerQueryValueA(info.data(), "\\StringFileInfo\\040C04E4\\ProductVersion",
                        reinterpret_cast<void**>(&version), &length) ||
        length == 0)
        return {};
    return std::string(version, length - 1);
}

void showAbout(MessageBoxes& boxes, HWND owner) {
    const std::string version = programVersion();
    boxes.show(owner,
               "Quorva, version " + (version.empty() ? std::string("inconnue") : version) +
                   "\r\nSuivi des impressions et cartes de fidélité.\r\nZentor",
               "À propos de Quorva", MB_OK | MB_ICONINFORMATION);
}

} // namespace quorva
