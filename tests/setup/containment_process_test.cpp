// A hostile setup medium, run as real processes: whatever its script says, a canary folder on the
// host outside the machine stays byte for byte as it was. And a copy killed half-way leaves the
// old destination or the whole new one, never a cut file, and nothing beside it.
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/settings_store.h"
#include "platform/text_conversion.h"
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

const fs::path kDist = fs::path(PLENOVA_SETUP_EXE).parent_path();

// Every file, folder and link below `root` with its size and a hash of its content, or target.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).string();
        if (entry.is_symlink())
            tree[name] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_directory())
            tree[name + "/"] = "";
        else {
            const std::string bytes = plenova::testing::ReadAll(entry.path());
            tree[name] = std::to_string(bytes.size()) + " bytes, hash " +
                         std::to_string(std::hash<std::string>{}(bytes));
        }
    }
    return tree;
}

// A fresh machine with the installed setup program and its library, a canary folder on the host
// and an answers file, for one attack.
struct Scene {
    TempFolder temp{"plenova-containment"};
    ScopedMachine scopedMachine{temp / "machine"};
    ScopedEnv menuData{"XDG_DATA_HOME", (temp / "xdg-data").string()};
    ScopedEnv menuConfig{"XDG_CONFIG_HOME", (temp / "xdg-config").string()};
    ScopedEnv answers{"PLENOVA_SETUP_ANSWERS", (temp / "answers.txt").string()};
    ScopedEnv qt{"QT_QPA_PLATFORM", "offscreen"};
    fs::path canary = temp / "canary";

    Scene() {
        fs::create_directories(canary / "medium");
        plenova::testing::WriteAll(canary / "victim.txt", "the host's own file");
        plenova::testing::WriteAll(temp / "answers.txt", "path start\n");
        fs::copy_file(kDist / "PlenovaSetup.exe", Host("C:\\WINDOWS\\PlenovaSetup.exe"));
        fs::copy_file(kDist / "TAVORIN.DLL", Host("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"));
    }
    static Machine& M() { return CurrentMachine(); }
    static fs::path Host(std::string_view windowsPath) { return *M().ToHost(windowsPath); }
    std::string Z(const fs::path& host) const { return M().ToWindows(host); }

    // A medium in a host folder: the setup program, its library, the script and its files.
    void Medium(const fs::path& folder, const std::string& script,
                const std::vector<std::string>& files) {
        fs::create_directories(folder);
        fs::copy_file(kDist / "PlenovaSetup.exe", folder / "PlenovaSetup.exe");
        fs::copy_file(kDist / "TAVORIN.DLL", folder / "TAVORIN.DLL");
        plenova::testing::WriteAll(folder / "SETUP.ini", ToShiftJis(script));
        for (const std::string& name : files) {
            plenova::testing::WriteAll(folder / name, "the medium's " + name);
            // Newer than anything on the host, so that a copy would overwrite.
            fs::last_write_time(folder / name, fs::file_time_type::clock::now() +
                                                   std::chrono::hours(24 * 365));
        }
    }
    std::vector<std::string> SecondStage(const std::string& srcDir) const {
        return {Host("C:\\WINDOWS\\PlenovaSetup.exe").string(), srcDir};
    }
};

struct Attack {
    const char* name;
    std::function<std::vector<std::string>(Scene&)> prepare;  // the command to run then
    const char* box;  // the message the setup shows, "" for none
};

TEST(ContainmentProcessTest, NothingAMediumSaysChangesTheHost) {
    const Attack attacks[] = {
        {"a [BOOT] folder on Z:",
         [](Scene& s) {
             s.Medium(s.temp / "floppy",
                      "[BOOT]\r\nCopy1=victim.txt,," + s.Z(s.canary) + "\r\n", {"victim.txt"});
             s.M().AddDrive('A', s.temp / "floppy", kDriveRemovable);
             return std::vector<std::string>{(s.temp / "floppy" / "PlenovaSetup.exe").string()};
         },
         "ﾌｧｲﾙが作成できません"},
        {"a planted WININIT.INI naming host files, then a saver start",
         [](Scene& s) {
             const std::string victim = s.Z(s.canary / "victim.txt");
             plenova::testing::WriteAll(
                 s.Host("C:\\WINDOWS\\WININIT.INI"),
                 "[rename]\r\nNUL=" + victim + "\r\nNUL=" + (s.canary / "victim.txt").string() +
                     "\r\n" + s.Z(s.canary / "moved.txt") + "=" + victim + "\r\n" +
                     "C:\\moved.txt=" + victim + "\r\n");
             return std::vector<std::string>{(kDist / "PlenovaSaver.scr").string()};
         },
         "outside the machine's own drives were skipped"},
        {"..\\ from a medium run through Z:",
         [](Scene& s) {
             s.Medium(s.canary / "medium",
                      "[SETUP]\r\nTitle=T\r\nDstDir=T\r\nCopy1=ok.txt\r\nCopy2=..\\victim.txt\r\n",
                      {"ok.txt"});
             return s.SecondStage(s.Z(s.canary / "medium"));
         },
         "ﾌｧｲﾙが開けません"},
        {"a symlinked folder on a fixed-disk medium",
         [](Scene& s) {
             s.Medium(s.temp / "disk", "[SETUP]\r\nTitle=T\r\nDstDir=T\r\nCopy1=sub\\victim.txt\r\n",
                      {});
             fs::create_directory_symlink(s.canary, s.temp / "disk" / "sub");
             s.M().AddDrive('D', s.temp / "disk", kDriveFixed);
             return s.SecondStage("D:");
         },
         "ﾌｧｲﾙが開けません"},
        {"a typed Z: destination with ..\\ in a script name",
         [](Scene& s) {
             fs::create_directories(s.temp / "dest");
             plenova::testing::WriteAll(s.temp / "answers.txt",
                                        "path start " + s.Z(s.temp / "dest") + "\n");
             s.Medium(s.temp / "floppy",
                      "[SETUP]\r\nTitle=T\r\nCopy1=ok.txt,..\\canary\\victim.txt\r\n", {"ok.txt"});
             s.M().AddDrive('A', s.temp / "floppy", kDriveRemovable);
             return s.SecondStage("A:");
         },
         "ﾌｧｲﾙが作成できません"},
    };
    for (const Attack& attack : attacks) {
        SCOPED_TRACE(attack.name);
        Scene scene;
        const std::vector<std::string> command = attack.prepare(scene);
        const auto before = Snapshot(scene.canary);
        const Finished run = RunToEnd(command);
        EXPECT_EQ(Snapshot(scene.canary), before) << run.output;
        if (*attack.box != '\0') {
            EXPECT_NE(run.output.find(attack.box), std::string::npos) << run.output;
        }
        EXPECT_FALSE(fs::exists(scene.Host("C:\\moved.txt")));
    }
}

// A kill -9 in the middle of a large copy, then the installation once more: the destination is
// absent or whole at every moment, and nothing is left beside it.
TEST(ContainmentProcessTest, KilledCopyLeavesNoCutFile) {
    Scene scene;
    const fs::path medium = scene.temp / "floppy";
    scene.Medium(medium, "[SETUP]\r\nTitle=T\r\nDstDir=T\r\nCopy1=big.bin\r\n", {});
    const std::string big(128u << 20, 'b');
    plenova::testing::WriteAll(medium / "big.bin", big);
    scene.M().AddDrive('A', medium, kDriveRemovable);
    const fs::path destination = scene.Host("C:\\T") / "big.bin";

    const auto started = plenova::testing::Start(
        {scene.Host("C:\\WINDOWS\\PlenovaSetup.exe").string(), "A:"},
        plenova::testing::Capture::kNothing);
    ASSERT_GT(started.pid, 0);
    // Killed while the copy is under way: its folder exists, the copy is not in place yet.
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(destination.parent_path()); },
                          std::chrono::seconds(60)));
    ::kill(started.pid, SIGKILL);
    plenova::testing::WaitForExit(started.pid);
    if (fs::exists(destination)) {
        EXPECT_EQ(fs::file_size(destination), big.size());
    }
    for (const auto& entry : fs::directory_iterator(destination.parent_path()))
        EXPECT_EQ(entry.path(), destination) << "left behind";

    const Finished again = RunToEnd(scene.SecondStage("A:"));
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(plenova::testing::ReadAll(destination), big);
    for (const auto& entry : fs::directory_iterator(destination.parent_path()))
        EXPECT_EQ(entry.path(), destination) << "left behind";
}

}  // namespace
