// The desktop menu made from a machine's Start menu: real shortcuts in a temporary machine, real
// menu folders, the entries checked with desktop-file-validate and their Exec lines taken apart
// by the Desktop Entry rules.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/desktop_menu.h"
#include "platform/shell_link.h"
#include "tests/support/desktop_entry.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::ParseDesktopEntry;
using plenova::testing::SplitExec;
using plenova::testing::TempFolder;

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.insert(entry.path().filename().string());
    return names;
}

class DesktopMenuTest : public ::testing::Test {
protected:
    DesktopMenuTest()
        : machine_(temp_ / "machine"),
          folders_{temp_ / "data" / "applications", temp_ / "data" / "desktop-directories",
                   temp_ / "config" / "menus" / "applications-merged"},
          tool_(PLENOVA_MACHINE_TOOL) {}

    // A shortcut below the Programs folder ("Group\Name") to `target`.
    void Link(const std::string& relative, const std::string& target,
              const std::string& arguments = "") {
        const std::string windows = machine_.ProgramsFolder() + "\\" + relative + ".lnk";
        const fs::path host = *machine_.ToHost(windows);
        fs::create_directories(host.parent_path());
        ShellLinkTarget t;
        t.windowsPath = target;
        WriteShellLinkFile(host, BuildShellLink(t, arguments));
    }
    fs::path LinkFile(const std::string& relative) {
        return *machine_.ToHost(machine_.ProgramsFolder() + "\\" + relative + ".lnk");
    }
    DesktopMenuReport Sync() { return SyncDesktopMenu(machine_, tool_, folders_); }
    // Our entries by name.
    std::map<std::string, std::map<std::string, std::string>> Entries() {
        std::map<std::string, std::map<std::string, std::string>> byName;
        for (const std::string& file : Names(folders_.applications)) {
            if (!file.starts_with(DesktopMenuPrefix(machine_))) continue;
            auto entry = ParseDesktopEntry(plenova::testing::ReadAll(folders_.applications / file));
            byName[entry["Name"]] = entry;
        }
        return byName;
    }

    TempFolder temp_{"plenova-desktop-menu"};
    Machine machine_;
    DesktopMenuFolders folders_;
    fs::path tool_;
};

TEST(DesktopEntryQuotingTest, ExecArgumentsSurviveTheDesktopRules) {
    const std::string arguments[] = {
        "/c",
        "C:\\WINDOWS\\PlenovaSaver.scr",
        "/UNINST Plenova Saver",
        "100%",
        "",
        "it's \"quoted\"",
        "$HOME `x` \\n",
        "a\tb",
        "設定 ツール",
        "PLENOVA_MACHINE=/tmp/a b",
    };
    for (const std::string& argument : arguments) {
        const std::string value = EscapeDesktopValue("prog " + QuoteExecArgument(argument));
        const auto parsed = ParseDesktopEntry("[Desktop Entry]\nExec=" + value + "\n");
        const auto words = SplitExec(parsed.at("Exec"));
        ASSERT_EQ(words.size(), 2u) << value;
        EXPECT_EQ(words[1], argument) << value;
    }
    EXPECT_EQ(QuoteExecArgument("/c"), "/c");  // plain words stay unquoted
    EXPECT_EQ(EscapeDesktopValue("a\nb\xff"), "a\\nb\xef\xbf\xbd");
}

TEST_F(DesktopMenuTest, EveryShortcutGetsAValidEntryThatRunsItsTargetThroughTheMachine) {
    Link("Plenova Saver\\Plenova Saver の設定", "C:\\WINDOWS\\PlenovaSaver.scr", "/c");
    Link("Plenova Saver\\Plenova Saver のアンインストール", "C:\\WINDOWS\\PlenovaSetup.exe",
         "/UNINST Plenova Saver");
    Link("Games\\Space\\100% Frog", "C:\\Program Files\\Frog\\frog.exe");
    Link("At the top", "C:\\top.exe");

    const DesktopMenuReport report = Sync();
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
    EXPECT_EQ(report.entries, 4);

    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 4u);
    struct Expected {
        const char* name;
        std::vector<std::string> program;  // after "env PLENOVA_MACHINE=<root> <tool> run"
    };
    const Expected expected[] = {
        {"Plenova Saver の設定", {"C:\\WINDOWS\\PlenovaSaver.scr", "/c"}},
        {"Plenova Saver のアンインストール",
         {"C:\\WINDOWS\\PlenovaSetup.exe", "/UNINST Plenova Saver"}},
        {"100% Frog", {"C:\\Program Files\\Frog\\frog.exe"}},
        {"At the top", {"C:\\top.exe"}},
    };
    for (const Expected& e : expected) {
        ASSERT_TRUE(entries.count(e.name)) << e.name;
        const auto& entry = entries.at(e.name);
        std::vector<std::string> words{"env", "PLENOVA_MACHINE=" + machine_.Root().string(),
                                       tool_.string(), "run"};
        words.insert(words.end(), e.program.begin(), e.program.end());
        EXPECT_EQ(SplitExec(entry.at("Exec")), words) << e.name;
        EXPECT_EQ(entry.at("Type"), "Application");
    }

    for (const fs::path& folder :
         {folders_.applications, folders_.directories, folders_.mergedMenus}) {
        for (const std::string& file : Names(folder)) {
            if (folder == folders_.mergedMenus) continue;  // not a desktop file
            const std::string command = "desktop-file-validate '" + (folder / file).string() + "'";
            EXPECT_EQ(std::system(command.c_str()), 0) << command;
        }
    }
    // Three groups (one nested) with their names, in a menu that nests like the Start menu.
    std::set<std::string> groupNames;
    for (const std::string& file : Names(folders_.directories))
        groupNames.insert(
            ParseDesktopEntry(plenova::testing::ReadAll(folders_.directories / file))["Name"]);
    EXPECT_EQ(groupNames, (std::set<std::string>{"Plenova Saver", "Games", "Space"}));
    const auto menus = Names(folders_.mergedMenus);
    ASSERT_EQ(menus.size(), 1u);
    const std::string menu = plenova::testing::ReadAll(folders_.mergedMenus / *menus.begin());
    std::size_t menuCount = 0;
    for (auto at = menu.find("<Menu>"); at != std::string::npos; at = menu.find("<Menu>", at + 1))
        ++menuCount;
    EXPECT_EQ(menuCount, 4u) << menu;  // the applications menu and one per group
    EXPECT_NE(menu.find("<Filename>" + DesktopMenuPrefix(machine_)), std::string::npos);

    // A second refresh with nothing changed writes nothing.
    const DesktopMenuReport again = Sync();
    EXPECT_EQ(again.written, 0);
    EXPECT_EQ(again.removed, 0);
}

TEST_F(DesktopMenuTest, GoneShortcutsLoseTheirEntriesAndNothingElseIsTouched) {
    Link("Plenova Saver\\Settings", "C:\\WINDOWS\\PlenovaSaver.scr", "/c");
    Link("Plenova Saver\\Uninstall", "C:\\WINDOWS\\PlenovaSetup.exe", "/UNINST Plenova Saver");
    fs::create_directories(folders_.applications);
    fs::create_directories(folders_.directories);
    // Files of the user, of another program and of another machine.
    const std::map<fs::path, std::string> foreign = {
        {folders_.applications / "firefox.desktop", "[Desktop Entry]\nName=Firefox\n"},
        {folders_.applications / "plenova-saver.desktop", "mine"},
        {folders_.applications / "plenova-0123456789abcdef-0123456789abcdef.desktop", "other"},
        {folders_.directories / "wine-Programs.directory", "wine"},
    };
    for (const auto& [path, text] : foreign) plenova::testing::WriteAll(path, text);

    ASSERT_EQ(Sync().entries, 2);
    fs::remove(LinkFile("Plenova Saver\\Uninstall"));
    DesktopMenuReport report = Sync();
    EXPECT_EQ(report.removed, 1);
    EXPECT_EQ(Entries().size(), 1u);
    EXPECT_TRUE(Entries().count("Settings"));

    fs::remove_all(LinkFile("Plenova Saver\\Settings").parent_path());
    report = Sync();
    EXPECT_EQ(report.entries, 0);
    EXPECT_EQ(report.removed, 3);  // the entry, the group and the menu
    EXPECT_TRUE(Names(folders_.mergedMenus).empty());
    for (const auto& [path, text] : foreign)
        EXPECT_EQ(plenova::testing::ReadAll(path), text) << path;
    EXPECT_EQ(Names(folders_.applications).size(), 3u);
}

TEST_F(DesktopMenuTest, UnreadableShortcutsArePassedOverAndNoToolRemovesNothing) {
    Link("Plenova Saver\\Settings", "C:\\WINDOWS\\PlenovaSaver.scr", "/c");
    ASSERT_EQ(Sync().entries, 1);
    plenova::testing::WriteAll(LinkFile("Plenova Saver\\damaged"), "L\0\0\0not a link");
    ASSERT_EQ(::mkfifo(LinkFile("Plenova Saver\\fifo").c_str(), 0600), 0);
    ShellLinkTarget folder;
    folder.windowsPath = "C:\\WINDOWS";
    folder.isFolder = true;
    WriteShellLinkFile(LinkFile("Plenova Saver\\A folder"), BuildShellLink(folder, ""));
    fs::create_directories(LinkFile("Plenova Saver\\folder named like a link"));

    DesktopMenuReport report = Sync();
    EXPECT_EQ(report.entries, 1);
    EXPECT_EQ(report.problems.size(), 3u);
    EXPECT_EQ(Entries().size(), 1u);

    // Without a program to start, the menu is left as it is rather than emptied.
    tool_ = "relative/plenova-machine";
    report = Sync();
    EXPECT_FALSE(report.problems.empty());
    EXPECT_EQ(report.removed, 0);
    EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(DesktopMenuTest, ShortcutsToHostProgramsGetNoEntry) {
    Link("Good", "C:\\WINDOWS\\PlenovaSaver.scr", "/c");
    Link("Python", "Z:\\usr\\bin\\python3", "-c \"import os; os.system('id')\"");
    Link("Tools\\Shell", "z:\\bin\\sh");
    // A folder of C: that is a link to the host's programs.
    fs::create_directory_symlink("/usr/bin", *machine_.ToHost("C:\\") / "hostbin");
    Link("Through a link", "C:\\hostbin\\python3");

    const DesktopMenuReport report = Sync();
    EXPECT_EQ(report.entries, 1);
    EXPECT_EQ(report.problems.size(), 3u);
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries.count("Good"));
}

TEST_F(DesktopMenuTest, ControlCharactersInAShortcutGiveAValidEntry) {
    Link("Group\x01\\Na\tme\x1b[2J\x7f\rX", "C:\\Pro\ngram\\x.exe",
         "/a\nExec=rm -rf ~\r\x1b]0;t\x07 b");
    Link("\x02\x03", "C:\\y.exe");  // nothing printable: the target's name

    const DesktopMenuReport report = Sync();
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_TRUE(entries.count("Name[2JX")) << entries.begin()->first;
    const std::vector<std::string> words = SplitExec(entries.at("Name[2JX").at("Exec"));
    ASSERT_GE(words.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(words.end() - 2, words.end()),
              (std::vector<std::string>{"C:\\Program\\x.exe", "/aExec=rm -rf ~]0;t b"}));
    EXPECT_TRUE(entries.count("y.exe"));
    for (const fs::path& folder : {folders_.applications, folders_.directories}) {
        for (const std::string& file : Names(folder)) {
            const std::string text = plenova::testing::ReadAll(folder / file);
            for (char c : text)
                EXPECT_TRUE(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f))
                    << file << ": " << static_cast<int>(c);
            const std::string command = "desktop-file-validate '" + (folder / file).string() + "'";
            EXPECT_EQ(std::system(command.c_str()), 0) << command << "\n" << text;
        }
    }
}

TEST_F(DesktopMenuTest, TheDefaultMachineIsNotPinned) {
    Link("Settings", "C:\\WINDOWS\\PlenovaSaver.scr", "/c");
    const std::string data = (temp_ / "data").string();
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    Machine standard(temp_ / "data" / "plenova");
    const DesktopMenuReport report = SyncDesktopMenu(standard, tool_, folders_);
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(report.entries, 0);  // its Start menu is still empty
    ShellLinkTarget t;
    t.windowsPath = "C:\\x.exe";
    WriteShellLinkFile(*standard.ToHost(standard.ProgramsFolder() + "\\x.lnk"),
                       BuildShellLink(t, ""));
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    ASSERT_EQ(SyncDesktopMenu(standard, tool_, folders_).entries, 1);
    ::unsetenv("XDG_DATA_HOME");
    bool found = false;
    for (const std::string& file : Names(folders_.applications)) {
        if (!file.starts_with(DesktopMenuPrefix(standard))) continue;
        const auto entry =
            ParseDesktopEntry(plenova::testing::ReadAll(folders_.applications / file));
        EXPECT_EQ(SplitExec(entry.at("Exec")),
                  (std::vector<std::string>{tool_.string(), "run", "C:\\x.exe"}));
        found = true;
    }
    EXPECT_TRUE(found);
    EXPECT_NE(DesktopMenuPrefix(standard), DesktopMenuPrefix(machine_));
}

}  // namespace
