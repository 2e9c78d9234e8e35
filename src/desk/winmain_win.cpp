#include "desk/main_window.h"
#include "desk/single_instance.h"

#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <string_view>

namespace {

int runProgram(int showCommand, quorva::MessageBoxes& boxes, bool openOnSettings) {
    quorva::SystemRegistry registry;
    quorva::SystemClock clock;
    quorva::SystemLocale locale;
    quorva::SystemShell shell;
    const quorva::DeskPaths paths = quorva::DeskPaths::fromEnvironment();
    quorva::MainWindow form({.messageBoxes = boxes,
                             .registry = registry,
                             .clock = clock,
                             .locale = locale,
                             .shell = shell,
                             .paths = paths,
                             .openOnSettings = openOnSettings});
    form.start();
    form.show(showCommand);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Ctrl+Tab switches tabs; Tab and the arrow keys move between the controls of a page.
        if (form.hwnd() != nullptr &&
            (form.translateKey(message) || IsDialogMessageW(form.hwnd(), &message)))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int showCommand) {
    // The shield button's elevated desk, beside the user's own: it changes what needs rights.
    const bool openOnSettings = std::string_view(commandLine) == "--parametres";
    const quorva::InstanceLock instance;
    if (!instance.first() && !openOnSettings) {
        quorva::bringRunningInstanceToFront();
        return 0;
    }

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES;
    InitCommonControlsEx(&controls);

    quorva::SystemMessageBoxes boxes;
    try {
        return runProgram(showCommand, boxes, openOnSettings);
    } catch (const std::exception& e) {
        // The main window itself could not be made: say why rather than vanish.
        quorva::showErrorBox(boxes, nullptr, e.what());
        return 1;
    }
}
