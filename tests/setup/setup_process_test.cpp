// A whole installation and uninstallation as real processes: the distribution folder is drive
// A: of a temporary machine, the first stage starts the second, the uninstall string from the
// machine's registry removes the product, and the next program start deletes the installed setup
// program. The windows are the scripted stand-ins (an answers file), the shortcuts are checked
// with lnkinfo.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::Finished;
using plenova::testing::RunToEnd;
using plenova::testing::ScopedEnv;
using plenova::testing::TempFolder;
using plenova::testing::WaitUntil;

// Every file and folder below the machine's drive C:, relative, folders with a trailing "/".
std::set<std::string> Tree(const Machine& machine) {
    std::set<std::string> tree;
    const fs::path root = *machine.ToHost("C:\\");
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(entry.path(), root).string();
        if (entry.is_directory()) name += "/";
        tree.insert(name);
    }
    return tree;
}

// Every line of a hive's export that names a key or a value, with its key.
std::set<std::string> HiveLines(Registry& registry, Hive hive) {
    std::set<std::string> lines;
    const auto text = registry.Export(hive, "");
    if (!text) return lines;
    std::istringstream in(*text);
    std::string line;
    std::string key;
    while (std::getline(in, line)) {
        if (line.empty() || line.starts_with("Windows Registry Editor")) continue;
        if (line.starts_with("[")) {
            key = line;
            lines.insert(line);
        } else {
            lines.insert(key + " " + line);
        }
    }
    return lines;
}

template <class T>
std::vector<T> Minus(const std::set<T>& a, const std::set<T>& b) {
    std::vector<T> result;
    for (const T& x : a)
        if (!b.count(x)) result.push_back(x);
    return result;
}

std::string Field(const std::string& lnkinfo, const std::string& label) {
    std::istringstream in(lnkinfo);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t at = line.find(label);
        const std::size_t colon = line.find(':', at);
        if (at != std::string::npos && colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            return value;
        }
    }
    return "";
}

TEST(SetupProcessTest, InstallFromDriveAThenUninstallLeavesOnlyWhatIsNotLogged) {
    TempFolder temp("plenova-setup-process");
    ScopedMachine scopedMachine(temp / "machine");
    // The installation refreshes the desktop menu: a temporary one, never the user's.
    ScopedEnv menuData("XDG_DATA_HOME", (temp / "xdg-data").string());
    ScopedEnv menuConfig("XDG_CONFIG_HOME", (temp / "xdg-config").string());
    Machine& machine = CurrentMachine();
    const fs::path dist = fs::path(PLENOVA_SETUP_EXE).parent_path();
    ASSERT_TRUE(fs::exists(dist / "SETUP.ini")) << "the distribution folder has no script";
    machine.AddDrive('A', dist, kDriveRemovable);
    Registry registry = CurrentRegistry();

    const auto treeBefore = Tree(machine);
    const auto userBefore = HiveLines(registry, Hive::CurrentUser);
    const auto systemBefore = HiveLines(registry, Hive::LocalMachine);

    plenova::testing::WriteAll(temp / "answers.txt", "path start\nbox yes\nbox ok\n");
    ScopedEnv answers("PLENOVA_SETUP_ANSWERS", (temp / "answers.txt").string());

    // First stage from the medium; it starts the second and ends.
    const Finished first = RunToEnd({(dist / "PlenovaSetup.exe").string()});
    ASSERT_EQ(first.exitCode, 0) << first.output;
    ASSERT_TRUE(WaitUntil([] { return !ReadSetting("PlenovaSaver", "App", "Dir", "").empty(); },
                        std::chrono::seconds(120)))
        << "the second stage did not finish";

    const std::string dst = "C:\\Program Files\\Plenova Saver";
    EXPECT_EQ(ReadSetting("PlenovaSaver", "App", "Dir", ""), dst);
    EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\PlenovaSetup.exe"));
    EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"));
    EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\PlenovaSaver.scr"));
    const std::string entry =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plenova Saver";
    const auto uninstall = registry.QueryString(Hive::LocalMachine, entry, "UninstallString");
    ASSERT_EQ(uninstall, "C:\\WINDOWS\\PlenovaSetup.exe /UNINST Plenova Saver");
    EXPECT_EQ(registry.QueryString(Hive::LocalMachine, entry, "DisplayName"), "Plenova Saver");

    std::vector<std::string> installed;
    for (int n = 1;; ++n) {
        const std::string path = ReadSetting("PlenovaSetup", "Plenova Saver",
                                             "Copy" + std::to_string(n), "");
        if (path.empty()) break;
        installed.push_back(path);
        EXPECT_TRUE(machine.FileExists(path)) << path;
    }
    EXPECT_GT(installed.size(), 1u);
    EXPECT_EQ(installed.front(), "C:\\WINDOWS\\PlenovaSaver.scr");

    // The shortcuts, as a shell reads them.
    const std::string group = "C:\\WINDOWS\\Start Menu\\Programs\\Plenova Saver";
    EXPECT_EQ(ReadSetting("PlenovaSetup", "Plenova Saver", "Group", ""), group);
    struct Link {
        const char* key;
        const char* name;
        const char* target;
        const char* arguments;
    };
    const Link links[] = {
        {"Icon1", "Plenova Saver の設定", "C:\\WINDOWS\\PlenovaSaver.scr", "/c"},
        {"Icon2", "Plenova Saver のアンインストール", "C:\\WINDOWS\\PlenovaSetup.exe",
         "/UNINST Plenova Saver"},
    };
    for (const Link& link : links) {
        const std::string path = ReadSetting("PlenovaSetup", "Plenova Saver", link.key, "");
        EXPECT_EQ(path, group + "\\" + link.name + ".lnk");
        const Finished info = RunToEnd({"lnkinfo", machine.ToHost(path)->string()});
        ASSERT_EQ(info.exitCode, 0) << info.output;
        EXPECT_EQ(Field(info.output, "Local path"), link.target) << info.output;
        EXPECT_EQ(Field(info.output, "Command line arguments"), link.arguments) << info.output;
    }

    // The uninstall string, run as the system's list of programs would run it.
    const std::size_t blank = uninstall->find(".exe ") + 4;
    const Finished removal = RunToEnd({machine.ToHost(uninstall->substr(0, blank))->string(),
                                  uninstall->substr(blank + 1)});
    ASSERT_EQ(removal.exitCode, 0) << removal.output;
    for (const std::string& path : installed) EXPECT_FALSE(machine.Exists(path)) << path;
    EXPECT_FALSE(machine.Exists(group));
    EXPECT_FALSE(registry.KeyExists(Hive::LocalMachine, entry));
    EXPECT_FALSE(SettingsStore().ApplicationExists("PlenovaSetup"));
    EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\PlenovaSetup.exe"));

    // The next program start carries out WININIT.INI: the medium's setup program, asked to
    // uninstall again and answered No, changes nothing else.
    plenova::testing::WriteAll(temp / "answers.txt", "box no\n");
    const Finished next = RunToEnd({(dist / "PlenovaSetup.exe").string(), "/UNINST Plenova Saver"});
    EXPECT_EQ(next.exitCode, 0) << next.output;
    EXPECT_FALSE(machine.Exists("C:\\WINDOWS\\PlenovaSetup.exe"));

    // What stays, and why: the support library is never removed; the boot step keeps its
    // retired WININIT.INI; "Program Files" was made on the way but only the destination itself
    // is logged; the uninstall entry's parents are shared with every other product; the saver's
    // own setting is the saver's.
    const std::vector<std::string> files = Minus(Tree(machine), treeBefore);
    EXPECT_EQ(files, (std::vector<std::string>{"Program Files/", "WINDOWS/SYSTEM/TAVORIN.DLL",
                                               "WINDOWS/WININIT.BAK"}));
    EXPECT_TRUE(Minus(treeBefore, Tree(machine)).empty());
    const auto userAfter = HiveLines(registry, Hive::CurrentUser);
    const auto systemAfter = HiveLines(registry, Hive::LocalMachine);
    const std::vector<std::string> userKept = Minus(userAfter, userBefore);
    EXPECT_EQ(std::set<std::string>(userKept.begin(), userKept.end()),
              (std::set<std::string>{
                  "[HKEY_CURRENT_USER\\Software]",
                  "[HKEY_CURRENT_USER\\Software\\PlenovaSaver]",
                  "[HKEY_CURRENT_USER\\Software\\PlenovaSaver\\App]",
                  "[HKEY_CURRENT_USER\\Software\\PlenovaSaver\\App] \"Dir\"=\"C:\\\\Program "
                  "Files\\\\Plenova Saver\""}));
    const std::vector<std::string> systemKept = Minus(systemAfter, systemBefore);
    for (const std::string& line : systemKept) {
        EXPECT_TRUE(line.starts_with("[HKEY_LOCAL_MACHINE\\SOFTWARE") &&
                    line.find("Plenova") == std::string::npos)
            << line;
    }
    std::cout << "Left after uninstalling:\n";
    for (const auto& f : files) std::cout << "  C:\\" << f << "\n";
    for (const auto& l : userKept) std::cout << "  " << l << "\n";
    for (const auto& l : systemKept) std::cout << "  " << l << "\n";
}

}  // namespace
