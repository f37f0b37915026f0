// A temporary machine for the setup program's tests: message boxes answered from a script, the
// process end as an exception, the scripted windows, the real support library in the system
// folder, and helpers for files in Windows paths.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/settings_store.h"
#include "platform/text_conversion.h"
#include "setup/module1.h"
#include "setup/scripted_windows.h"
#include "setup/support_library.h"
#include "tests/support/temp_folder.h"

namespace plenova::setup::testing {

namespace fs = std::filesystem;
using platform::CurrentMachine;
using platform::FileTime;
using platform::Machine;
using platform::MsgIcon;
using platform::MsgResult;
using platform::ProcessEnded;
using platform::ToShiftJis;

inline constexpr const char* kUninstallParent =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

class SetupFixture : public ::testing::Test {
protected:
    SetupFixture() {
        // The second stage finds its support library in the system folder.
        fs::copy_file(PLENOVA_TAVORIN, Host("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"));
        M().SetProgramPath("C:\\WINDOWS\\PlenovaSetup.exe");
        module.winDir = M().WindowsFolder();
        module.sysDir = M().SystemFolder();
    }

    static Machine& M() { return CurrentMachine(); }
    static fs::path Host(std::string_view windowsPath) { return *M().ToHost(windowsPath); }
    static void Write(std::string_view windowsPath, std::string_view bytes) {
        plenova::testing::WriteAll(Host(windowsPath), bytes);
    }
    static std::string Read(std::string_view windowsPath) {
        return plenova::testing::ReadAll(Host(windowsPath));
    }
    // The script is written in the ANSI code page, as the medium holds it.
    static void WriteScript(std::string_view windowsPath, std::string_view utf8) {
        Write(windowsPath, ToShiftJis(utf8));
    }
    static void SetDate(std::string_view windowsPath, std::int64_t seconds) {
        ASSERT_TRUE(M().SetFileDate(windowsPath, FileTime(std::chrono::seconds(seconds))));
    }

    // Runs Main to its end; the exit code.
    int RunMain(const std::string& commandLine) {
        try {
            module.Main(commandLine);
        } catch (const ProcessEnded& ended) {
            return ended.exitCode;
        }
        ADD_FAILURE() << "Main returned";
        return -1;
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : boxes->Shown()) texts.push_back(box.text);
        return texts;
    }

    static std::string LogValue(std::string_view title, std::string_view key) {
        return platform::ReadSetting("PlenovaSetup", title, key, "");
    }
    static void WriteLog(std::string_view title, std::string_view key, std::string_view value) {
        platform::WriteSetting("PlenovaSetup", title, key, value);
    }

    plenova::testing::TempFolder temp{"plenova-setup"};
    plenova::testing::KeepWorkingFolder keepWorkingFolder;
    platform::ScopedMachine scopedMachine{temp / "machine"};
    platform::ScopedScriptedMessageBoxes boxes;
    platform::ScopedThrowingProcessEnd processEnd;
    ScriptedWindows windows;
    SupportLibrary supportLibrary;
    Module1 module{windows, supportLibrary};
};

}  // namespace plenova::setup::testing
