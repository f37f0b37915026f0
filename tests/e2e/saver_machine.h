// An emulated machine for runs of the real PlenovaSaver.scr: a private temporary folder with
// the machine, a runtime folder, and a data folder holding the build's bundled data files, named
// by the saver's "App"/"Dir" setting. The saver's environment points at all of them and selects
// the test audio back end, whose commands are logged to mci.log.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/machine.h"
#include "platform/settings_store.h"
#include "tests/support/temp_folder.h"

namespace plenova::e2e {

class SaverMachine {
public:
    SaverMachine() {
        namespace fs = std::filesystem;
        fs::create_directories(root_ / "run");
        fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(root_ / "data");
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(PLENOVA_DIST_DIR, ec)) {
            if (entry.is_regular_file() && entry.path().extension() != ".scr")
                fs::copy_file(entry.path(), root_ / "data" / entry.path().filename(), ec);
        }
        if (!fs::exists(root_ / "data" / "SCR.wav"))
            std::ofstream(root_ / "data" / "SCR.wav") << "RIFF";
        machine_.emplace(root_ / "machine");
        Write("App", "Dir", (*machine_)->ToWindows(root_ / "data"));
    }
    ~SaverMachine() { machine_.reset(); }
    SaverMachine(const SaverMachine&) = delete;
    SaverMachine& operator=(const SaverMachine&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path MciLogPath() const { return root_ / "mci.log"; }

    static void Write(const char* section, const char* key, const std::string& value) {
        platform::WriteSetting("PlenovaSaver", section, key, value);
    }
    static std::string Read(const char* section, const char* key) {
        return platform::ReadSetting("PlenovaSaver", section, key, "<missing>");
    }

    // The saver's environment.
    std::vector<std::string> Environment() const {
        return {"PLENOVA_MACHINE=" + (root_ / "machine").string(),
                "XDG_RUNTIME_DIR=" + (root_ / "run").string(),
                "QT_QPA_PLATFORM=xcb",
                "PLENOVA_AUDIO=test",
                "PLENOVA_AUDIO_TEST_MS=60000",
                "PLENOVA_MCI_LOG=" + MciLogPath().string()};
    }

    // The lines of the multimedia command log so far.
    std::vector<std::string> MciLog() const {
        std::vector<std::string> lines;
        std::ifstream in(MciLogPath());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

private:
    testing::TempFolder folder_{"plenova-e2e"};
    const std::filesystem::path root_ = folder_.Path();
    std::optional<platform::ScopedMachine> machine_;
};

}  // namespace plenova::e2e
