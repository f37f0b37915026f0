#include "platform/machine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::KeepWorkingFolder;
using plenova::testing::ReadAll;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;

namespace {

class MachineTest : public ::testing::Test {
protected:
    TempFolder temp;
    KeepWorkingFolder keepCwd;
    fs::path root = temp.Path() / "machine";
    fs::path floppy = temp.Path() / "floppy";
    Machine m{root};
    fs::path c = root / "drive_c";

    void SetUp() override {
        fs::create_directories(floppy);
        m.AddDrive('a', floppy, kDriveRemovable);
    }
};

TEST_F(MachineTest, FreshMachineHasItsWindowsFolders) {
    EXPECT_TRUE(fs::is_directory(c / "WINDOWS" / "SYSTEM"));
    EXPECT_TRUE(fs::is_directory(c / "WINDOWS" / "Start Menu" / "Programs"));
    EXPECT_EQ(m.WindowsFolder(), "C:\\WINDOWS");
    EXPECT_EQ(m.SystemFolder(), "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(m.ProgramsFolder(), "C:\\WINDOWS\\Start Menu\\Programs");
    EXPECT_TRUE(m.FolderExists(m.ProgramsFolder()));
    struct stat st;
    ASSERT_EQ(::stat(root.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Removed folders come back when asked for.
    fs::remove_all(c / "WINDOWS");
    EXPECT_FALSE(m.FolderExists("C:\\WINDOWS\\SYSTEM"));
    EXPECT_EQ(m.SystemFolder(), "C:\\WINDOWS\\SYSTEM");
    EXPECT_TRUE(fs::is_directory(c / "WINDOWS" / "SYSTEM"));
}

TEST(MachineFolders, ExistingFoldersInAnotherCaseAreReused) {
    TempFolder temp;
    fs::create_directories(temp.Path() / "drive_c" / "windows" / "system");
    Machine m(temp.Path());
    EXPECT_FALSE(fs::exists(temp.Path() / "drive_c" / "WINDOWS"));
    EXPECT_TRUE(fs::is_directory(temp.Path() / "drive_c" / "windows" / "Start Menu" / "Programs"));
    EXPECT_EQ(m.ToHost("C:\\WINDOWS\\SYSTEM"), temp.Path() / "drive_c" / "windows" / "system");
}

TEST_F(MachineTest, ComponentsAreFoundWithoutRegardToCaseAndNewNamesKeptAsWritten) {
    WriteAll(c / "WINDOWS" / "SCR.wav", "x");
    EXPECT_EQ(m.ToHost("c:\\windows\\Scr.WAV"), c / "WINDOWS" / "SCR.wav");
    EXPECT_EQ(m.ToHost("C:/windows/scr.wav"), c / "WINDOWS" / "SCR.wav");
    EXPECT_TRUE(m.FileExists("C:\\Windows\\scr.wav"));
    // Once a component is missing, it and everything after it stay as written.
    EXPECT_EQ(m.ToHost("C:\\windows\\New Dir\\system\\A.txt"), c / "WINDOWS" / "New Dir" / "system" / "A.txt");
    // An exact match wins; otherwise the first match in byte order.
    WriteAll(c / "a.txt", "lower");
    WriteAll(c / "A.TXT", "upper");
    EXPECT_EQ(m.ToHost("C:\\a.txt"), c / "a.txt");
    EXPECT_EQ(m.ToHost("C:\\A.TXT"), c / "A.TXT");
    EXPECT_EQ(m.ToHost("C:\\a.TXT"), c / "A.TXT");
    // Non-ASCII names fold too (Latin-1 and fullwidth letters), Japanese stays exact.
    WriteAll(c / "Ärger背景.bmp", "x");
    EXPECT_EQ(m.ToHost("C:\\äRGER背景.BMP"), c / "Ärger背景.bmp");
}

// A folder unchanged for long is not looked through again at every lookup; a name that another
// program adds or removes there later must still be seen.
TEST_F(MachineTest, NamesChangedBehindOurBackInALongUnchangedFolderAreSeen) {
    const fs::path folder = c / "Data";
    fs::create_directories(folder);
    WriteAll(folder / "SCR.wav", "x");
    const timespec longAgo[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), longAgo, 0), 0);
    EXPECT_TRUE(m.FileExists("C:\\data\\Scr.wav"));
    EXPECT_FALSE(m.FileExists("C:\\data\\Other.wav"));

    WriteAll(folder / "OTHER.wav", "y");  // not through the machine
    EXPECT_TRUE(m.FileExists("C:\\data\\Other.wav"));
    fs::remove(folder / "SCR.wav");
    EXPECT_FALSE(m.FileExists("C:\\data\\Scr.wav"));
}

TEST_F(MachineTest, DriveRootWithAndWithoutBackslash) {
    EXPECT_EQ(m.ToHost("A:"), floppy);
    EXPECT_EQ(m.ToHost("A:\\"), floppy);
    EXPECT_EQ(m.ToHost("a:\\SETUP.ini"), floppy / "SETUP.ini");
    EXPECT_EQ(m.ToHost("C:"), c);
    EXPECT_EQ(m.DriveType("A:"), kDriveRemovable);
    EXPECT_EQ(m.DriveType("A:\\"), kDriveRemovable);
    EXPECT_EQ(m.DriveType("a:\\x"), kDriveRemovable);
    EXPECT_EQ(m.DriveType("C:\\"), kDriveFixed);
    EXPECT_EQ(m.DriveType("Z:\\"), kDriveFixed);
    EXPECT_EQ(m.FullPath("A:"), "A:\\");
}

TEST_F(MachineTest, UnmappedDrivesAndNetworkPathsFailClearly) {
    for (const char* p : {"Q:\\x", "Q:", "\\\\server\\share\\x", "\\\\server\\share", "//server/share/x",
                          "\\\\?\\C:\\x", "\\\\.\\COM1", ""}) {
        SCOPED_TRACE(p);
        EXPECT_FALSE(m.ToHost(p).has_value());
        EXPECT_FALSE(m.FullPath(p).has_value());
        EXPECT_FALSE(m.FileExists(p));
        EXPECT_FALSE(m.FolderExists(p));
        EXPECT_FALSE(m.MakeFolder(p));
        EXPECT_FALSE(m.MakeFolders(p));
        EXPECT_FALSE(m.FileLength(p).has_value());
        EXPECT_FALSE(m.DeleteFile(p));
    }
    EXPECT_EQ(m.DriveType("Q:\\"), kDriveNoRootDir);
    EXPECT_EQ(m.DriveType("\\\\server\\share\\"), kDriveNoRootDir);
    EXPECT_EQ(m.DriveType("x"), kDriveNoRootDir);
    EXPECT_EQ(m.DriveType("1:\\"), kDriveNoRootDir);
}

TEST_F(MachineTest, DotAndDotDotComponents) {
    EXPECT_EQ(m.ToHost("C:\\WINDOWS\\..\\..\\..\\x"), c / "x");
    EXPECT_EQ(m.ToHost("C:\\a\\.\\b\\..\\c"), c / "a" / "c");
    EXPECT_EQ(m.ToHost("A:\\..\\SETUP.ini"), floppy / "SETUP.ini");  // cannot climb out of a drive
    EXPECT_EQ(m.FullPath("c:\\windows\\system\\.."), "C:\\windows");
    EXPECT_EQ(m.ToHost("/etc/../etc/./passwd"), fs::path("/etc/passwd"));
}

TEST_F(MachineTest, HostPathsAreNamedOnTheirDrive) {
    EXPECT_EQ(m.ToWindows(c / "WINDOWS"), "C:\\WINDOWS");
    EXPECT_EQ(m.ToWindows(c), "C:\\");
    EXPECT_EQ(m.ToWindows(c / "WINDOWS" / "x" / ".." / "y"), "C:\\WINDOWS\\y");
    EXPECT_EQ(m.ToWindows(floppy / "SETUP.ini"), "A:\\SETUP.ini");
    EXPECT_EQ(m.ToWindows(floppy), "A:\\");
    EXPECT_EQ(m.ToWindows("/etc/passwd"), "Z:\\etc\\passwd");
    EXPECT_EQ(m.ToWindows("/"), "Z:\\");
    // A drive inside another: the longest match names it.
    fs::create_directories(c / "sub");
    m.AddDrive('D', c / "sub", kDriveCdRom);
    EXPECT_EQ(m.ToWindows(c / "sub" / "x"), "D:\\x");
    EXPECT_EQ(m.DriveType("D:\\"), kDriveCdRom);
    // A folder name that only resembles a drive folder is not inside it.
    fs::create_directories(temp.Path() / "floppy2");
    EXPECT_EQ(m.ToWindows(temp.Path() / "floppy2")[0], 'Z');
    // Z: leads back to the host path, whatever the case written.
    EXPECT_EQ(m.ToHost("z:\\ETC\\PASSWD"), fs::path("/etc/passwd"));
}

TEST_F(MachineTest, HostPathsReachedThroughALinkAreStillNamedOnTheirDrive) {
    fs::create_symlink(root, temp.Path() / "link");
    EXPECT_EQ(m.ToWindows(temp.Path() / "link" / "drive_c" / "WINDOWS"), "C:\\WINDOWS");
}

TEST_F(MachineTest, DriveTableKeepsUnknownLinesAndSurvivesBadOnes) {
    WriteAll(m.DriveTablePath(),
             "# my drives\n"
             "A: 2 " + floppy.string() + "\n"
             "C: 2 /tmp\n"          // C: cannot be changed
             "B: 9 /tmp\n"          // no such type
             "garbage line\n"
             "E: 5 media/cd rom\n"  // relative to the root, blanks kept
             "\n");
    Machine again(root);
    EXPECT_EQ(again.DriveType("C:"), kDriveFixed);
    EXPECT_EQ(again.ToHost("C:"), c);
    EXPECT_EQ(again.DriveType("B:"), kDriveNoRootDir);
    ASSERT_TRUE(again.FindDrive('e'));
    EXPECT_EQ(again.FindDrive('e')->hostFolder, root / "media" / "cd rom");
    EXPECT_EQ(again.DriveType("e:"), kDriveCdRom);
    again.AddDrive('F', temp.Path(), kDriveRemote);
    EXPECT_TRUE(again.RemoveDrive('a'));
    EXPECT_FALSE(again.RemoveDrive('a'));
    EXPECT_FALSE(again.RemoveDrive('C'));
    const std::string table = ReadAll(m.DriveTablePath());
    EXPECT_NE(table.find("# my drives\n"), std::string::npos);
    EXPECT_NE(table.find("garbage line\n"), std::string::npos);
    EXPECT_NE(table.find("B: 9 /tmp\n"), std::string::npos);
    EXPECT_EQ(table.find("A: 2"), std::string::npos);
    Machine third(root);
    EXPECT_EQ(third.DriveType("F:"), kDriveRemote);
    EXPECT_EQ(third.DriveType("A:"), kDriveNoRootDir);
    EXPECT_THROW(third.AddDrive('C', temp.Path(), 3), std::invalid_argument);
    EXPECT_THROW(third.AddDrive('G', temp.Path(), 7), std::invalid_argument);
    EXPECT_THROW(third.AddDrive('1', temp.Path(), 3), std::invalid_argument);
}

TEST_F(MachineTest, CurrentDriveAndFolder) {
    ASSERT_TRUE(m.SetCurrentFolder("c:\\windows"));
    EXPECT_EQ(m.CurrentFolder(), "C:\\WINDOWS");
    EXPECT_EQ(fs::current_path(), c / "WINDOWS");
    EXPECT_EQ(m.ToHost("system"), c / "WINDOWS" / "SYSTEM");
    EXPECT_EQ(m.ToHost("..\\x"), c / "x");
    EXPECT_EQ(m.ToHost("\\x"), c / "x");
    EXPECT_EQ(m.DriveType(""), kDriveFixed);
    EXPECT_FALSE(m.SetCurrentFolder("C:\\NoSuchFolder"));
    EXPECT_FALSE(m.SetCurrentFolder("Q:\\"));
    EXPECT_EQ(m.CurrentFolder(), "C:\\WINDOWS");

    ASSERT_TRUE(m.SetCurrentDrive("A:"));
    EXPECT_EQ(m.CurrentFolder(), "A:\\");
    EXPECT_EQ(m.DriveType(""), kDriveRemovable);
    EXPECT_EQ(m.ToHost("SETUP.ini"), floppy / "SETUP.ini");
    EXPECT_EQ(m.ToHost("C:system"), c / "WINDOWS" / "SYSTEM");  // C:'s own current folder
    ASSERT_TRUE(m.SetCurrentDrive("c"));
    EXPECT_EQ(m.CurrentFolder(), "C:\\WINDOWS");
    EXPECT_FALSE(m.SetCurrentDrive("Q:"));
    EXPECT_FALSE(m.SetCurrentDrive(""));
}

TEST_F(MachineTest, ProgramFolderAndName) {
    EXPECT_EQ(m.ProgramName(), "platform_machine_tests");
    EXPECT_EQ(m.ToHost(m.ProgramFolder() + "\\" + m.ProgramFileName()), fs::read_symlink("/proc/self/exe"));
    m.SetProgramPath("a:\\PlenovaSetup.exe");
    EXPECT_EQ(m.ProgramFolder(), "A:\\");
    EXPECT_EQ(m.ProgramName(), "PlenovaSetup");
    EXPECT_EQ(m.ProgramFileName(), "PlenovaSetup.exe");
    m.SetProgramPath("C:\\WINDOWS\\Setup.v2.exe");
    EXPECT_EQ(m.ProgramFolder(), "C:\\WINDOWS");
    EXPECT_EQ(m.ProgramName(), "Setup.v2");
}

TEST_F(MachineTest, FilesAndFolders) {
    EXPECT_TRUE(m.MakeFolder("C:\\One"));
    EXPECT_FALSE(m.MakeFolder("C:\\one"));  // exists already
    EXPECT_FALSE(m.MakeFolder("C:\\Two\\Three"));  // parent missing
    EXPECT_TRUE(m.MakeFolders("C:\\one\\Two\\Three\\"));
    EXPECT_TRUE(fs::is_directory(c / "One" / "Two" / "Three"));
    EXPECT_TRUE(m.MakeFolders("C:\\ONE\\two"));  // all there
    WriteAll(c / "One" / "file.bin", "12345");
    EXPECT_FALSE(m.MakeFolders("C:\\One\\file.bin\\sub"));
    EXPECT_TRUE(m.Exists("C:\\one\\FILE.BIN"));
    EXPECT_TRUE(m.FileExists("C:\\one\\FILE.BIN"));
    EXPECT_FALSE(m.FileExists("C:\\one"));
    EXPECT_FALSE(m.FolderExists("C:\\one\\FILE.BIN"));
    EXPECT_EQ(m.FileLength("C:\\one\\file.bin"), 5);
    EXPECT_FALSE(m.FileLength("C:\\one").has_value());
    EXPECT_FALSE(m.RemoveFolder("C:\\One\\Two"));  // not empty
    EXPECT_TRUE(m.RemoveFolder("C:\\One\\Two\\Three"));
    EXPECT_FALSE(m.DeleteFile("C:\\One\\Two"));  // a folder
    EXPECT_FALSE(m.DeleteFile("C:\\One\\missing"));

    // Dates: settable, readable, comparable.
    const FileTime when = FileTime(std::chrono::seconds(946684800)) + std::chrono::nanoseconds(5000);
    EXPECT_TRUE(m.SetFileDate("C:\\One\\file.bin", when));
    EXPECT_EQ(m.FileDate("C:\\one\\FILE.bin"), when);

    // Copy: bytes and permissions; no silent overwrite; never onto itself.
    fs::permissions(c / "One" / "file.bin", fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec);
    EXPECT_TRUE(m.CopyFile("C:\\one\\file.bin", "C:\\copy.bin", false));
    EXPECT_EQ(ReadAll(c / "copy.bin"), "12345");
    EXPECT_TRUE((fs::status(c / "copy.bin").permissions() & fs::perms::owner_exec) != fs::perms::none);
    WriteAll(c / "One" / "file.bin", "abc");
    EXPECT_FALSE(m.CopyFile("C:\\one\\file.bin", "C:\\COPY.BIN", false));
    EXPECT_EQ(ReadAll(c / "copy.bin"), "12345");
    EXPECT_TRUE(m.CopyFile("C:\\one\\file.bin", "C:\\COPY.BIN", true));
    EXPECT_EQ(ReadAll(c / "copy.bin"), "abc");
    EXPECT_FALSE(m.CopyFile("C:\\copy.bin", "C:\\COPY.bin", true));
    EXPECT_EQ(ReadAll(c / "copy.bin"), "abc");
    EXPECT_FALSE(m.CopyFile("C:\\missing", "C:\\x", true));

    // Rename: never over another file; a change of letter case alone is allowed.
    EXPECT_FALSE(m.RenameFile("C:\\copy.bin", "C:\\One\\file.bin"));
    EXPECT_TRUE(m.RenameFile("C:\\copy.bin", "C:\\Copy.BIN"));
    EXPECT_TRUE(fs::exists(c / "Copy.BIN"));
    EXPECT_FALSE(fs::exists(c / "copy.bin"));
    EXPECT_TRUE(m.RenameFile("C:\\copy.bin", "C:\\One\\moved.bin"));
    EXPECT_EQ(ReadAll(c / "One" / "moved.bin"), "abc");
    EXPECT_TRUE(m.DeleteFile("c:\\one\\MOVED.bin"));
    EXPECT_FALSE(fs::exists(c / "One" / "moved.bin"));
}

TEST_F(MachineTest, FileHandlesUseTheCurrentMachine) {
    ScopedMachine scoped(root);
    {
        auto out = FileHandle::Create("C:\\WINDOWS\\Data.BIN");
        ASSERT_TRUE(out);
        const std::byte bytes[] = {std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}};
        EXPECT_EQ(out->Write(bytes), 4);
        EXPECT_EQ(out->Length(), 4);
    }
    EXPECT_TRUE(FileExists("c:\\windows\\data.bin"));
    EXPECT_TRUE(FolderExists("c:\\windows"));
    EXPECT_FALSE(FileExists("c:\\windows"));
    EXPECT_FALSE(FileExists("\\\\server\\share\\data.bin"));
    auto in = FileHandle::OpenRead("C:\\windows\\DATA.bin");
    ASSERT_TRUE(in);
    EXPECT_EQ(in->Length(), 4);
    ASSERT_TRUE(in->Seek(2));
    std::byte buffer[8] = {};
    EXPECT_EQ(in->Read(buffer), 2);
    EXPECT_EQ(buffer[0], std::byte{3});
    EXPECT_EQ(in->Read(buffer), 0);
    EXPECT_FALSE(in->Seek(-1));
    FileHandle moved = std::move(*in);
    EXPECT_FALSE(in->IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    moved.Close();
    EXPECT_EQ(moved.Read(buffer), -1);
    EXPECT_FALSE(FileHandle::OpenRead("C:\\WINDOWS"));          // a folder
    EXPECT_FALSE(FileHandle::OpenRead("C:\\missing.bin"));
    EXPECT_FALSE(FileHandle::Create("Q:\\x.bin"));
    EXPECT_FALSE(FileHandle::Create("C:\\no folder\\x.bin"));
    EXPECT_EQ(CurrentMachine().Root(), root);
    EXPECT_EQ(std::string(std::getenv("PLENOVA_MACHINE")), root.string());
}

bool WaitForFile(const fs::path& p) {
    return plenova::testing::WaitUntil([&] { return fs::exists(p); }, std::chrono::seconds(5));
}

TEST_F(MachineTest, StartProcessRunsAProgramByItsWindowsPath) {
    // A program copied like a Windows file has no execute bit; starting it must still work.
    const fs::path script = c / "WINDOWS" / "Run.sh";
    WriteAll(script, "#!/bin/sh\nprintf '%s|%s|%s' \"$1\" \"$#\" \"$PLENOVA_MACHINE\" > \"$0.tmp\"\nmv \"$0.tmp\" \"$0.out\"\n");
    fs::permissions(script, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(m.StartProcess("c:\\windows\\run.sh", "A:  two blanks"));
    ASSERT_TRUE(WaitForFile(c / "WINDOWS" / "Run.sh.out"));
    EXPECT_EQ(ReadAll(c / "WINDOWS" / "Run.sh.out"), "A:  two blanks|1|" + root.string());

    fs::remove(c / "WINDOWS" / "Run.sh.out");
    ASSERT_TRUE(m.StartProcess("C:\\WINDOWS\\Run.sh", ""));
    ASSERT_TRUE(WaitForFile(c / "WINDOWS" / "Run.sh.out"));
    EXPECT_EQ(ReadAll(c / "WINDOWS" / "Run.sh.out"), "|0|" + root.string());

    WriteAll(c / "notes.txt", "just text");
    EXPECT_FALSE(m.StartProcess("C:\\notes.txt", ""));
    EXPECT_FALSE(m.StartProcess("C:\\missing.exe", ""));
    EXPECT_FALSE(m.StartProcess("C:\\WINDOWS", ""));
    EXPECT_FALSE(m.StartProcess("Q:\\setup.exe", ""));
}

TEST_F(MachineTest, StartedProgramsInheritOnlyTheStandardDescriptors) {
    const int fd = ::open((temp.Path() / "held").c_str(), O_RDWR | O_CREAT, 0600);  // no O_CLOEXEC
    ASSERT_GE(fd, 3);
    const fs::path script = c / "fds.sh";
    WriteAll(script, "#!/bin/sh\nif [ -e /proc/$$/fd/$1 ]; then r=open; else r=closed; fi\n"
                     "[ -e /proc/$$/fd/2 ] && r=\"$r+stderr\"\nprintf %s \"$r\" > \"$0.tmp\"; mv \"$0.tmp\" \"$0.out\"\n");
    ASSERT_TRUE(m.StartProcess("C:\\fds.sh", std::to_string(fd)));
    ASSERT_TRUE(WaitForFile(c / "fds.sh.out"));
    EXPECT_EQ(ReadAll(c / "fds.sh.out"), "closed+stderr");
    ::close(fd);
}

TEST_F(MachineTest, BootStepCarriesOutAndRetiresWininit) {
    const fs::path win = c / "WINDOWS";
    WriteAll(win / "PlenovaSetup.exe", "exe");
    WriteAll(win / "old.txt", "old");
    WriteAll(win / "keep.txt", "keep");
    WriteAll(c / "\xE8\x83\x8C\xE6\x99\xAF.bmp", "bmp");  // 背景.bmp
    WriteAll(win / "WININIT.INI",
             "[rename]\r\n"
             "NUL=C:\\WINDOWS\\PlenovaSetup.exe\r\n"
             "C:\\WINDOWS\\new.txt=C:\\WINDOWS\\OLD.TXT\r\n"
             "NUL=C:\\\x94\x77\x8C\x69.bmp\r\n"           // Shift-JIS, as the setup program writes
             "NUL=C:\\WINDOWS\\missing.exe\r\n"
             "[other]\r\n"
             "NUL=C:\\WINDOWS\\keep.txt\r\n");
    EXPECT_EQ(m.RunBootStep(), 3);
    EXPECT_FALSE(fs::exists(win / "PlenovaSetup.exe"));
    EXPECT_FALSE(fs::exists(win / "old.txt"));
    EXPECT_EQ(ReadAll(win / "new.txt"), "old");
    EXPECT_FALSE(fs::exists(c / "\xE8\x83\x8C\xE6\x99\xAF.bmp"));
    EXPECT_TRUE(fs::exists(win / "keep.txt"));
    EXPECT_FALSE(fs::exists(win / "WININIT.INI"));
    EXPECT_TRUE(fs::exists(win / "WININIT.BAK"));
    EXPECT_EQ(m.RunBootStep(), 0);  // nothing left to do
}

TEST(MachineRoot, DefaultRootFollowsTheEnvironment) {
    const char* saved = std::getenv("PLENOVA_MACHINE");
    const std::string keep = saved ? saved : "";
    ::setenv("PLENOVA_MACHINE", "/some/where/", 1);
    EXPECT_EQ(Machine::DefaultRoot(), fs::path("/some/where"));
    ::unsetenv("PLENOVA_MACHINE");
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const std::string keepXdg = xdg ? xdg : "";
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(Machine::DefaultRoot(), fs::path("/data/home/plenova"));
    ::unsetenv("XDG_DATA_HOME");
    if (const char* home = std::getenv("HOME")) {
        EXPECT_EQ(Machine::DefaultRoot(), fs::path(home) / ".local" / "share" / "plenova");
    }
    if (xdg) ::setenv("XDG_DATA_HOME", keepXdg.c_str(), 1);
    if (saved) ::setenv("PLENOVA_MACHINE", keep.c_str(), 1);
}

TEST(MachineRoot, UncreatableRootIsAClearError) {
    TempFolder temp;
    WriteAll(temp.Path() / "file", "x");
    EXPECT_THROW(Machine(temp.Path() / "file" / "machine"), MachineError);
}

}  // namespace
