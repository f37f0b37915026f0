// TAVORIN.DLL loaded with dlopen and called through its C exports, as the setup program does,
// on files of a temporary machine; shortcuts are read back by lnkinfo.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/text_conversion.h"
#include "tests/setup/pe_image.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using plenova::platform::ScopedMachine;
using plenova::platform::ToShiftJis;
using plenova::testing::Capture;
using plenova::testing::Finished;
using plenova::testing::MakePeImage;
using plenova::testing::ReadAll;
using plenova::testing::RunToEnd;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;
using plenova::testing::WriteBytes;

namespace {

// The library's exports, looked up by name like any program of the machine does.
struct Tavorin {
    int32_t (*CompareVersion)(const char*, const char*, int32_t*) = nullptr;
    int32_t (*CopyFileDateTime)(const char*, const char*) = nullptr;
    int32_t (*RegistDll)(const char*, int32_t) = nullptr;
    int32_t (*CreateShortcut)(const char*, const char*, const char*) = nullptr;

    static const Tavorin& Get() {
        static const Tavorin library = [] {
            Tavorin t;
            void* handle = ::dlopen(TAVORIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr) throw std::runtime_error(::dlerror());
            const auto find = [&](auto& slot, const char* name) {
                slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                    ::dlsym(handle, name));
                if (slot == nullptr) throw std::runtime_error(std::string("no export ") + name);
            };
            find(t.CompareVersion, "CompareVersion");
            find(t.CopyFileDateTime, "CopyFileDateTime");
            find(t.RegistDll, "RegistDll");
            find(t.CreateShortcut, "CreateShortcut");
            return t;
        }();
        return library;
    }
};

// A temporary machine made current for the test (and for the library, through
// $PLENOVA_MACHINE).
class TavorinTest : public ::testing::Test {
protected:
    TavorinTest() : machine_(temp_ / "machine") {}

    const Tavorin& lib = Tavorin::Get();
    fs::path DriveC() const { return temp_.Path() / "machine" / "drive_c"; }
    // A file on drive C:, given by its path below the root with "/" separators.
    fs::path OnC(const std::string& below) const { return DriveC() / fs::u8path(below); }
    static std::string Ansi(const std::string& utf8) { return ToShiftJis(utf8); }

    void PutPe(const std::string& below, std::array<std::uint16_t, 4> version, bool plus = false) {
        WriteBytes(OnC(below), MakePeImage({.pe32Plus = plus, .version = version}).bytes);
    }
    void PutCopy(const fs::path& from, const std::string& below) {
        fs::create_directories(OnC(below).parent_path());
        fs::copy_file(from, OnC(below), fs::copy_options::overwrite_existing);
    }

    TempFolder temp_;
    ScopedMachine machine_;
};

struct Comparison {
    int32_t result;
    int32_t value;
};

Comparison Compare(const Tavorin& lib, const std::string& source, const std::string& dest) {
    int32_t value = 12345;
    const int32_t result = lib.CompareVersion(source.c_str(), dest.c_str(), &value);
    return {result, value};
}

TEST_F(TavorinTest, CompareVersionGivesTheSignOfSourceMinusDestination) {
    PutPe("v/old32.dll", {1, 2, 3, 4});
    PutPe("v/new32.dll", {1, 3, 0, 0});
    PutPe("v/new64.dll", {1, 3, 0, 0}, true);
    PutPe("v/one.dll", {PLENOVA_VERSION_MAJOR, PLENOVA_VERSION_MINOR, 0, 0}, true);
    PutCopy(TAVORIN_LIBRARY, "WINDOWS/SYSTEM/TAVORIN.DLL");
    PutCopy(TAVORIN_SAVER_PROGRAM, "WINDOWS/PlenovaSaver.scr");
    PutCopy(TAVORIN_REGISTER_OK_LIBRARY, "v/register.so");
    struct Case {
        const char* source;
        const char* destination;
        int32_t sign;
    };
    const Case cases[] = {
        {"C:\\v\\new32.dll", "C:\\v\\old32.dll", 1},
        {"C:\\v\\old32.dll", "C:\\v\\new32.dll", -1},
        {"C:\\v\\new32.dll", "C:\\v\\new64.dll", 0},
        {"c:\\V\\NEW64.DLL", "C:\\v\\old32.dll", 1},  // the machine's names ignore case
        // Our own ELF files: the library and the saver carry the same build version.
        {"C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL", "C:\\WINDOWS\\PlenovaSaver.scr", 0},
        {"C:\\v\\register.so", "C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL", 1},
        {"C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL", "C:\\v\\register.so", -1},
        {"C:\\v\\one.dll", "C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL", 0},  // PE against ELF
    };
    for (const Case& c : cases) {
        const Comparison got = Compare(lib, c.source, c.destination);
        EXPECT_EQ(got.result, 1) << c.source << " vs " << c.destination;
        EXPECT_EQ(got.value, c.sign) << c.source << " vs " << c.destination;
    }
}

TEST_F(TavorinTest, CompareVersionWithoutTwoVersionsLeavesTheResultAlone) {
    PutPe("v/versioned.dll", {1, 0, 0, 0});
    WriteBytes(OnC("v/plain.dll"), MakePeImage({}).bytes);  // resources, but no version
    WriteBytes(OnC("v/bare.dll"), MakePeImage({.pe32Plus = false, .version = {}, .withResources = false}).bytes);
    WriteAll(OnC("v/readme.txt"), "MZ but not a program");
    WriteAll(OnC("v/empty.dat"), "");
    PutCopy(TAVORIN_NO_NOTE_LIBRARY, "v/nonote.so");
    for (const char* other : {"C:\\v\\plain.dll", "C:\\v\\bare.dll", "C:\\v\\readme.txt",
                              "C:\\v\\empty.dat", "C:\\v\\nonote.so", "C:\\v\\missing.dll",
                              "C:\\v", "Q:\\nodrive.dll", "\\\\server\\share\\x.dll"}) {
        for (bool otherIsSource : {false, true}) {
            const Comparison got =
                otherIsSource ? Compare(lib, other, "C:\\v\\versioned.dll")
                              : Compare(lib, "C:\\v\\versioned.dll", other);
            EXPECT_NE(got.result, 1) << other;
            EXPECT_EQ(got.value, 12345) << other;
        }
    }
    EXPECT_NE(lib.CompareVersion("C:\\v\\versioned.dll", "C:\\v\\versioned.dll", nullptr), 1);
}

// Sets a file's modification time to the nanosecond.
void SetTime(const fs::path& file, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0) << file;
}

timespec TimeOf(const fs::path& file) {
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
    return st.st_mtim;
}

TEST_F(TavorinTest, CopyFileDateTimeCopiesTheModificationTimeToTheNanosecond) {
    const std::pair<time_t, long> times[] = {
        {1234567890, 123456789}, {0, 1}, {4102444799, 999999999}, {915148800, 0}};
    WriteAll(OnC("src/背景.bmp"), "source");
    WriteAll(OnC("Program Files/Plenova Saver/背景.bmp"), "destination");
    for (const auto& [seconds, nanoseconds] : times) {
        SetTime(OnC("src/背景.bmp"), seconds, nanoseconds);
        SetTime(OnC("Program Files/Plenova Saver/背景.bmp"), 1000000000, 5);
        EXPECT_EQ(lib.CopyFileDateTime(Ansi("C:\\Program Files\\Plenova Saver\\背景.bmp").c_str(),
                                       Ansi("C:\\src\\背景.bmp").c_str()),
                  1);
        const timespec got = TimeOf(OnC("Program Files/Plenova Saver/背景.bmp"));
        EXPECT_EQ(got.tv_sec, seconds);
        EXPECT_EQ(got.tv_nsec, nanoseconds);
    }
    EXPECT_EQ(ReadAll(OnC("Program Files/Plenova Saver/背景.bmp")), "destination");
}

TEST_F(TavorinTest, CopyFileDateTimeFailsWithoutBothFiles) {
    WriteAll(OnC("a.txt"), "a");
    SetTime(OnC("a.txt"), 1000000000, 7);
    EXPECT_EQ(lib.CopyFileDateTime("C:\\a.txt", "C:\\missing.txt"), 0);
    EXPECT_EQ(TimeOf(OnC("a.txt")).tv_nsec, 7);
    EXPECT_EQ(lib.CopyFileDateTime("C:\\missing.txt", "C:\\a.txt"), 0);
    EXPECT_FALSE(fs::exists(OnC("missing.txt"))) << "nothing is created";
}

TEST_F(TavorinTest, RegistDllRunsTheRegistrationExportsAndReportsTheirResult) {
    const fs::path log = temp_ / "registration.log";
    ::setenv("TAVORIN_TEST_LOG", log.c_str(), 1);
    PutCopy(TAVORIN_REGISTER_OK_LIBRARY, "WINDOWS/SYSTEM/OK.DLL");
    PutCopy(TAVORIN_REGISTER_FAIL_LIBRARY, "WINDOWS/SYSTEM/FAIL.DLL");
    PutCopy(TAVORIN_NO_NOTE_LIBRARY, "WINDOWS/SYSTEM/NOREG.DLL");
    WriteAll(OnC("WINDOWS/SYSTEM/TEXT.DLL"), "not a library");
    PutPe("WINDOWS/SYSTEM/WIN.DLL", {1, 0, 0, 0});
    struct Case {
        const char* library;
        int32_t flag;
        int32_t result;
        const char* logged;
    };
    const Case cases[] = {
        {"C:\\WINDOWS\\SYSTEM\\OK.DLL", -1, 1, "register\n"},
        {"C:\\WINDOWS\\SYSTEM\\ok.dll", 1, 1, "register\n"},
        {"C:\\WINDOWS\\SYSTEM\\OK.DLL", 0, 1, "unregister\n"},
        {"C:\\WINDOWS\\SYSTEM\\FAIL.DLL", -1, 0, "register\n"},
        {"C:\\WINDOWS\\SYSTEM\\FAIL.DLL", 0, 0, "unregister\n"},
        {"C:\\WINDOWS\\SYSTEM\\NOREG.DLL", -1, 0, ""},
        {"C:\\WINDOWS\\SYSTEM\\TEXT.DLL", -1, 0, ""},
        {"C:\\WINDOWS\\SYSTEM\\WIN.DLL", -1, 0, ""},
        {"C:\\WINDOWS\\SYSTEM\\MISSING.DLL", -1, 0, ""},
        {"Q:\\OK.DLL", -1, 0, ""},
    };
    for (const Case& c : cases) {
        fs::remove(log);
        EXPECT_EQ(lib.RegistDll(c.library, c.flag), c.result) << c.library << " " << c.flag;
        EXPECT_EQ(ReadAll(log), c.logged) << c.library << " " << c.flag;
    }
    ::unsetenv("TAVORIN_TEST_LOG");
}

TEST_F(TavorinTest, RegistDllSurvivesACrashingLibraryAndNeverWaitsOnAFifo) {
    const fs::path log = temp_ / "registration.log";
    ::setenv("TAVORIN_TEST_LOG", log.c_str(), 1);
    PutCopy(TAVORIN_REGISTER_CRASH_LIBRARY, "WINDOWS/SYSTEM/CRASH.DLL");
    EXPECT_EQ(lib.RegistDll("C:\\WINDOWS\\SYSTEM\\CRASH.DLL", -1), 0);
    EXPECT_EQ(ReadAll(log), "register\n") << "the export ran, in a process of its own";
    ::unsetenv("TAVORIN_TEST_LOG");

    ASSERT_EQ(::mkfifo(OnC("WINDOWS/SYSTEM/FIFO.DLL").c_str(), 0600), 0);
    EXPECT_EQ(lib.RegistDll("C:\\WINDOWS\\SYSTEM\\FIFO.DLL", -1), 0);
}

// The "Link information" fields lnkinfo prints ("\tLocal path\t\t\t: C:\x" and so on).
std::map<std::string, std::string> LnkInfo(const fs::path& link, const char* codepage) {
    const Finished run = RunToEnd({"lnkinfo", "-c", codepage, link.string()}, Capture::kOutputOnly);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const std::string& out = run.output;
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        key.erase(0, key.find_first_not_of('\t'));
        key.erase(key.find_last_not_of("\t ") + 1);
        fields.emplace(key, line.substr(colon + 2));  // the first one: the link information
    }
    return fields;
}

TEST_F(TavorinTest, CreateShortcutWritesALinkThatLnkinfoReadsBack) {
    WriteAll(OnC("Program Files/プレノバ/背景.exe"), "program");
    WriteAll(OnC("WINDOWS/PlenovaSetup.exe"), "setup");
    fs::create_directories(OnC("WINDOWS/Start Menu/Programs/Plenova Saver"));
    struct Case {
        std::string link;      // Windows path, UTF-8
        std::string linkHost;  // below drive_c
        std::string target;
        std::string arguments;
        std::string localPath;
        std::string workingFolder;
    };
    const Case cases[] = {
        {"C:\\WINDOWS\\Start Menu\\Programs\\Plenova Saver\\Plenova Saver.lnk",
         "WINDOWS/Start Menu/Programs/Plenova Saver/Plenova Saver.lnk",
         "C:\\WINDOWS\\PlenovaSaver.scr", "/c", "C:\\WINDOWS\\PlenovaSaver.scr", "C:\\WINDOWS"},
        {"C:\\WINDOWS\\Start Menu\\Programs\\Plenova Saver\\アンインストール.lnk",
         "WINDOWS/Start Menu/Programs/Plenova Saver/アンインストール.lnk",
         "C:\\WINDOWS\\PlenovaSetup.exe", "/UNINST プレノバ セーバー",
         "C:\\WINDOWS\\PlenovaSetup.exe", "C:\\WINDOWS"},
        {"C:\\WINDOWS\\Start Menu\\Programs\\背景.lnk", "WINDOWS/Start Menu/Programs/背景.lnk",
         "C:\\Program Files\\プレノバ\\背景.exe", "",
         "C:\\Program Files\\プレノバ\\背景.exe", "C:\\Program Files\\プレノバ"},
        {"C:\\root.lnk", "root.lnk", "C:\\SETUP.EXE", "A:\\", "C:\\SETUP.EXE", "C:\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        ASSERT_EQ(lib.CreateShortcut(Ansi(c.link).c_str(), Ansi(c.target).c_str(),
                                     Ansi(c.arguments).c_str()),
                  1);
        for (const char* codepage : {"windows-1252", "windows-932"}) {
            SCOPED_TRACE(codepage);
            auto fields = LnkInfo(OnC(c.linkHost), codepage);
            EXPECT_EQ(fields["Local path"], c.localPath);
            EXPECT_EQ(fields["Working directory"], c.workingFolder);
            if (c.arguments.empty())
                EXPECT_EQ(fields.count("Command line arguments"), 0u);
            else
                EXPECT_EQ(fields["Command line arguments"], c.arguments);
            EXPECT_EQ(fields["Drive type"], "Fixed (3)");
        }
    }
}

TEST_F(TavorinTest, CreateShortcutReplacesALinkWholeAndLeavesNothingWhenItFails) {
    const fs::path programs = OnC("WINDOWS/Start Menu/Programs");
    fs::create_directories(programs / "folder.lnk");
    ASSERT_EQ(lib.CreateShortcut("C:\\WINDOWS\\Start Menu\\Programs\\a.lnk", "C:\\x.exe", "/1"),
              1);
    ASSERT_EQ(lib.CreateShortcut("C:\\WINDOWS\\Start Menu\\Programs\\a.lnk", "C:\\y.exe", ""), 1);
    auto fields = LnkInfo(programs / "a.lnk", "windows-1252");
    EXPECT_EQ(fields["Local path"], "C:\\y.exe");
    EXPECT_EQ(fields.count("Command line arguments"), 0u);

    EXPECT_EQ(lib.CreateShortcut("C:\\WINDOWS\\Start Menu\\Programs\\folder.lnk", "C:\\x.exe",
                                 "/1"),
              0);
    EXPECT_EQ(lib.CreateShortcut("C:\\no such folder\\a.lnk", "C:\\x.exe", ""), 0);
    EXPECT_EQ(lib.CreateShortcut("C:\\WINDOWS\\b.lnk", "\\\\server\\share\\x.exe", ""), 0);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(programs))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.lnk", "folder.lnk"})) << "no temporary files";
    EXPECT_FALSE(fs::exists(OnC("WINDOWS/b.lnk")));
}

TEST_F(TavorinTest, BadTextAndNullPointersFailWithoutCrashing) {
    WriteAll(OnC("a.txt"), "a");
    const char* broken = "C:\\\x81";  // a lead byte with no trail byte
    int32_t value = 7;
    EXPECT_EQ(lib.CompareVersion(broken, "C:\\a.txt", &value), 0);
    EXPECT_EQ(lib.CompareVersion(nullptr, nullptr, &value), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(lib.CopyFileDateTime(broken, "C:\\a.txt"), 0);
    EXPECT_EQ(lib.CopyFileDateTime(nullptr, "C:\\a.txt"), 0);
    EXPECT_EQ(lib.RegistDll(broken, -1), 0);
    EXPECT_EQ(lib.RegistDll(nullptr, -1), 0);
    EXPECT_EQ(lib.CreateShortcut("C:\\x.lnk", "C:\\a.txt", broken), 0);
    EXPECT_EQ(lib.CreateShortcut(nullptr, "C:\\a.txt", ""), 0);
    EXPECT_EQ(lib.CreateShortcut("C:\\x.lnk", nullptr, ""), 0);
    EXPECT_FALSE(fs::exists(OnC("x.lnk")));
    EXPECT_EQ(lib.CreateShortcut("C:\\y.lnk", "C:\\a.txt", nullptr), 1) << "no arguments";
}

TEST(TavorinMachine, FollowsTheMachineOfTheCallerFromCallToCall) {
    const Tavorin& lib = Tavorin::Get();
    TempFolder temp;
    for (const char* name : {"first", "second"}) {
        ScopedMachine machine(temp / name);
        ASSERT_EQ(lib.CreateShortcut("C:\\here.lnk", "C:\\x.exe", name), 1);
    }
    EXPECT_EQ(LnkInfo(temp / "first" / "drive_c" / "here.lnk", "windows-1252")
                  ["Command line arguments"],
              "first");
    EXPECT_EQ(LnkInfo(temp / "second" / "drive_c" / "here.lnk", "windows-1252")
                  ["Command line arguments"],
              "second");
}

}  // namespace
