// The plenova-machine tool, run as a user would run it.
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::ReadAll;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q.push_back(c);
    }
    return q + "'";
}

class MachineToolTest : public ::testing::Test {
protected:
    TempFolder temp;
    fs::path root = temp.Path() / "machine";
    Machine machine{root};
    Registry reg{machine};

    Result Run(const std::vector<std::string>& args) {
        std::string command = "PLENOVA_MACHINE=";
        command += ShellQuote(root.string());
        command += " ";
        command += ShellQuote(PLENOVA_MACHINE_TOOL);
        for (const auto& a : args) {
            command += ' ';
            command += ShellQuote(a);
        }
        const fs::path out = temp.Path() / "out.txt";
        const fs::path err = temp.Path() / "err.txt";
        command += " </dev/null >";
        command += ShellQuote(out.string());
        command += " 2>";
        command += ShellQuote(err.string());
        const int status = std::system(command.c_str());
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadAll(out);
        r.err = ReadAll(err);
        return r;
    }
};

TEST_F(MachineToolTest, BadArgumentsGiveUsageAndExitCodeTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"reg"},
        {"reg", "frob", "HKCU\\x"},
        {"reg", "add"},
        {"reg", "add", "HKXX\\Software"},
        {"reg", "add", "Software\\x"},
        {"reg", "add", "HKCU\\a\\\\b"},
        {"reg", "add", "HKCU\\x", "/v"},
        {"reg", "add", "HKCU\\x", "/v", "a", "/ve"},
        {"reg", "add", "HKCU\\x", "/v", "a", "/t", "REG_BINARY", "/d", "00"},
        {"reg", "add", "HKCU\\x", "/v", "a", "/t", "REG_DWORD", "/d", "twelve"},
        {"reg", "add", "HKCU\\x", "/v", "a", "/t", "REG_DWORD", "/d", "4294967296"},
        {"reg", "add", "HKCU\\x", "/bogus"},
        {"reg", "query", "HKCU\\x", "extra"},
        {"reg", "export", "HKCU\\x"},
        {"path"},
        {"path", "-x", "C:\\"},
        {"drive"},
        {"drive", "add", "1:", "/tmp"},
        {"drive", "add", "C:", "/tmp"},
        {"drive", "add", "A:", "/tmp", "floppyish"},
        {"drive", "remove"},
        {"root", "extra"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        SCOPED_TRACE(joined);
        Result r = Run(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_FALSE(fs::exists(machine.UserHivePath()));
}

TEST_F(MachineToolTest, AddQueryDeleteExportRoundTrip) {
    Result r = Run({"reg", "add", "HKCU\\Software\\ZEVRA6\\Set", "/v", "Mute", "/d", "1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(SettingsStore(reg).ReadSetting("ZEVRA6", "Set", "Mute", "0"), "1");

    // Without /f an existing value is not replaced (no terminal to ask on).
    r = Run({"reg", "add", "HKEY_CURRENT_USER\\software\\zevra6\\set", "/v", "mute", "/d", "0"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("/f"), std::string::npos);
    EXPECT_EQ(reg.QueryString(Hive::CurrentUser, "Software\\ZEVRA6\\Set", "Mute"), "1");
    r = Run({"reg", "add", "HKCU\\Software\\ZEVRA6\\Set", "-v", "Mute", "-d", "0", "-f"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(reg.QueryString(Hive::CurrentUser, "Software\\ZEVRA6\\Set", "Mute"), "0");

    ASSERT_EQ(Run({"reg", "add", "HKCU\\Software\\ZEVRA6\\Set", "/v", "Count", "/t", "reg_dword", "/d", "0x2a"}).code, 0);
    ASSERT_EQ(Run({"reg", "add", "HKCU\\Software\\ZEVRA6\\Set", "/ve", "/d", "日本 \"q\" \\"}).code, 0);
    EXPECT_EQ(reg.QueryString(Hive::CurrentUser, "Software\\ZEVRA6\\Set", ""), "日本 \"q\" \\");

    r = Run({"reg", "query", "HKCU\\Software\\ZEVRA6\\Set", "/v", "Count"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("HKEY_CURRENT_USER\\Software\\ZEVRA6\\Set\n"), std::string::npos);
    EXPECT_NE(r.out.find("    Count    REG_DWORD    0x2a\n"), std::string::npos);
    r = Run({"reg", "query", "HKCU\\Software\\ZEVRA6", "/s"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("    Mute    REG_SZ    0\n"), std::string::npos);
    EXPECT_NE(r.out.find("    (Default)    REG_SZ    日本 \"q\" \\\n"), std::string::npos);
    r = Run({"reg", "query", "HKCU\\Software"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("HKEY_CURRENT_USER\\Software\\ZEVRA6"), std::string::npos);
    r = Run({"reg", "query", "HKCU\\Software\\ZEVRA6\\Set", "/v", "Missing"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("unable to find"), std::string::npos);
    EXPECT_EQ(Run({"reg", "query", "HKLM\\Software\\Nothing"}).code, 1);

    // Export to a file and to standard output: the registry's own export text.
    const auto expected = reg.Export(Hive::CurrentUser, "Software\\ZEVRA6");
    ASSERT_TRUE(expected);
    const fs::path file = temp.Path() / "zevra.reg";
    r = Run({"reg", "export", "HKCU\\Software\\ZEVRA6", file.string()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadAll(file), *expected);
    EXPECT_EQ(Run({"reg", "export", "HKCU\\Software\\ZEVRA6", file.string()}).code, 1);  // exists, no /y
    EXPECT_EQ(Run({"reg", "export", "HKCU\\Software\\ZEVRA6", file.string(), "/y"}).code, 0);
    r = Run({"reg", "export", "HKCU\\Software\\ZEVRA6", "-"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, *expected);
    EXPECT_EQ(Run({"reg", "export", "HKCU\\Software\\Missing", "-"}).code, 1);

    // Deletes need /f without a terminal.
    EXPECT_EQ(Run({"reg", "delete", "HKCU\\Software\\ZEVRA6\\Set", "/v", "Mute"}).code, 1);
    EXPECT_TRUE(reg.QueryValue(Hive::CurrentUser, "Software\\ZEVRA6\\Set", "Mute"));
    EXPECT_EQ(Run({"reg", "delete", "HKCU\\Software\\ZEVRA6\\Set", "/v", "Mute", "/f"}).code, 0);
    EXPECT_FALSE(reg.QueryValue(Hive::CurrentUser, "Software\\ZEVRA6\\Set", "Mute"));
    EXPECT_EQ(Run({"reg", "delete", "HKCU\\Software\\ZEVRA6\\Set", "/v", "Mute", "/f"}).code, 1);
    EXPECT_EQ(Run({"reg", "delete", "HKCU\\Software\\ZEVRA6\\Set", "/va", "/f"}).code, 0);
    EXPECT_EQ(reg.Values(Hive::CurrentUser, "Software\\ZEVRA6\\Set")->size(), 0u);
    EXPECT_EQ(Run({"reg", "delete", "HKCU", "/f"}).code, 1);
    EXPECT_EQ(Run({"reg", "delete", "HKCU\\Software\\ZEVRA6", "/f"}).code, 0);
    EXPECT_FALSE(reg.KeyExists(Hive::CurrentUser, "Software\\ZEVRA6"));
    EXPECT_EQ(Run({"reg", "delete", "HKCU\\Software\\ZEVRA6", "/f"}).code, 1);

    // reg add with no value creates the key only.
    EXPECT_EQ(Run({"reg", "add", "HKLM\\SOFTWARE\\Empty"}).code, 0);
    EXPECT_TRUE(reg.KeyExists(Hive::LocalMachine, "software\\empty"));
}

TEST_F(MachineToolTest, PathsDrivesAndRoot) {
    Result r = Run({"root"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, root.string() + "\n");

    r = Run({"path", "-u", "c:\\windows\\System\\x.dll"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, (root / "drive_c" / "WINDOWS" / "SYSTEM" / "x.dll").string() + "\n");
    r = Run({"path", "-w", (root / "drive_c" / "WINDOWS").string()});
    EXPECT_EQ(r.out, "C:\\WINDOWS\n");
    r = Run({"path", "-w", "/usr/bin"});
    EXPECT_EQ(r.out, "Z:\\usr\\bin\n");
    r = Run({"path", "-u", "\\\\server\\share\\x"});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(Run({"path", "-u", "Q:\\x"}).code, 1);

    const fs::path floppy = temp.Path() / "floppy";
    fs::create_directories(floppy);
    r = Run({"drive", "add", "a:", floppy.string(), "removable"});
    EXPECT_EQ(r.code, 0) << r.err;
    r = Run({"drive", "list"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("A: 2 removable " + floppy.string() + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("C: 3 fixed " + (root / "drive_c").string() + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("Z: 3 fixed /\n"), std::string::npos);
    EXPECT_EQ(Machine(root).DriveType("A:\\"), kDriveRemovable);
    r = Run({"path", "-u", "A:"});
    EXPECT_EQ(r.out, floppy.string() + "\n");
    EXPECT_EQ(Run({"drive", "add", "D:", temp.Path().string(), "5"}).code, 0);
    EXPECT_EQ(Machine(root).DriveType("D:"), kDriveCdRom);
    EXPECT_EQ(Run({"drive", "remove", "A:"}).code, 0);
    EXPECT_EQ(Run({"drive", "remove", "A:"}).code, 1);
    EXPECT_EQ(Machine(root).DriveType("A:\\"), kDriveNoRootDir);
}

// A machine program that reports how it was started: its folder, its argument count, its
// command line and its machine, each on a line of `report`; it ends with `status`.
void WriteProbe(const fs::path& program, const fs::path& report, int status) {
    fs::create_directories(program.parent_path());
    const std::string body =
        "{ pwd; echo \"$#\"; printf '%s\\n' \"$1\"; echo \"$PLENOVA_MACHINE\"; }";
    WriteAll(program, "#!/bin/sh\n" + body + " > '" + report.string() + "'\nexit " +
                          std::to_string(status) + "\n");
    fs::permissions(program, fs::perms::owner_read | fs::perms::owner_write);  // as copied
}

TEST_F(MachineToolTest, RunStartsAProgramFromItsFolderWithItsCommandLineUnchanged) {
    const fs::path folder = root / "drive_c" / "Program Files" / "Tool Dir";
    const fs::path report = temp.Path() / "report.txt";
    WriteProbe(folder / "probe.sh", report, 7);

    struct Case {
        std::vector<std::string> arguments;
        std::string count;
        std::string commandLine;
    };
    const std::vector<Case> cases = {
        {{}, "0", ""},
        {{"A:"}, "1", "A:"},
        {{"/UNINST", "Two  Blanks", " lead"}, "1", "/UNINST Two  Blanks  lead"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        std::vector<std::string> args{"run", "c:\\program files\\tool dir\\PROBE.SH"};
        args.insert(args.end(), c.arguments.begin(), c.arguments.end());
        const Result r = Run(args);
        EXPECT_EQ(r.code, 7) << r.err;  // the program's own status
        EXPECT_EQ(ReadAll(report), folder.string() + "\n" + c.count + "\n" + c.commandLine +
                                       "\n" + root.string() + "\n");
    }
}

TEST_F(MachineToolTest, RunWaitsForTheMachineProgramsItLeavesRunningOnly) {
    // A first stage that hands over to a second one and ends at once, as the setup does, and
    // leaves a host program running too, as a desktop's file manager would stay.
    const fs::path marker = temp.Path() / "second-stage-done";
    const fs::path hostPid = temp.Path() / "host-program.pid";
    const fs::path c = root / "drive_c";
    WriteAll(c / "stage2.sh", "#!/bin/sh\nsleep 0.5\necho done > '" + marker.string() + "'\n");
    fs::permissions(c / "stage2.sh", fs::perms::owner_all);
    WriteAll(c / "stage1.sh", "#!/bin/sh\n'" + (c / "stage2.sh").string() +
                                  "' &\nsleep 600 &\necho $! > '" + hostPid.string() +
                                  "'\nexit 3\n");
    const Result r = Run({"run", "C:\\stage1.sh"});
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_EQ(ReadAll(marker), "done\n");
    const pid_t host = static_cast<pid_t>(std::stol(ReadAll(hostPid)));
    EXPECT_EQ(::kill(host, 0), 0) << "the host program was waited for";
    ::kill(host, SIGKILL);
}

TEST_F(MachineToolTest, HostProgramsRunOnlyWithHost) {
    // A host program named on Z:, as a host path, through a link on C: and by an uninstall
    // string that a setup medium may have written.
    const fs::path report = temp.Path() / "report.txt";
    const fs::path hostProgram = temp.Path() / "host" / "probe.sh";
    WriteProbe(hostProgram, report, 0);
    fs::permissions(hostProgram, fs::perms::owner_all);
    fs::create_symlink(hostProgram, root / "drive_c" / "linked.sh");
    const std::string onZ = "Z:" + hostProgram.string();
    reg.SetString(Hive::LocalMachine,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Planted",
                  "UninstallString", onZ + " /x");
    const std::vector<std::vector<std::string>> commands = {
        {"run", onZ},
        {"run", hostProgram.string(), "a"},
        {"run", "--no-wait", "C:\\linked.sh"},
        {"uninstall", "Planted"},
    };
    for (std::vector<std::string> args : commands) {
        SCOPED_TRACE(args.back());
        Result r = Run(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("--host"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(report));

        args.insert(args.begin() + 1, "--host");
        r = Run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(plenova::testing::WaitUntil([&] { return fs::exists(report); },
                                                std::chrono::seconds(10)));
        fs::remove(report);
    }
    EXPECT_EQ(Run({"uninstall", "Planted", "--host"}).code, 0);
}

TEST_F(MachineToolTest, HostFilesNeverGetTheExecuteBit) {
    // Windows has no execute bit, so a machine program gets one; a host file never does, also
    // when the user lets a host program run or a link on C: leads to it.
    const fs::path report = temp.Path() / "report.txt";
    const fs::path hostProgram = temp.Path() / "host" / "probe.sh";
    WriteProbe(hostProgram, report, 0);
    fs::create_symlink(hostProgram, root / "drive_c" / "linked.sh");
    fs::create_directories(root / "drive_c" / "hard");
    fs::create_hard_link(hostProgram, root / "drive_c" / "hard" / "probe.sh");
    const std::string programs[] = {"Z:" + hostProgram.string(), "C:\\linked.sh",
                                    "C:\\hard\\probe.sh"};
    for (const std::string& program : programs) {
        SCOPED_TRACE(program);
        EXPECT_NE(Run({"run", "--host", program}).code, 0);
        EXPECT_EQ(fs::status(hostProgram).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_FALSE(fs::exists(report));
}

TEST_F(MachineToolTest, AProgramEndedByASignalGivesStatus128PlusTheSignal) {
    WriteAll(root / "drive_c" / "killed.sh", "#!/bin/sh\nkill -KILL $$\n");
    WriteAll(root / "drive_c" / "terminated.sh", "#!/bin/sh\nkill -TERM $$\nsleep 5\n");
    EXPECT_EQ(Run({"run", "C:\\killed.sh"}).code, 128 + SIGKILL);
    reg.SetString(Hive::LocalMachine,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ends",
                  "UninstallString", "C:\\terminated.sh");
    EXPECT_EQ(Run({"uninstall", "Ends"}).code, 128 + SIGTERM);
}

TEST_F(MachineToolTest, TextsFromTheMachineReachTheTerminalEscaped) {
    const std::string key = "Software\\Planted";
    reg.SetString(Hive::CurrentUser, key, "Note", "one\r\ntwo\t日本\x1b]0;title\x07");
    reg.SetString(Hive::LocalMachine,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\P",
                  "DisplayName", "Pro\rduct\x1b[1A");
    Result r = Run({"reg", "query", "HKCU\\Software", "/s"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("    Note    REG_SZ    one\\r\\ntwo\\t日本\\x1b]0;title\\x07\n"),
              std::string::npos)
        << r.out;
    r = Run({"uninstall", "--list"});
    EXPECT_EQ(r.out, "Pro\\rduct\\x1b[1A\n");
    for (const std::string& text : {Run({"reg", "query", "HKCU\\" + key}).out, r.out})
        for (char c : text)
            EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << static_cast<int>(c);
}

TEST_F(MachineToolTest, RunRefusesWhatCannotBeRun) {
    WriteAll(root / "drive_c" / "notes.txt", "plain text\n");
    struct Case {
        std::vector<std::string> args;
        int code;
    };
    const std::vector<Case> cases = {
        {{"run"}, 2},
        {{"run", "--no-wait"}, 2},
        {{"run", ""}, 2},
        {{"run", "C:\\missing.exe"}, 1},
        {{"run", "C:\\WINDOWS"}, 1},
        {{"run", "C:\\notes.txt"}, 1},
        {{"run", "Q:\\setup.exe"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : "(none)");
        const Result r = Run(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(MachineToolTest, UninstallListsProductsAndRunsTheirUninstallString) {
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const fs::path report = temp.Path() / "report.txt";
    const fs::path folder = root / "drive_c" / "Program Files" / "Tool Dir";
    WriteProbe(folder / "un inst.sh", report, 0);
    // Prefixes of the program's path that are no files: a folder and a missing name.
    fs::create_directories(root / "drive_c" / "Program");
    reg.SetString(Hive::LocalMachine, key + "\\Plenova Saver", "DisplayName", "Plenova Saver");
    reg.SetString(Hive::LocalMachine, key + "\\Plenova Saver", "UninstallString",
                  "C:\\Program Files\\Tool Dir\\un inst.sh /UNINST  Plenova Saver");
    reg.SetString(Hive::LocalMachine, key + "\\{quoted}", "DisplayName", "Quoted Product");
    reg.SetString(Hive::LocalMachine, key + "\\{quoted}", "UninstallString",
                  "\"C:\\Program Files\\Tool Dir\\un inst.sh\"   /x y");
    reg.SetString(Hive::LocalMachine, key + "\\NoName", "UninstallString", "C:\\gone.exe /x");

    Result r = Run({"uninstall", "--list"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Plenova Saver\nQuoted Product\nNoName\n");

    struct Case {
        std::string title;
        std::string commandLine;
    };
    const std::vector<Case> cases = {
        {"Plenova Saver", "/UNINST  Plenova Saver"},
        {"plenova saver", "/UNINST  Plenova Saver"},  // key names ignore letter case
        {"Quoted Product", "/x y"},
        {"{quoted}", "/x y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        fs::remove(report);
        r = Run({"uninstall", c.title});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(ReadAll(report), folder.string() + "\n1\n" + c.commandLine + "\n" +
                                       root.string() + "\n");
    }

    fs::remove(report);
    r = Run({"uninstall", "Unknown Product"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Unknown Product"), std::string::npos);
    r = Run({"uninstall", "NoName"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("C:\\gone.exe"), std::string::npos);
    EXPECT_EQ(Run({"uninstall"}).code, 2);
    EXPECT_EQ(Run({"uninstall", "a", "b"}).code, 2);
    EXPECT_FALSE(fs::exists(report));
}

}  // namespace
