// The uninstallation: what the log names goes, the log and the entry go, and the installed
// setup program goes at the next program start when no product is logged any more.
#include "tests/setup/setup_fixture.h"

namespace plenova::setup::testing {
namespace {

using platform::Hive;

class UninstallTest : public SetupFixture {
protected:
    UninstallTest() {
        Write("C:\\WINDOWS\\PlenovaSetup.exe", "installed setup program");
        Write("C:\\WINDOWS\\PlenovaSaver.scr", "saver");
        platform::CurrentRegistry().SetString(Hive::LocalMachine, EntryKey("Plenova Saver"),
                                              "DisplayName", "Plenova Saver");
    }
    static std::string EntryKey(const std::string& title) {
        return std::string(kUninstallParent) + "\\" + title;
    }
    static bool EntryExists(const std::string& title) {
        return platform::CurrentRegistry().KeyExists(Hive::LocalMachine, EntryKey(title));
    }
};

TEST_F(UninstallTest, RemovesTheLoggedFilesUpToTheFirstGap) {
    const std::string dst = "C:\\Program Files\\Saver";
    for (const char* name : {"a", "b", "c", "d", "e"}) Write(dst + "\\Data\\" + name, name);
    Write(dst + "\\kept-by-user.txt", "mine");
    WriteLog("Plenova Saver", "MkDir1", dst);
    WriteLog("Plenova Saver", "MkDir2", dst + "\\Data");
    for (const auto& [key, name] : std::vector<std::pair<std::string, std::string>>{
             {"Copy1", "a"}, {"Copy2", "b"}, {"Copy3", "c"}, {"Copy5", "e"}})
        WriteLog("Plenova Saver", key, dst + "\\Data\\" + name);
    const std::string group = "C:\\WINDOWS\\Start Menu\\Programs\\Saver";
    Write(group + "\\One.lnk", "l");
    Write(group + "\\Two.lnk", "l");
    WriteLog("Plenova Saver", "Group", group);
    WriteLog("Plenova Saver", "Icon1", group + "\\One.lnk");
    WriteLog("Plenova Saver", "Icon2", group + "\\Two.lnk");

    EXPECT_EQ(RunMain("/UNINST Plenova Saver"), 0);
    for (const char* name : {"a", "b", "c"}) EXPECT_FALSE(M().Exists(dst + "\\Data\\" + name));
    EXPECT_TRUE(M().FileExists(dst + "\\Data\\d"));
    EXPECT_TRUE(M().FileExists(dst + "\\Data\\e"));
    // Folders that still hold files stay; the emptied group goes.
    EXPECT_TRUE(M().FolderExists(dst + "\\Data"));
    EXPECT_TRUE(M().FileExists(dst + "\\kept-by-user.txt"));
    EXPECT_FALSE(M().Exists(group));
    EXPECT_FALSE(M().Exists("C:\\WINDOWS\\PlenovaSaver.scr"));
    EXPECT_FALSE(EntryExists("Plenova Saver"));
    EXPECT_TRUE(platform::CurrentRegistry().KeyExists(Hive::LocalMachine, kUninstallParent));
    EXPECT_FALSE(platform::SettingsStore().ApplicationExists("PlenovaSetup"));

    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "Plenova Saver をアンインストールしますか？",
                              "Plenova Saver のアンインストールが終了しました。 "}));
    EXPECT_EQ(boxes->Shown()[0].icon, MsgIcon::Question);
    EXPECT_EQ(boxes->Shown()[1].icon, MsgIcon::None);
    EXPECT_EQ(windows.Events(),
              (std::vector<std::string>{"wait Plenova Saver のアンインストール中...",
                                        "wait hourglass", "wait hide"}));

    // The last product is gone: the installed setup program goes at the next start.
    EXPECT_EQ(Read("C:\\WINDOWS\\WININIT.INI"),
              "[rename]\r\nNUL=C:\\WINDOWS\\PlenovaSetup.exe\r\n");
    EXPECT_TRUE(M().FileExists("C:\\WINDOWS\\PlenovaSetup.exe"));
    EXPECT_EQ(M().RunBootStep(), 1);
    EXPECT_FALSE(M().FileExists("C:\\WINDOWS\\PlenovaSetup.exe"));
}

TEST_F(UninstallTest, AnotherLoggedProductKeepsTheSetupProgram) {
    WriteLog("Plenova Saver", "Copy1", "C:\\a.bin");
    WriteLog("Other Product", "Copy1", "C:\\other.bin");
    Write("C:\\a.bin", "a");
    Write("C:\\other.bin", "o");
    EXPECT_EQ(RunMain("/UNINST Plenova Saver"), 0);
    EXPECT_FALSE(M().Exists("C:\\a.bin"));
    EXPECT_TRUE(M().FileExists("C:\\other.bin"));
    EXPECT_EQ(platform::SettingsStore().Sections("PlenovaSetup"),
              std::vector<std::string>{"Other Product"});
    EXPECT_FALSE(M().Exists("C:\\WINDOWS\\WININIT.INI"));
}

TEST_F(UninstallTest, ExistingWininitGetsOnlyItsLineAppended) {
    WriteLog("Plenova Saver", "Copy1", "C:\\a.bin");
    Write("C:\\WINDOWS\\WININIT.INI", "[rename]\r\nNUL=C:\\old.tmp\r\n");
    EXPECT_EQ(RunMain("/UNINST Plenova Saver"), 0);
    EXPECT_EQ(Read("C:\\WINDOWS\\WININIT.INI"),
              "[rename]\r\nNUL=C:\\old.tmp\r\nNUL=C:\\WINDOWS\\PlenovaSetup.exe\r\n");
}

TEST_F(UninstallTest, AnswerNoChangesNothing) {
    WriteLog("Plenova Saver", "Copy1", "C:\\a.bin");
    Write("C:\\a.bin", "a");
    boxes->Answer(MsgResult::No);
    EXPECT_EQ(RunMain("/UNINST Plenova Saver"), 0);
    EXPECT_TRUE(M().FileExists("C:\\a.bin"));
    EXPECT_TRUE(M().FileExists("C:\\WINDOWS\\PlenovaSaver.scr"));
    EXPECT_EQ(LogValue("Plenova Saver", "Copy1"), "C:\\a.bin");
    EXPECT_TRUE(EntryExists("Plenova Saver"));
    EXPECT_TRUE(windows.Events().empty());
}

TEST_F(UninstallTest, EmptyTitleRemovesOnlyTheSaverFile) {
    WriteLog("Plenova Saver", "Copy1", "C:\\a.bin");
    Write("C:\\a.bin", "a");
    EXPECT_EQ(RunMain("/UNINST"), 0);
    EXPECT_EQ(module.productTitle, "");
    EXPECT_FALSE(M().Exists("C:\\WINDOWS\\PlenovaSaver.scr"));
    EXPECT_TRUE(M().FileExists("C:\\a.bin"));
    EXPECT_EQ(LogValue("Plenova Saver", "Copy1"), "C:\\a.bin");
    EXPECT_TRUE(EntryExists("Plenova Saver"));
    EXPECT_FALSE(M().Exists("C:\\WINDOWS\\WININIT.INI"));
    EXPECT_EQ(BoxTexts().back(), " のアンインストールが終了しました。 ");
}

TEST_F(UninstallTest, SecondUninstallationRemovesOnlyTheSaverFile) {
    WriteLog("Plenova Saver", "Copy1", "C:\\a.bin");
    EXPECT_EQ(RunMain("/UNINST Plenova Saver"), 0);
    Write("C:\\WINDOWS\\PlenovaSaver.scr", "saver again");
    Write("C:\\a.bin", "a new file of the same name");
    EXPECT_EQ(RunMain("/UNINST Plenova Saver"), 0);
    EXPECT_FALSE(M().Exists("C:\\WINDOWS\\PlenovaSaver.scr"));
    EXPECT_TRUE(M().FileExists("C:\\a.bin"));
    // The application key is gone already, so nothing more is scheduled.
    EXPECT_EQ(Read("C:\\WINDOWS\\WININIT.INI"),
              "[rename]\r\nNUL=C:\\WINDOWS\\PlenovaSetup.exe\r\n");
}

// The uninstallation takes only what the installation wrote: a newer file that it only kept and
// a shortcut of another product stay. A reinstallation keeps its own records, so the
// uninstallation after it still removes everything.
TEST_F(UninstallTest, RemovesOnlyWhatTheInstallationWrote) {
    fs::create_directories(temp / "medium");
    M().AddDrive('A', temp / "medium", platform::kDriveRemovable);
    WriteScript("A:\\SETUP.ini", "[SETUP]\r\nTitle=Plenova Saver\r\nDstDir=Saver\r\n"
                                  "Copy1=a.bin\r\nCopy2=b.bin\r\nGroupIcon1=Saver,a.bin\r\n"
                                  "GroupIcon2=Other,b.bin\r\n");
    Write("A:\\a.bin", "a");
    Write("A:\\b.bin", "b");
    SetDate("A:\\b.bin", 1000);
    const std::string programs = "C:\\WINDOWS\\Start Menu\\Programs";
    Write("C:\\Saver\\b.bin", "another's newer b");
    SetDate("C:\\Saver\\b.bin", 2000);
    Write(programs + "\\Other.lnk", "another product's shortcut");

    EXPECT_EQ(RunMain("A:"), 0);
    EXPECT_EQ(Read("C:\\Saver\\b.bin"), "another's newer b");
    EXPECT_EQ(Read(programs + "\\Other.lnk"), "another product's shortcut");
    EXPECT_TRUE(M().FileExists(programs + "\\Saver.lnk"));
    EXPECT_EQ(RunMain("/UNINST Plenova Saver"), 0);
    EXPECT_FALSE(M().Exists("C:\\Saver\\a.bin"));
    EXPECT_FALSE(M().Exists(programs + "\\Saver.lnk"));
    EXPECT_EQ(Read("C:\\Saver\\b.bin"), "another's newer b");
    EXPECT_EQ(Read(programs + "\\Other.lnk"), "another product's shortcut");

    ASSERT_TRUE(M().DeleteFile("C:\\Saver\\b.bin"));
    ASSERT_TRUE(M().DeleteFile(programs + "\\Other.lnk"));
    EXPECT_EQ(RunMain("A:"), 0);
    EXPECT_EQ(RunMain("A:"), 0);  // everything is there already: kept, and still this product's
    EXPECT_EQ(RunMain("/UNINST Plenova Saver"), 0);
    EXPECT_FALSE(M().Exists("C:\\Saver\\a.bin"));
    EXPECT_FALSE(M().Exists("C:\\Saver\\b.bin"));
    EXPECT_FALSE(M().Exists(programs + "\\Saver.lnk"));
    EXPECT_FALSE(M().Exists(programs + "\\Other.lnk"));
}

}  // namespace
}  // namespace plenova::setup::testing
