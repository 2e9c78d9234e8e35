#pragma once

// Every message box of the program goes through MessageBoxes, so that tests record the boxes
// instead of waiting on a modal one.

#include <windows.h>

#include <string>

namespace quorva {

// The program's title, on its window and on its message boxes.
inline constexpr char kProgramTitle[] = "Quorva";

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Texts in the ANSI code page; `flags` are MB_* flags. Returns the button pressed (IDOK...).
    virtual int show(HWND owner, const std::string& text, const std::string& title, UINT flags) = 0;
};

// The system's modal message box.
class SystemMessageBoxes final : public MessageBoxes {
public:
    int show(HWND owner, const std::string& text, const std::string& title, UINT flags) override;
};

// The standard error box: the message with a period added when missing, the program's title,
// the error icon and an OK button.
void showErrorBox(MessageBoxes& boxes, HWND owner, const std::string& message);

// A plain message: the text as it is, the program's title, an OK button.
void showMessage(MessageBoxes& boxes, HWND owner, const std::string& text);

} // namespace quorva
