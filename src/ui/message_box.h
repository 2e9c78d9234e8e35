#pragma once

// Every message box of the program goes through MessageBoxes, so that tests record the boxes
// instead of waiting on a modal one.

#include <windows.h>

#include <functional>
#include <string>

namespace quorva {

// The program's title, on its window and on its message boxes.
inline constexpr char kProgramTitle[] = "Quorva";

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Texts in the ANSI code page; `flags` are MB_* flags. Returns the button pressed (IDOK...).
    virtual int show(HWND owner, const std::string& text, const std::string& title, UINT flags) = 0;

    // Where each error box's text is also told (the daily log), so that IT sees what the user
    // saw; none by default.
    void setErrorSink(std::function<void(const std::string&)> sink) {
        errorSink_ = std::move(sink);
    }
    void tellError(const std::string& text) const {
        if (errorSink_)
            errorSink_(text);
    }

private:
    std::function<void(const std::string&)> errorSink_;
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
