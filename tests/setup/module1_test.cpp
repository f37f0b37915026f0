// Module1's script handling, mode choice, first stage and installation sequence, run in a
// temporary machine with the scripted windows and the real support library.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "tests/setup/setup_fixture.h"
#include "tests/support/process.h"

namespace plenova::setup::testing {
namespace {

using platform::Hive;

TEST(GetFieldTest, SplitsLikeTheClassicFieldReader) {
    struct Case {
        const char* value;
        int index;
        const char* expected;
    };
    const Case cases[] = {
        {"a.exe,b.exe", 1, "a.exe"},  {"a.exe,b.exe", 2, "b.exe"}, {"a.exe,b.exe", 3, ""},
        {"a.exe", 1, "a.exe"},        {"a.exe", 2, ""},            {"a.exe,,x", 2, ""},
        {"a.exe,,x", 3, "x"},         {"a, b", 2, " b"},           {"", 1, ""},
        {"a,b,", 3, ""},              {"a,b,", 4, ""},             {"背景.bmp,絵.bmp,データ", 3, "データ"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Module1::GetField(c.value, c.index, ","), c.expected)
            << c.value << " field " << c.index;
    // A longer separator: the next field starts one character after the separator's start.
    EXPECT_EQ(Module1::GetField("a::b::c", 2, "::"), ":b");
    EXPECT_EQ(Module1::GetField("a、、b", 2, "、、"), "、b");
}

class SetupTest : public SetupFixture {};

TEST_F(SetupTest, ExpandMacrosReplacesOnlyALeadingCaseSensitiveMacro) {
    struct Case {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {"$WIN", "C:\\WINDOWS"},
        {"$WIN\\Fonts", "C:\\WINDOWS\\Fonts"},
        {"$WINDOWS", "C:\\WINDOWSDOWS"},
        {"$SYSTEM", "C:\\WINDOWS\\SYSTEM"},
        {"$SYSTEM\\x", "C:\\WINDOWS\\SYSTEM\\x"},
        {"$win\\x", "$win\\x"},
        {"x\\$WIN", "x\\$WIN"},
        {"$WIN$SYSTEM", "C:\\WINDOWS$SYSTEM"},
    };
    for (const Case& c : cases) {
        std::string path = c.path;
        EXPECT_EQ(module.ExpandMacros(path), c.expected) << c.path;
        EXPECT_EQ(path, c.expected) << "in place: " << c.path;
    }
}

TEST_F(SetupTest, ScriptSectionsMatchWithoutRegardToCase) {
    module.iniPath = "C:\\SRC\\SETUP.ini";
    WriteScript(module.iniPath, "[setup]\r\nTitle=Saver\r\ndstdir=Games\r\n");
    EXPECT_EQ(module.ReadIni("SETUP", "Title"), "Saver");
    EXPECT_EQ(module.ReadIni("Setup", "DstDir"), "Games");
    module.iniPath = "C:\\SRC\\MISSING.ini";
    EXPECT_EQ(module.ReadIni("SETUP", "Title"), "");
}

// A source folder with a script and one data file; an installation with the given
// destination-dialog answer runs to its end.
class InstallTest : public SetupFixture {
protected:
    void WriteSource(const std::string& folder, const std::string& setupLines) {
        WriteScript(folder + "\\SETUP.ini", "[SETUP]\r\nTitle=Plenova Saver\r\n" + setupLines);
    }
    int Install(const std::string& srcDir) { return RunMain(srcDir); }
};

// A script that is no regular file or is larger than any real one counts as missing: it is
// refused before it is read, so it costs neither time nor memory and never blocks.
TEST_F(InstallTest, ScriptThatIsNoFileOrTooLargeCountsAsMissing) {
    const fs::path folder = Host("C:\\SRC");
    fs::create_directories(folder);
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
    };
    const Case cases[] = {
        {"64 MB", [](const fs::path& p) {
             plenova::testing::WriteAll(p, "[SETUP]\r\nTitle=Plenova Saver\r\n");
             fs::resize_file(p, 64u << 20);
         }},
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder / "SETUP.ini");
        c.make(folder / "SETUP.ini");
        boxes->Clear();
        EXPECT_EQ(Install("C:\\SRC"), 1);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"INIファイルが見つかりません"});
    }
}

// A title that could name another key, and a name the support library cannot take, are
// reported instead of passing unseen.
TEST_F(InstallTest, TitlesAndNamesThatCannotBeUsedAreReported) {
    for (const char* title : {"..\\..\\Other", "Saver\x1b[2J"}) {
        SCOPED_TRACE(title);
        WriteScript("C:\\SRC\\SETUP.ini", std::string("[SETUP]\r\nTitle=") + title + "\r\n");
        boxes->Clear();
        EXPECT_EQ(Install("C:\\SRC"), 1);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                                  "INIファイルの Title に使えない文字 (制御文字または \\) があります"});
        EXPECT_FALSE(windows.BackgroundOpen());
    }
    boxes->Clear();
    EXPECT_EQ(RunMain("/UNINST a\\b"), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "製品名に使えない文字 (制御文字または \\) があります"});

    // A byte that is no Shift-JIS character reads as U+FFFD, which has no Shift-JIS form: the
    // copy reports the file it cannot make.
    Write("C:\\SRC\\SETUP.ini", "[SETUP]\r\nTitle=T\r\nDstDir=Saver\r\nCopy1=a.bin,\x80.bin\r\n");
    Write("C:\\SRC\\a.bin", "a");
    boxes->Clear();
    EXPECT_EQ(Install("C:\\SRC"), 1);
    EXPECT_EQ(BoxTexts().back(), "ﾌｧｲﾙが作成できません\rC:\\Saver\\\xEF\xBF\xBD.bin");
}

TEST_F(InstallTest, DefaultDestinationIsTheWindowsDriveRootAndTheScriptValue) {
    struct Case {
        const char* line;
        const char* expected;
    };
    const Case cases[] = {
        {"DstDir=Program Files\\Saver\r\n", "C:\\Program Files\\Saver"},
        {"DstDir=\r\n", "C:\\"},
        {"", "C:\\"},
    };
    for (const Case& c : cases) {
        WriteSource("C:\\SRC", c.line);
        windows.AnswerPathDialog(PathDialogClose::Closed);
        EXPECT_EQ(Install("C:\\SRC"), 0);
        ASSERT_TRUE(windows.PathRequest());
        EXPECT_EQ(windows.PathRequest()->dstDir, c.expected);
        EXPECT_EQ(windows.PathRequest()->caption, "Plenova Saver Setup");
        // Closed without its buttons: the default stays the destination.
        EXPECT_EQ(module.dstDir, c.expected);
    }
}

TEST_F(InstallTest, UninstPrefixIsCaseSensitive) {
    // In lower case it is a source folder without a script.
    EXPECT_EQ(RunMain("/uninst Plenova Saver"), 1);
    ASSERT_EQ(boxes->Shown().size(), 1u);
    EXPECT_EQ(boxes->Shown()[0].text, "INIファイルが見つかりません");
    EXPECT_EQ(boxes->Shown()[0].caption, "PlenovaSetup");
    EXPECT_EQ(boxes->Shown()[0].icon, MsgIcon::Exclamation);
    EXPECT_FALSE(windows.BackgroundOpen());

    boxes->Clear();
    boxes->Answer(MsgResult::No);
    EXPECT_EQ(RunMain("/UNINST Plenova Saver"), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Plenova Saver をアンインストールしますか？"});
}

TEST_F(InstallTest, WholeInstallationLogsRegistersAndMakesShortcuts) {
    M().AddDrive('A', temp / "medium", platform::kDriveRemovable);
    fs::create_directories(temp / "medium");
    WriteSource("A:",
                "DstDir=Program Files\\Plenova Saver\r\n"
                "Copy1=PlenovaSaver.scr,,$WIN\r\n"
                "Copy2=背景.bmp\r\n"
                "Copy3=a.txt,b.txt,Docs\\Text\r\n"
                "Copy4=c.txt,,Docs\r\n"
                "Group=Plenova Saver\r\n"
                "GroupIcon1=設定,$WIN\\PlenovaSaver.scr,/c\r\n"
                "GroupIcon2=Readme,Docs\\Text\\b.txt,\r\n");
    for (const char* name : {"PlenovaSaver.scr", "背景.bmp", "a.txt", "c.txt"})
        Write(std::string("A:\\") + name, std::string("content of ") + name);

    EXPECT_EQ(Install("A:"), 0);

    const std::string dst = "C:\\Program Files\\Plenova Saver";
    EXPECT_EQ(module.dstDir, dst);
    EXPECT_EQ(Read("C:\\WINDOWS\\PlenovaSaver.scr"), "content of PlenovaSaver.scr");
    EXPECT_EQ(Read(dst + "\\背景.bmp"), "content of 背景.bmp");
    EXPECT_EQ(Read(dst + "\\Docs\\Text\\b.txt"), "content of a.txt");
    EXPECT_EQ(Read(dst + "\\Docs\\c.txt"), "content of c.txt");
    // A removable medium keeps its files.
    EXPECT_TRUE(M().FileExists("A:\\a.txt"));
    EXPECT_TRUE(M().FileExists("A:\\SETUP.ini"));

    const std::vector<std::pair<std::string, std::string>> log = {
        {"MkDir1", dst},
        {"MkDir2", dst + "\\Docs\\Text"},
        {"Copy1", "C:\\WINDOWS\\PlenovaSaver.scr"},
        {"Copy2", dst + "\\背景.bmp"},
        {"Copy3", dst + "\\Docs\\Text\\b.txt"},
        {"Copy4", dst + "\\Docs\\c.txt"},
        {"Group", "C:\\WINDOWS\\Start Menu\\Programs\\Plenova Saver"},
        {"Icon1", "C:\\WINDOWS\\Start Menu\\Programs\\Plenova Saver\\設定.lnk"},
        {"Icon2", "C:\\WINDOWS\\Start Menu\\Programs\\Plenova Saver\\Readme.lnk"},
    };
    for (const auto& [key, value] : log) EXPECT_EQ(LogValue("Plenova Saver", key), value) << key;
    EXPECT_EQ(LogValue("Plenova Saver", "MkDir3"), "");
    EXPECT_TRUE(M().FileExists(log[7].second));
    EXPECT_TRUE(M().FileExists(log[8].second));

    auto registry = platform::CurrentRegistry();
    const std::string key = std::string(kUninstallParent) + "\\Plenova Saver";
    EXPECT_EQ(registry.QueryString(Hive::LocalMachine, key, "DisplayName"), "Plenova Saver");
    EXPECT_EQ(registry.QueryString(Hive::LocalMachine, key, "UninstallString"),
              "C:\\WINDOWS\\PlenovaSetup.exe /UNINST Plenova Saver");
    EXPECT_EQ(platform::ReadSetting("PlenovaSaver", "App", "Dir", ""), dst);

    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"スタートメニューに登録しますか？",
                                                    "セットアップが終了しました"}));
    const auto& events = windows.Events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], "background Plenova Saver Setup");
    EXPECT_EQ(events[1], "path Plenova Saver Setup");
    EXPECT_EQ(events[2], "copy show");
    EXPECT_EQ(events[3], "copy A:\\PlenovaSaver.scr | -> C:\\WINDOWS\\PlenovaSaver.scr");
    EXPECT_NE(std::find(events.begin(), events.end(), "open " + log[6].second), events.end());
    EXPECT_FALSE(windows.PathRequest()->curdirEnabled);
    EXPECT_FALSE(windows.CopyOpen());
    EXPECT_FALSE(windows.WaitOpen());
}

TEST_F(InstallTest, SecondIdenticalInstallationCopiesNothing) {
    WriteSource("C:\\SRC", "DstDir=Saver\r\nCopy1=a.bin\r\nCopy2=b.bin,,Sub\r\n");
    Write("C:\\SRC\\a.bin", "aaaa");
    Write("C:\\SRC\\b.bin", "bbbb");
    // Keep copies of the sources: a fixed-disk source is moved out of its folder.
    fs::copy(Host("C:\\SRC"), temp / "again", fs::copy_options::recursive);
    SetDate("C:\\SRC\\a.bin", 1'000'000);
    SetDate("C:\\SRC\\b.bin", 2'000'000);
    ASSERT_EQ(Install("C:\\SRC"), 0);
    EXPECT_FALSE(M().FileExists("C:\\SRC\\a.bin"));
    EXPECT_FALSE(M().FileExists("C:\\SRC\\SETUP.ini"));
    EXPECT_EQ(M().FileDate("C:\\Saver\\a.bin"), FileTime(std::chrono::seconds(1'000'000)));

    struct stat before[2];
    ::stat(Host("C:\\Saver\\a.bin").c_str(), &before[0]);
    ::stat(Host("C:\\Saver\\Sub\\b.bin").c_str(), &before[1]);
    fs::copy(temp / "again", Host("C:\\SRC"), fs::copy_options::recursive);
    SetDate("C:\\SRC\\a.bin", 1'000'000);
    SetDate("C:\\SRC\\b.bin", 2'000'000);
    ASSERT_EQ(Install("C:\\SRC"), 0);
    struct stat after[2];
    ::stat(Host("C:\\Saver\\a.bin").c_str(), &after[0]);
    ::stat(Host("C:\\Saver\\Sub\\b.bin").c_str(), &after[1]);
    EXPECT_EQ(before[0].st_ino, after[0].st_ino);
    EXPECT_EQ(before[1].st_ino, after[1].st_ino);
    // Both installations record the same keys; no folder was made the second time.
    EXPECT_EQ(LogValue("Plenova Saver", "Copy2"), "C:\\Saver\\Sub\\b.bin");
    EXPECT_EQ(LogValue("Plenova Saver", "MkDir1"), "C:\\Saver");
}

TEST_F(InstallTest, CurrentFolderChoiceLeavesPlainEntriesAndMovesSubfolderOnes) {
    WriteSource("C:\\SRC",
                "Copy1=a.bin\r\nCopy2=b.bin,,Sub\r\n[BOOT]\r\nCopy1=boot.bin,,$SYSTEM\r\n");
    for (const char* name : {"a.bin", "b.bin", "boot.bin", "PlenovaSetup.exe", "TAVORIN.DLL"})
        Write(std::string("C:\\SRC\\") + name, name);
    windows.AnswerPathDialog(PathDialogClose::Start, "C:\\Elsewhere", true);

    ASSERT_EQ(Install("C:\\SRC"), 0);
    EXPECT_TRUE(windows.PathRequest()->curdirEnabled);
    EXPECT_EQ(module.dstDir, "C:\\SRC");
    EXPECT_FALSE(M().Exists("C:\\Elsewhere"));
    EXPECT_EQ(Read("C:\\SRC\\a.bin"), "a.bin");
    EXPECT_EQ(Read("C:\\SRC\\Sub\\b.bin"), "b.bin");
    EXPECT_FALSE(M().FileExists("C:\\SRC\\b.bin"));
    EXPECT_EQ(LogValue("Plenova Saver", "Copy1"), "C:\\SRC\\a.bin");
    EXPECT_EQ(LogValue("Plenova Saver", "MkDir1"), "C:\\SRC\\Sub");
    // The first stage's files are cleaned out of the source folder.
    for (const char* name : {"boot.bin", "PlenovaSetup.exe", "TAVORIN.DLL", "SETUP.ini"})
        EXPECT_FALSE(M().FileExists(std::string("C:\\SRC\\") + name)) << name;
}

TEST_F(InstallTest, SameFolderInAnotherLetterCaseKeepsTheFiles) {
    WriteSource("C:\\SRC", "Copy1=a.bin\r\n");
    Write("C:\\SRC\\a.bin", "data");
    windows.AnswerPathDialog(PathDialogClose::Start, "c:\\src");
    ASSERT_EQ(Install("C:\\SRC"), 0);
    EXPECT_EQ(Read("C:\\SRC\\a.bin"), "data");
    EXPECT_EQ(LogValue("Plenova Saver", "Copy1"), "c:\\src\\a.bin");
}

TEST_F(InstallTest, CancelDuringTheCopyKeepsWhatIsDoneAndLogged) {
    fs::create_directories(temp / "medium");
    M().AddDrive('A', temp / "medium", platform::kDriveRemovable);
    WriteSource("A:", "DstDir=Saver\r\nCopy1=a.bin\r\nCopy2=b.bin\r\nCopy3=c.bin\r\n");
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        Write(std::string("A:\\") + name, std::string(2 * kCopyBlockBytes, name[0]));
    // Pumps: 1 after showing the copy window; 2 to 4 for a.bin; 5 before b.bin, 6 after its
    // first block.
    windows.StopAtPump(6);

    EXPECT_EQ(Install("A:"), 1);
    EXPECT_EQ(Read("C:\\Saver\\a.bin"), std::string(2 * kCopyBlockBytes, 'a'));
    EXPECT_FALSE(M().Exists("C:\\Saver\\b.bin"));
    EXPECT_EQ(LogValue("Plenova Saver", "Copy1"), "C:\\Saver\\a.bin");
    EXPECT_EQ(LogValue("Plenova Saver", "Copy2"), "");
    EXPECT_TRUE(platform::CurrentRegistry().KeyExists(
        Hive::LocalMachine, std::string(kUninstallParent) + "\\Plenova Saver"));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"セットアップを中止しますか"});
    EXPECT_EQ(platform::ReadSetting("PlenovaSaver", "App", "Dir", ""), "");
}

TEST_F(InstallTest, ListStartingWithAGapIsEmpty) {
    WriteSource("C:\\SRC", "DstDir=Saver\r\nCopy2=b.bin\r\nGroupIcon2=B,b.bin,\r\n");
    Write("C:\\SRC\\b.bin", "b");
    EXPECT_EQ(Install("C:\\SRC"), 0);
    EXPECT_FALSE(M().Exists("C:\\Saver"));
    EXPECT_EQ(LogValue("Plenova Saver", "Copy2"), "");
    // Without GroupIcon1 there is no Start-menu question.
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"セットアップが終了しました"});
}

TEST_F(InstallTest, CancelInTheDestinationDialogEndsBeforeAnyRecord) {
    WriteSource("C:\\SRC", "Copy1=a.bin\r\n");
    Write("C:\\SRC\\a.bin", "data");
    windows.AnswerPathDialog(PathDialogClose::Cancel);
    EXPECT_EQ(Install("C:\\SRC"), 0);
    EXPECT_FALSE(platform::CurrentRegistry().KeyExists(Hive::LocalMachine, kUninstallParent));
    EXPECT_EQ(LogValue("Plenova Saver", "Copy1"), "");
    EXPECT_TRUE(M().FileExists("C:\\SRC\\a.bin"));
}

TEST_F(InstallTest, MissingSourceEndsWithItsNoticeAndKeepsTheEntry) {
    WriteSource("C:\\SRC", "DstDir=Saver\r\nCopy1=a.bin\r\nCopy2=gone.bin\r\nCopy3=c.bin\r\n");
    Write("C:\\SRC\\a.bin", "a");
    Write("C:\\SRC\\c.bin", "c");
    EXPECT_EQ(Install("C:\\SRC"), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ﾌｧｲﾙが開けません\rC:\\SRC\\gone.bin"});
    EXPECT_EQ(boxes->Shown()[0].icon, MsgIcon::None);
    EXPECT_EQ(LogValue("Plenova Saver", "Copy1"), "C:\\Saver\\a.bin");
    EXPECT_EQ(LogValue("Plenova Saver", "Copy2"), "");
    EXPECT_TRUE(platform::CurrentRegistry().KeyExists(
        Hive::LocalMachine, std::string(kUninstallParent) + "\\Plenova Saver"));
    EXPECT_FALSE(M().FileExists("C:\\Saver\\c.bin"));
}

TEST_F(InstallTest, UndeletableSourceEndsOnlyTheCopyStep) {
    WriteSource("C:\\SRC", "DstDir=Saver\r\nCopy1=a.bin\r\nCopy2=locked.bin\r\nCopy3=c.bin\r\n"
                           "GroupIcon1=A,a.bin,\r\n");
    Write("C:\\SRC\\a.bin", "a");
    Write("C:\\SRC\\locked.bin", "l");
    Write("C:\\SRC\\c.bin", "c");
    fs::permissions(Host("C:\\SRC\\locked.bin"), fs::perms::owner_write, fs::perm_options::remove);

    EXPECT_EQ(Install("C:\\SRC"), 0);
    EXPECT_EQ(Read("C:\\Saver\\locked.bin"), "l");
    EXPECT_TRUE(M().FileExists("C:\\SRC\\locked.bin"));
    EXPECT_EQ(LogValue("Plenova Saver", "Copy1"), "C:\\Saver\\a.bin");
    EXPECT_EQ(LogValue("Plenova Saver", "Copy2"), "");
    EXPECT_FALSE(M().FileExists("C:\\Saver\\c.bin"));
    // No message for it; the sequence goes on with the Start menu and the end.
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"スタートメニューに登録しますか？",
                                                    "セットアップが終了しました"}));
    EXPECT_EQ(LogValue("Plenova Saver", "Icon1"), "C:\\WINDOWS\\Start Menu\\Programs\\A.lnk");
    EXPECT_EQ(platform::ReadSetting("PlenovaSaver", "App", "Dir", ""), "C:\\Saver");
}

TEST_F(InstallTest, StartMenuWithoutGroupAndWithANestedGroup) {
    WriteSource("C:\\SRC", "DstDir=Saver\r\nGroupIcon1=Saver,x.scr,/c\r\n");
    EXPECT_EQ(Install("C:\\SRC"), 0);
    const std::string programs = "C:\\WINDOWS\\Start Menu\\Programs";
    EXPECT_EQ(LogValue("Plenova Saver", "Group"), "");
    EXPECT_EQ(LogValue("Plenova Saver", "Icon1"), programs + "\\Saver.lnk");
    const auto& events = windows.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "open " + programs), events.end());

    WriteSource("C:\\SRC", "DstDir=Saver\r\nGroup=Games\\Space\r\nGroupIcon1=Saver,x.scr,\r\n");
    EXPECT_EQ(Install("C:\\SRC"), 0);
    EXPECT_TRUE(M().FolderExists(programs + "\\Games\\Space"));
    EXPECT_EQ(LogValue("Plenova Saver", "Group"), programs + "\\Games\\Space");
    EXPECT_TRUE(M().FileExists(programs + "\\Games\\Space\\Saver.lnk"));

    // Answering No skips the step.
    boxes->Answer(MsgResult::No);
    WriteSource("C:\\SRC", "Title=Other\r\nGroupIcon1=Saver,x.scr,\r\n");
    WriteScript("C:\\SRC\\SETUP.ini", "[SETUP]\r\nTitle=Other\r\nGroupIcon1=Saver,x.scr,\r\n");
    EXPECT_EQ(Install("C:\\SRC"), 0);
    EXPECT_EQ(LogValue("Other", "Icon1"), "");
}

TEST_F(InstallTest, EmptyTitleRecordsNothingAndTouchesNoOtherProduct) {
    WriteLog("Other", "Copy1", "C:\\other.bin");
    auto registry = platform::CurrentRegistry();
    registry.SetString(Hive::LocalMachine, std::string(kUninstallParent) + "\\Other",
                       "DisplayName", "Other");
    WriteScript("C:\\SRC\\SETUP.ini", "[SETUP]\r\nDstDir=Saver\r\nCopy1=a.bin\r\n"
                                      "GroupIcon1=A,a.bin,\r\n");
    Write("C:\\SRC\\a.bin", "a");

    EXPECT_EQ(Install("C:\\SRC"), 0);
    EXPECT_EQ(Read("C:\\Saver\\a.bin"), "a");
    EXPECT_EQ(registry.SubKeys(Hive::LocalMachine, kUninstallParent),
              std::vector<std::string>{"Other"});
    EXPECT_TRUE(registry.Values(Hive::LocalMachine, kUninstallParent)->empty());
    EXPECT_EQ(platform::SettingsStore().Sections("PlenovaSetup"),
              std::vector<std::string>{"Other"});
    EXPECT_TRUE(registry.Values(Hive::CurrentUser, "Software\\PlenovaSetup")->empty());
}

TEST_F(InstallTest, PathsThatLookLikeHostPathsStayInsideTheMachine) {
    const std::string marker = "plenova-setup-outside-" + std::to_string(::getpid());
    WriteSource("C:\\SRC", "Copy1=a.bin,,/tmp/" + marker + "\r\nCopy2=b.bin,,..\\..\\..\\up\r\n");
    Write("C:\\SRC\\a.bin", "a");
    Write("C:\\SRC\\b.bin", "b");
    ASSERT_TRUE(M().SetCurrentFolder("C:\\WINDOWS"));
    windows.AnswerPathDialog(PathDialogClose::Start, "/" + marker);

    EXPECT_EQ(Install("C:\\SRC"), 1);
    EXPECT_FALSE(fs::exists("/" + marker));
    EXPECT_FALSE(fs::exists("/tmp/" + marker));
    EXPECT_EQ(module.dstDir, "\\" + marker);
    EXPECT_EQ(Read("C:\\" + marker + "\\a.bin"), "");  // "/tmp/..." is below dstDir
    EXPECT_EQ(Read("C:\\" + marker + "\\tmp\\" + marker + "\\a.bin"), "a");
    // A subfolder that climbs out of the destination is refused, and nothing is written there.
    EXPECT_FALSE(M().Exists("C:\\up"));
    EXPECT_EQ(BoxTexts().back(),
              "ﾌｫﾙﾀﾞが作成できません\r\\" + marker + "\\..\\..\\..\\up");
}

// ----- first stage -----

class BootstrapTest : public SetupFixture {
protected:
    BootstrapTest() {
        fs::create_directories(temp / "medium");
        M().AddDrive('A', temp / "medium", platform::kDriveRemovable);
        M().SetProgramPath("A:\\PlenovaSetup.exe");
        fs::copy_file(PLENOVA_TAVORIN, temp / "medium" / "TAVORIN.DLL");
    }
    // A stand-in second stage that writes its command line into the folder it starts in.
    void WriteStageProgram() {
        Write("A:\\PlenovaSetup.exe", "#!/bin/sh\nprintf '%s' \"$1\" > started.txt\n");
    }
};

TEST_F(BootstrapTest, RootOfDriveACopiesAndStartsTheSecondStageWithA) {
    WriteStageProgram();
    WriteScript("A:\\SETUP.ini", "[BOOT]\r\nCopy1=boot.bin,booted.bin,$SYSTEM\r\n"
                                 "Copy2=font.bin,,$WIN\r\n");
    Write("A:\\boot.bin", "boot");
    Write("A:\\font.bin", "font");

    EXPECT_EQ(RunMain(""), 0);
    EXPECT_EQ(module.srcDir, "A:");
    EXPECT_EQ(module.iniPath, "A:\\SETUP.ini");
    EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM\\booted.bin"), "boot");
    EXPECT_EQ(Read("C:\\WINDOWS\\font.bin"), "font");
    EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"), Read("A:\\TAVORIN.DLL"));
    EXPECT_TRUE(M().FileExists("C:\\WINDOWS\\PlenovaSetup.exe"));
    EXPECT_EQ(M().CurrentFolder(), "C:\\WINDOWS");
    EXPECT_EQ(windows.Events(), (std::vector<std::string>{"wait 初期化中...", "wait hourglass",
                                                          "wait hide"}));
    EXPECT_TRUE(boxes->Shown().empty());
    // The boot list is not logged.
    EXPECT_TRUE(platform::SettingsStore().Sections("PlenovaSetup").empty());

    const fs::path started = Host("C:\\WINDOWS") / "started.txt";
    plenova::testing::WaitUntil([&] { return !plenova::testing::ReadAll(started).empty(); },
                                std::chrono::seconds(5));
    EXPECT_EQ(plenova::testing::ReadAll(started), "A:");
}

TEST_F(BootstrapTest, SecondStageThatCannotStartEndsWithAWarningAndNoWindow) {
    Write("A:\\PlenovaSetup.exe", "not a program");
    WriteScript("A:\\SETUP.ini", "[SETUP]\r\nTitle=X\r\n");
    EXPECT_EQ(RunMain(""), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "セットアッププログラムを起動できません\rC:\\WINDOWS\\PlenovaSetup.exe"});
    EXPECT_EQ(boxes->Shown()[0].icon, MsgIcon::Exclamation);
    EXPECT_FALSE(windows.WaitOpen());
}

TEST_F(BootstrapTest, MissingScriptOrFailedRegistrationOrCopy) {
    WriteStageProgram();
    EXPECT_EQ(RunMain(""), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"INIファイルが見つかりません"});
    EXPECT_FALSE(M().FileExists("C:\\WINDOWS\\PlenovaSetup.exe"));

    // A file that is no library: a warning, and the list goes on.
    boxes->Clear();
    WriteScript("A:\\SETUP.ini", "[BOOT]\r\nCopy1=x.ocx,,$SYSTEM,REGIST\r\n"
                                 "Copy2=y.bin,,$SYSTEM,regist\r\nCopy3=missing.bin,,$WIN\r\n");
    Write("A:\\x.ocx", "not a library");
    Write("A:\\y.bin", "y");
    EXPECT_EQ(RunMain(""), 1);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "C:\\WINDOWS\\SYSTEM\\x.ocxの登録に失敗しました",
                              "ﾌｧｲﾙが開けません\rA:\\missing.bin"}));
    EXPECT_EQ(boxes->Shown()[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM\\y.bin"), "y");
    // The second stage is not started after a failed copy.
    EXPECT_FALSE(fs::exists(Host("C:\\WINDOWS") / "started.txt"));
}

// A library whose self-registration crashes costs its registration only: the warning, then the
// rest of the list and the second stage.
TEST_F(BootstrapTest, RegistrationThatCrashesWarnsAndTheFirstStageGoesOn) {
    WriteStageProgram();
    WriteScript("A:\\SETUP.ini", "[BOOT]\r\nCopy1=crash.ocx,,$SYSTEM,REGIST\r\n"
                                 "Copy2=y.bin,,$SYSTEM\r\n");
    fs::copy_file(TAVORIN_REGISTER_CRASH_LIBRARY, Host("A:\\crash.ocx"));
    Write("A:\\y.bin", "y");
    EXPECT_EQ(RunMain(""), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "C:\\WINDOWS\\SYSTEM\\crash.ocxの登録に失敗しました"});
    EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM\\y.bin"), "y");
    const fs::path started = Host("C:\\WINDOWS") / "started.txt";
    EXPECT_TRUE(plenova::testing::WaitUntil(
        [&] { return !plenova::testing::ReadAll(started).empty(); }, std::chrono::seconds(5)));
}

TEST_F(BootstrapTest, MissingSupportLibraryIsNamedClearly) {
    fs::remove(temp / "medium" / "TAVORIN.DLL");
    fs::remove(Host("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"));
    WriteStageProgram();
    WriteScript("A:\\SETUP.ini", "[BOOT]\r\n");
    // The program's copy finds no destination to compare with; the date copy needs the library.
    try {
        module.Main("");
        FAIL() << "Main returned";
    } catch (const SupportLibraryError& error) {
        EXPECT_NE(std::string(error.what()).find("TAVORIN.DLL"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("C:\\WINDOWS\\SYSTEM"), std::string::npos);
    } catch (const ProcessEnded&) {
        FAIL() << "ended without naming the library";
    }
}

TEST_F(SetupTest, SupportLibraryThatIsNoLibraryOrLacksAFunctionIsNamed) {
    Dl_info info{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&::getpid), &info), 0);
    struct Case {
        std::string library;  // what lies in the system folder as TAVORIN.DLL
        std::string expected;
    };
    const Case cases[] = {
        {"", "TAVORIN.DLL に関数 CompareVersion がありません\rC:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"},
        {"not a library", "TAVORIN.DLL を読み込めません\r"},
    };
    for (const Case& c : cases) {
        SupportLibrary library;
        fs::remove(Host("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"));
        if (c.library.empty())
            fs::copy_file(info.dli_fname, Host("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"));
        else
            Write("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL", c.library);
        try {
            library.CopyFileDateTime("C:\\a", "C:\\b");
            ADD_FAILURE() << c.expected;
        } catch (const SupportLibraryError& error) {
            EXPECT_TRUE(std::string(error.what()).starts_with(c.expected)) << error.what();
        }
    }
}

// ----- window logic -----

TEST_F(SetupTest, WindowLogicForwardedByTheForms) {
    struct Controls : PathDialogControls {
        bool checked = false;
        bool enabled = false;
        bool CurdirChecked() const override { return checked; }
        void SetDestinationEnabled(bool e) override { enabled = e; }
    } controls;
    Module1::UpdateCurdirState(controls);
    EXPECT_TRUE(controls.enabled);
    controls.checked = true;
    Module1::UpdateCurdirState(controls);
    EXPECT_FALSE(controls.enabled);

    fs::create_directories(Host("C:\\Games"));
    EXPECT_EQ(module.BrowseStartFolder("C:\\Games"), "C:\\Games");
    EXPECT_EQ(module.BrowseStartFolder("C:\\No Such Folder"), "C:\\");

    boxes->Answer(MsgResult::No);
    module.CmdStopClick();
    EXPECT_EQ(module.cancelRequested, 0);
    module.CmdStopClick();
    EXPECT_EQ(module.cancelRequested, -1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(2, "セットアップを中止しますか"));
    EXPECT_EQ(boxes->Shown()[0].buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(boxes->Shown()[0].icon, MsgIcon::Question);
}

TEST(BackgroundTest, BandsCoverTheWindowFromGreenToBlack) {
    const auto bands = Module1::BackgroundBands(1920 * 15, 1080 * 15, 15, 15);
    ASSERT_EQ(bands.size(), 256u);
    EXPECT_EQ(bands[0].top, 0);
    EXPECT_EQ(bands[0].bottom, 4);  // 1080 / 256 truncated
    EXPECT_EQ(bands[0].colour, 0x00FF00u);
    EXPECT_EQ(bands[255].bottom, 1080);
    EXPECT_EQ(bands[255].colour, 0u);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        EXPECT_EQ(bands[i].left, 0);
        EXPECT_EQ(bands[i].right, 1920);
        if (i > 0) {
            EXPECT_EQ(bands[i].top, bands[i - 1].bottom) << i;
        }
    }
    // The width rounds half to even; the height is not rounded before the bands.
    EXPECT_EQ(Module1::BackgroundBands(100.5 * 15, 300, 15, 15)[0].right, 100);
    EXPECT_EQ(Module1::BackgroundBands(101.5 * 15, 300, 15, 15)[0].right, 102);
    EXPECT_EQ(Module1::BackgroundBands(15, 512.5 * 12, 15, 12)[255].bottom, 512);
}

TEST(SetupAnswersTest, ParsesTheLineFormatAndNamesBadLines) {
    const SetupAnswers answers = SetupAnswers::Parse(
        "# comment\r\n\r\npath start C:\\Program Files\\X\r\nbox no\nbox yes\nstop 7\nstop 3\n");
    EXPECT_EQ(answers.pathHow, PathDialogClose::Start);
    EXPECT_EQ(answers.pathText, "C:\\Program Files\\X");
    EXPECT_EQ(answers.boxes, (std::vector<MsgResult>{MsgResult::No, MsgResult::Yes}));
    EXPECT_EQ(answers.stopAtPumps, (std::set<int>{3, 7}));
    EXPECT_TRUE(SetupAnswers::Parse("path curdir").curdirChecked);
    EXPECT_EQ(SetupAnswers::Parse("path cancel").pathHow, PathDialogClose::Cancel);
    EXPECT_FALSE(SetupAnswers::Parse("path start").pathText);

    for (const char* bad : {"path", "path open", "box maybe", "stop", "stop 0", "stop -1",
                            "stop 99999999999", "click 3", "path cancel now"}) {
        try {
            SetupAnswers::Parse(std::string("box yes\n") + bad + "\n");
            ADD_FAILURE() << bad;
        } catch (const AnswersError& error) {
            EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos) << bad;
        }
    }
}

}  // namespace
}  // namespace plenova::setup::testing
