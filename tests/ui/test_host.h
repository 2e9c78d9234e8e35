#pragma once

// A top-level window of the program's own kind that hosts the controls under test.

#include "support/recording_message_boxes.h"
#include "ui/gdi.h"
#include "ui/window.h"

#include <commctrl.h>

#include <functional>

namespace quorva::testkit {

class TestHost final : public Window {
public:
    explicit TestHost(MessageBoxes& boxes) : Window(boxes) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
        InitCommonControlsEx(&controls);
        setFont(font_.get());
        create(L"QuorvaTestHost", nullptr, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
               {40, 40, 900, 600}, L"Test");
    }
    ~TestHost() override { destroy(); }

    void show() {
        ShowWindow(hwnd(), SW_SHOW);
        SetForegroundWindow(hwnd());
        UpdateWindow(hwnd());
    }

    // Private messages run this.
    std::function<void(UINT, WPARAM, LPARAM)> onAppMessage;

private:
    void OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (onAppMessage)
            onAppMessage(message, wParam, lParam);
    }

    Font font_ = messageFont();
};

} // namespace quorva::testkit
