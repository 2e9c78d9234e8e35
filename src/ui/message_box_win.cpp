#include "ui/message_box.h"

#include "platform/error.h"

namespace quorva {

int SystemMessageBoxes::show(HWND owner, const std::string& text, const std::string& title,
                             UINT flags) {
    return MessageBoxA(owner, text.c_str(), title.c_str(), flags);
}

void showErrorBox(MessageBoxes& boxes, HWND owner, const std::string& message) {
    const std::string text = errorBoxText(message);
    boxes.tellError(text);
    boxes.show(owner, text, kProgramTitle, MB_ICONERROR | MB_OK);
}

void showMessage(MessageBoxes& boxes, HWND owner, const std::string& text) {
    boxes.show(owner, text, kProgramTitle, MB_OK);
}

} // namespace quorva
