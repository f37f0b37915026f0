// The desktop's menu after a real installation and uninstallation: the setup program runs as
// processes from the distribution folder (drive A: of a temporary machine, scripted windows),
// the menu folders are temporary XDG folders. The entries must pass desktop-file-validate and
// start the build's plenova-machine; the uninstall is started by the uninstall entry's own Exec
// line, and takes every entry of ours with it, and nothing else.
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/desktop_menu.h"
#include "platform/machine.h"
#include "platform/settings_store.h"
#include "tests/support/desktop_entry.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::Finished;
using plenova::testing::ParseDesktopEntry;
using plenova::testing::ReadAll;
using plenova::testing::RunToEnd;
using plenova::testing::ScopedEnv;
using plenova::testing::SplitExec;
using plenova::testing::TempFolder;
using plenova::testing::WaitUntil;

// The files in `folder` whose names start with `prefix`.
std::set<fs::path> Ours(const fs::path& folder, const std::string& prefix) {
    std::set<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().filename().string().starts_with(prefix)) files.insert(entry.path());
    return files;
}

TEST(DesktopEntriesProcessTest, InstallWritesValidEntriesAndTheUninstallEntryRemovesThem) {
    TempFolder temp("plenova-desktop-entries");
    ScopedMachine scopedMachine(temp / "machine");
    Machine& machine = CurrentMachine();
    ScopedEnv data("XDG_DATA_HOME", (temp / "data").string());
    ScopedEnv config("XDG_CONFIG_HOME", (temp / "config").string());
    ::unsetenv("PLENOVA_MACHINE_TOOL");  // found beside the distribution folder, as a user's is
    const DesktopMenuFolders folders = DesktopMenuFolders::FromEnvironment();
    const std::string prefix = DesktopMenuPrefix(machine);

    fs::create_directories(folders.applications);
    const fs::path foreign = folders.applications / "plenova-saver.desktop";
    const std::string foreignText = "[Desktop Entry]\nType=Application\nName=Not ours\nExec=true\n";
    plenova::testing::WriteAll(foreign, foreignText);

    const fs::path dist = fs::path(PLENOVA_SETUP_EXE).parent_path();
    machine.AddDrive('A', dist, kDriveRemovable);
    plenova::testing::WriteAll(temp / "answers.txt", "path start\nbox yes\nbox ok\n");
    ScopedEnv answers("PLENOVA_SETUP_ANSWERS", (temp / "answers.txt").string());

    const Finished first = RunToEnd({(dist / "PlenovaSetup.exe").string()});
    ASSERT_EQ(first.exitCode, 0) << first.output;
    ASSERT_TRUE(WaitUntil([&] { return Ours(folders.applications, prefix).size() == 2; },
                        std::chrono::seconds(120)))
        << "no desktop entries after the installation";
    ASSERT_TRUE(WaitUntil([&] { return !Ours(folders.mergedMenus, prefix).empty(); },
                        std::chrono::seconds(10)));

    std::set<fs::path> written = Ours(folders.applications, prefix);
    const std::set<fs::path> directories = Ours(folders.directories, prefix);
    EXPECT_EQ(directories.size(), 1u);  // the group "Plenova Saver"
    for (const fs::path& file : directories) written.insert(file);
    for (const fs::path& file : written) {
        const Finished validation = RunToEnd({"desktop-file-validate", file.string()});
        EXPECT_EQ(validation.exitCode, 0) << file << "\n" << validation.output;
        EXPECT_EQ(validation.output.find("error:"), std::string::npos) << validation.output;
    }

    const fs::path tool = fs::canonical(PLENOVA_MACHINE_TOOL);
    std::vector<std::string> uninstall;
    std::set<std::string> names;
    for (const fs::path& file : Ours(folders.applications, prefix)) {
        const auto entry = ParseDesktopEntry(ReadAll(file));
        names.insert(entry.at("Name"));
        const std::vector<std::string> words = SplitExec(entry.at("Exec"));
        ASSERT_GE(words.size(), 5u) << entry.at("Exec");
        EXPECT_EQ(words[0], "env");
        EXPECT_EQ(words[1], "PLENOVA_MACHINE=" + machine.Root().string());
        EXPECT_EQ(fs::canonical(words[2]), tool) << words[2];
        EXPECT_EQ(words[3], "run");
        if (words[4] == "C:\\WINDOWS\\PlenovaSetup.exe") uninstall = words;
        if (words[4] == "C:\\WINDOWS\\PlenovaSaver.scr") {
            EXPECT_EQ(words, (std::vector<std::string>{words[0], words[1], words[2], "run",
                                                       "C:\\WINDOWS\\PlenovaSaver.scr", "/c"}));
        }
    }
    EXPECT_EQ(names,
              (std::set<std::string>{"Plenova Saver の設定", "Plenova Saver のアンインストール"}));
    ASSERT_EQ(uninstall.size(), 6u);
    EXPECT_EQ(uninstall[5], "/UNINST Plenova Saver");

    // The uninstall, started as the desktop starts the entry.
    const Finished removal = RunToEnd(uninstall);
    ASSERT_EQ(removal.exitCode, 0) << removal.output;
    EXPECT_FALSE(SettingsStore().ApplicationExists("PlenovaSetup"));
    EXPECT_TRUE(Ours(folders.applications, prefix).empty());
    EXPECT_TRUE(Ours(folders.directories, prefix).empty());
    EXPECT_TRUE(Ours(folders.mergedMenus, prefix).empty());
    EXPECT_EQ(ReadAll(foreign), foreignText);
}

}  // namespace
