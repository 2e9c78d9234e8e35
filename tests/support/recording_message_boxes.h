#pragma once

// A message-box seam that records each box instead of showing it (Windows tests only), so that
// no test ever waits on a modal box.

#include "ui/message_box.h"

#include <string>
#include <vector>

namespace quorva::testkit {

class RecordingMessageBoxes final : public MessageBoxes {
public:
    struct Box {
        HWND owner;
        std::string text;
        std::string title;
        UINT flags;
    };

    int show(HWND owner, const std::string& text, const std::string& title, UINT flags) override {
        boxes.push_back({owner, text, title, flags});
        return IDOK;
    }

    std::vector<Box> boxes;
};

} // namespace quorva::testkit
