#pragma once

// The main window under Wine, created with its own settings folder and spool folder.

#include "app/main_form.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "support/fakes.h"
#include "support/message_pump.h"
#include "support/recording_message_boxes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace quorva {

using testing::ManualClock;
using testing::MemoryRegistry;
using testing::pumpFor;
using testing::pumpUntil;
using testing::RecordingMessageBoxes;
using testing::RecordingShell;
using testing::TempDir;

class MainFormFixture : public ::testing::Test {
protected:
    MainFormFixture() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
        InitCommonControlsEx(&controls);
        std::filesystem::create_directory(appData);
        std::filesystem::create_directory(spool);
    }

    void writeSettings(const std::string& lines) {
        std::filesystem::create_directory(appData + "\\Zentor");
        std::ofstream(settingsFile(), std::ios::binary) << "[Options]\r\n" << lines;
    }
    std::string settingsFile() const { return appData + "\\Zentor\\Quorva.ini"; }

    std::unique_ptr<TForm1> open() {
        return std::make_unique<TForm1>(FormServices{boxes, registry, clock, locale, files, shell,
                                                     appData, /*endsProgram=*/false});
    }

    // Moves the keyboard focus out of an edit, as the user's Tab key or click would.
    static void leave(Edit& edit, Edit& next) {
        SetFocus(edit.hwnd());
        SetFocus(next.hwnd());
        pumpFor(20);
    }

    TempDir temp;
    std::string appData = temp.file("appdata");
    std::string spool = temp.file("spool");
    RecordingMessageBoxes boxes;
    MemoryRegistry registry;
    ManualClock clock{{2026, 12, 7, 14, 5, 9, 0}};
    FixedLocale locale;
    SystemFiles files;
    RecordingShell shell;
};

} // namespace quorva
