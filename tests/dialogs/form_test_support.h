// Test set-up shared by the dialog and saver tests: every service of the process replaced by its
// double, a fresh emulated machine and presence folder per test, and helpers to drive forms.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "forms/form_support.h"
#include "platform/cursor.h"
#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/multimedia.h"
#include "platform/process_end.h"
#include "platform/screen.h"
#include "platform/settings_store.h"
#include "platform/window_presence.h"
#include "tests/support/temp_folder.h"

namespace plenova::testing {

// Runs the application's event loop once, briefly: queued calls (a posted quit included) are
// carried out, and the loop's quit state is cleared again, so that no test leaves a pending
// quit behind for the next one's modal loops.
inline void FlushEventLoop() {
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Every test starts on a 640 x 480 screen at 15 twips per pixel, a new machine, scripted
// message boxes, cursor and audio, and a process end that throws.
class FormTest : public ::testing::Test {
protected:
    FormTest()
        : machine_(temp_.Path() / "machine"),
          screen_(platform::ScreenMetrics{640, 480, 15, 15}) {
        platform::SetPresenceFolder((temp_.Path() / "presence").string());
        // Pictures come from a folder of the test's own (empty unless a test puts one there).
        std::filesystem::create_directories(temp_.Path() / "pictures");
        forms::SetResourceFolders({machine_->ToWindows(temp_.Path() / "pictures")});
    }
    ~FormTest() override {
        FlushEventLoop();
        platform::SetPresenceFolder("");
    }

    // The data folder of a test, as a Windows path with a final backslash.
    std::string DataFolder() {
        std::filesystem::create_directories(temp_.Path() / "data");
        return machine_->ToWindows(temp_.Path() / "data") + "\\";
    }
    std::filesystem::path DataHostFolder() { return temp_.Path() / "data"; }
    void WriteDataFile(const std::string& name, const std::string& bytes = "RIFF") {
        WriteAll(temp_.Path() / "data" / name, bytes);
    }

    static std::string Read(const char* section, const char* key,
                            const char* defaultText = "<missing>") {
        return platform::ReadSetting("PlenovaSaver", section, key, defaultText);
    }
    static void Write(const char* section, const char* key, const std::string& value) {
        platform::WriteSetting("PlenovaSaver", section, key, value);
    }

    const std::vector<platform::MessageBoxRequest>& Boxes() { return boxes_->Shown(); }

    TempFolder temp_{"plenova-forms"};
    platform::ScopedMachine machine_;
    platform::ScopedFixedScreen screen_;
    platform::ScopedScriptedMessageBoxes boxes_;
    platform::ScopedThrowingProcessEnd processEnd_;
    platform::ScopedScriptedCursor cursor_;
    platform::ScopedTestAudio audio_;
};

// Runs `action` and tells whether it ended the process (through the throwing double).
inline bool EndsProcess(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::ProcessEnded&) {
        return true;
    }
    return false;
}

// The widget that follows `widget` in its window's tab order (skipping widgets that take no
// focus by tab).
inline QWidget* NextInTabOrder(QWidget* widget) {
    QWidget* next = widget->nextInFocusChain();
    while (next != nullptr && next != widget && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}

// Test program entry: Qt's offscreen platform and one application object for all cases.
inline int RunFormTests(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    QApplication application(qtArgc, argv);
    forms::InstallFontSubstitutes();
    return RUN_ALL_TESTS();
}

}  // namespace plenova::testing
