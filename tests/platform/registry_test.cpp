#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <set>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "tests/platform/registry_fixture.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::ReadAll;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;

using namespace std::string_literals;

namespace {

constexpr Hive HKCU = Hive::CurrentUser;
constexpr Hive HKLM = Hive::LocalMachine;

class RegistryTest : public plenova::testing::RegistryFixture {};

TEST_F(RegistryTest, StringsRoundTripExactlyWithEscapes) {
    const std::vector<std::pair<std::string, std::string>> values = {
        {"Plain", "C:\\Program Files\\Plenova\\"},
        {"Quote \"and\" back\\slash", "say \"hi\" \\\\server\\"},
        {"Japanese", "背景.bmp パスワード"},
        {"Blanks", "  lead and trail  "},
        {"Empty", ""},
        {"Lines", "one\r\ntwo\nthree\x01"},  // control characters go as hex(1)
        {"Tab", "a\tb"},
        {"Emoji", "\xF0\x9F\x90\xB8 frog"},
        {"Emoji line", "\xF0\x9F\x90\xB8\n背"},  // hex(1) with a surrogate pair
        {"", "the default value"},
    };
    for (const auto& [name, text] : values) reg.SetString(HKCU, "Software\\Test", name, text);
    reg.SetDword(HKCU, "Software\\Test", "Count", 0xDEADBEEF);

    Registry other(machine);  // nothing kept in memory: a second instance reads the file
    for (const auto& [name, text] : values) {
        SCOPED_TRACE(name);
        EXPECT_EQ(other.QueryString(HKCU, "Software\\Test", name), text);
    }
    auto count = other.QueryValue(HKCU, "software\\test", "COUNT");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->kind, ValueKind::Dword);
    EXPECT_EQ(count->dword, 0xDEADBEEFu);
    EXPECT_FALSE(other.QueryString(HKCU, "Software\\Test", "Count"));  // not a string

    const std::string file = ReadAll(user);
    EXPECT_TRUE(file.starts_with("Windows Registry Editor Version 5.00\n\n"));
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Test]\n"), std::string::npos);
    EXPECT_NE(file.find("\"Plain\"=\"C:\\\\Program Files\\\\Plenova\\\\\"\n"), std::string::npos);
    EXPECT_NE(file.find("\"Quote \\\"and\\\" back\\\\slash\"=\"say \\\"hi\\\" \\\\\\\\server\\\\\"\n"),
              std::string::npos);
    EXPECT_NE(file.find("\"Japanese\"=\"背景.bmp パスワード\"\n"), std::string::npos);
    EXPECT_NE(file.find("\"Lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00"), std::string::npos);
    EXPECT_NE(file.find("\"Emoji line\"=hex(1):3d,d8,38,dc,0a,00,cc,80,00,00\n"), std::string::npos);
    EXPECT_NE(file.find("@=\"the default value\"\n"), std::string::npos);
    EXPECT_NE(file.find("\"Count\"=dword:deadbeef\n"), std::string::npos);
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstCase) {
    EXPECT_TRUE(reg.CreateKey(HKCU, "Software\\PlenovaSaver\\Set"));
    EXPECT_FALSE(reg.CreateKey(HKCU, "SOFTWARE\\plenovasaver\\SET"));
    reg.SetString(HKCU, "software\\PLENOVASAVER\\set", "Mouse", "3");
    reg.SetString(HKCU, "Software\\PlenovaSaver\\Set", "MOUSE", "4");
    EXPECT_EQ(reg.QueryString(HKCU, "SOFTWARE\\PLENOVASAVER\\SET", "mouse"), "4");
    EXPECT_EQ(reg.SubKeys(HKCU, "software"), std::vector<std::string>{"PlenovaSaver"});
    auto values = reg.Values(HKCU, "Software\\PlenovaSaver\\Set");
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 1u);
    EXPECT_EQ((*values)[0].name, "Mouse");
    const std::string file = ReadAll(user);
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\PlenovaSaver\\Set]\n\"Mouse\"=\"4\"\n"), std::string::npos);
    // The hives are separate files.
    EXPECT_FALSE(reg.KeyExists(HKLM, "Software\\PlenovaSaver"));
    reg.SetString(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plenova", "DisplayName", "Plenova");
    EXPECT_NE(ReadAll(machine.MachineHivePath()).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft"), std::string::npos);
    EXPECT_EQ(ReadAll(user).find("Uninstall"), std::string::npos);
}

TEST_F(RegistryTest, DeletingAndEnumerating) {
    reg.SetString(HKCU, "Software\\App\\One", "a", "1");
    reg.SetString(HKCU, "Software\\App\\One", "b", "2");
    reg.SetString(HKCU, "Software\\App\\Two\\Deep", "c", "3");
    reg.CreateKey(HKCU, "Software\\App\\Three");
    EXPECT_EQ(reg.SubKeys(HKCU, "Software\\App"), (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(reg.SubKeys(HKCU, "Software\\App\\Three"), std::vector<std::string>{});
    EXPECT_FALSE(reg.SubKeys(HKCU, "Software\\Nope"));
    EXPECT_FALSE(reg.Values(HKCU, "Software\\Nope"));

    EXPECT_TRUE(reg.DeleteValue(HKCU, "Software\\App\\One", "A"));
    EXPECT_FALSE(reg.DeleteValue(HKCU, "Software\\App\\One", "a"));
    EXPECT_FALSE(reg.DeleteValue(HKCU, "Software\\Nope", "a"));
    EXPECT_FALSE(reg.QueryValue(HKCU, "Software\\App\\One", "a"));
    EXPECT_EQ(reg.QueryString(HKCU, "Software\\App\\One", "b"), "2");

    EXPECT_TRUE(reg.DeleteKey(HKCU, "software\\app\\TWO"));
    EXPECT_FALSE(reg.KeyExists(HKCU, "Software\\App\\Two\\Deep"));
    EXPECT_FALSE(reg.DeleteKey(HKCU, "Software\\App\\Two"));
    EXPECT_EQ(reg.SubKeys(HKCU, "Software\\App"), (std::vector<std::string>{"One", "Three"}));
    EXPECT_THROW(reg.DeleteKey(HKCU, ""), std::invalid_argument);

    // A delete that finds nothing does not rewrite the file.
    const auto before = fs::last_write_time(user);
    const std::string text = ReadAll(user);
    EXPECT_FALSE(reg.DeleteKey(HKCU, "Software\\Missing"));
    EXPECT_EQ(ReadAll(user), text);
    EXPECT_EQ(fs::last_write_time(user), before);
}

TEST_F(RegistryTest, ExportGivesTheSubtreeAsRegText) {
    reg.SetString(HKCU, "Software\\ZEVRA6\\Set", "Mute", "1");
    reg.SetString(HKCU, "Software\\ZEVRA6\\Set\\Inner", "", "d");
    reg.SetString(HKCU, "Software\\Other", "x", "y");
    EXPECT_EQ(reg.Export(HKCU, "software\\zevra6"),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\ZEVRA6]\n\n"
              "[HKEY_CURRENT_USER\\Software\\ZEVRA6\\Set]\n\"Mute\"=\"1\"\n\n"
              "[HKEY_CURRENT_USER\\Software\\ZEVRA6\\Set\\Inner]\n@=\"d\"\n\n");
    EXPECT_FALSE(reg.Export(HKCU, "Software\\Missing"));
}

TEST_F(RegistryTest, InvalidNamesAreRefused) {
    for (const char* key : {"a\\\\b", "\\a", "a\\", "a\nb", "a\x7f"}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(IsValidKeyPath(key));
        EXPECT_THROW(reg.SetString(HKCU, key, "n", "v"), std::invalid_argument);
        EXPECT_FALSE(reg.KeyExists(HKCU, key));
    }
    EXPECT_THROW(reg.SetString(HKCU, "k", "line\nbreak", "v"), std::invalid_argument);
    EXPECT_THROW(reg.SetString(HKCU, "k", "n", "\xFF\xFE"), std::invalid_argument);
    EXPECT_THROW(reg.SetString(HKCU, "k", "n", std::string_view("a\0b", 3)), std::invalid_argument);
    EXPECT_FALSE(fs::exists(user));
}

TEST(RegistryKeyPath, RootsAndForms) {
    auto k = ParseKeyPath("HKCU\\Software\\ZEVRA6\\Set");
    ASSERT_TRUE(k);
    EXPECT_EQ(k->hive, Hive::CurrentUser);
    EXPECT_EQ(k->key, "Software\\ZEVRA6\\Set");
    k = ParseKeyPath("hkey_local_machine\\SOFTWARE\\");
    ASSERT_TRUE(k);
    EXPECT_EQ(k->hive, Hive::LocalMachine);
    EXPECT_EQ(k->key, "SOFTWARE");
    k = ParseKeyPath("HKLM");
    ASSERT_TRUE(k);
    EXPECT_EQ(k->key, "");
    EXPECT_TRUE(ParseKeyPath("HKEY_CURRENT_USER/Software"));
    EXPECT_FALSE(ParseKeyPath("HKCUX\\Software"));
    EXPECT_FALSE(ParseKeyPath("HKEY_CLASSES_ROOT\\x"));
    EXPECT_FALSE(ParseKeyPath("Software\\x"));
    EXPECT_FALSE(ParseKeyPath("HKCU\\a\\\\b"));
}

TEST_F(RegistryTest, UnknownLinesSurviveAWrite) {
    const std::string original =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "; written by hand\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Kept]\r\n"
        "; a comment inside a key\r\n"
        "\"Bin\"=hex:01,02,03,\\\r\n"
        "  04,05\r\n"
        "\"Expand\"=hex(2):25,00,00,00\r\n"
        "\"Broken\"=\"no end quote\r\n"
        "\"BadEscape\"=\"a\\qb\"\r\n"
        "something nobody knows\r\n"
        "\"Num\"=dword:2A\r\n"
        "\"Dup\"=\"first\"\r\n"
        "\"dup\"=\"second\"\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\r\n"
        "\"x\"=\"y\"\r\n"
        "\r\n"
        "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\\\Empty Component]\r\n"
        "\"z\"=\"1\"\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\software\\kept]\r\n"
        "\"Later\"=\"merged\"\r\n";
    WriteAll(user, original);

    EXPECT_EQ(reg.QueryString(HKCU, "Software\\Kept", "DUP"), "second");  // the last one counts
    EXPECT_EQ(reg.QueryString(HKCU, "Software\\Kept", "Later"), "merged");
    EXPECT_FALSE(reg.QueryValue(HKCU, "Software\\Kept", "Broken"));
    EXPECT_FALSE(reg.QueryValue(HKCU, "Software\\Kept", "BadEscape"));
    auto num = reg.QueryValue(HKCU, "Software\\Kept", "num");
    ASSERT_TRUE(num);
    EXPECT_EQ(num->dword, 42u);
    auto bin = reg.QueryValue(HKCU, "Software\\Kept", "Bin");
    ASSERT_TRUE(bin);
    EXPECT_EQ(bin->kind, ValueKind::Other);
    EXPECT_EQ(bin->text, "hex:01,02,03,\\\n  04,05");
    auto values = reg.Values(HKCU, "Software\\Kept");
    ASSERT_TRUE(values);
    EXPECT_EQ(values->size(), 5u);  // Bin, Expand, Num, dup, Later
    EXPECT_FALSE(reg.KeyExists(HKCU, "Software\\Elsewhere"));

    reg.SetString(HKCU, "Software\\Kept", "New", "value");
    const std::string after = ReadAll(user);
    for (const char* line : {"; written by hand\n", "; a comment inside a key\n", "\"Bin\"=hex:01,02,03,\\\n  04,05\n",
                             "\"Expand\"=hex(2):25,00,00,00\n", "\"Broken\"=\"no end quote\n",
                             "\"BadEscape\"=\"a\\qb\"\n", "something nobody knows\n",
                             "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n\"x\"=\"y\"\n",
                             "[-HKEY_CURRENT_USER\\Software\\Gone]\n",
                             "[HKEY_CURRENT_USER\\Software\\\\Empty Component]\n\"z\"=\"1\"\n",
                             "\"Later\"=\"merged\"\n", "\"New\"=\"value\"\n", "\"dup\"=\"second\"\n"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(after.find(line), std::string::npos);
    }
    // A write of a duplicated name leaves one line for it.
    reg.SetString(HKCU, "Software\\Kept", "Dup", "third");
    const std::string third = ReadAll(user);
    EXPECT_EQ(third.find("\"Dup\"=\"first\""), std::string::npos);
    EXPECT_NE(third.find("\"dup\"=\"third\"\n"), std::string::npos);
    // And the file written is read back the same way.
    Registry again(machine);
    EXPECT_EQ(again.Values(HKCU, "Software\\Kept")->size(), 6u);
    EXPECT_EQ(again.QueryString(HKCU, "Software\\Kept", "Dup"), "third");
}

TEST_F(RegistryTest, EmptyFileIsAnEmptyHive) {
    WriteAll(user, "");
    EXPECT_FALSE(reg.KeyExists(HKCU, "Software"));
    EXPECT_TRUE(reg.KeyExists(HKCU, ""));
    reg.SetString(HKCU, "Software\\A", "b", "c");
    EXPECT_EQ(reg.QueryString(HKCU, "Software\\A", "b"), "c");
    EXPECT_TRUE(AsideFiles().empty());
}

struct DamagedCase {
    const char* what;
    std::string content;
};

TEST_F(RegistryTest, DamagedFilesAreReportedAndKeptAside) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::vector<DamagedCase> cases = {
        {"invalid UTF-8", header + "[HKEY_CURRENT_USER\\Software\\A]\n\"x\"=\"\xC3\x28\"\n"},
        {"overlong UTF-8", header + "[HKEY_CURRENT_USER\\Software\\A]\n\"x\"=\"\xC0\xAF\"\n"},
        {"NUL byte", header + "[HKEY_CURRENT_USER\\Software\\A]\n\"x\"=\"a\0b\"\n"s},
        {"no header", "[HKEY_CURRENT_USER\\Software\\A]\n\"x\"=\"1\"\n"},
        {"other header", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\A]\n"},
        {"UTF-16 export", "\xFF\xFEW\0i\0n\0"s},
    };
    for (const DamagedCase& dc : cases) {
        SCOPED_TRACE(dc.what);
        for (bool byWrite : {false, true}) {
            for (const auto& f : AsideFiles()) fs::remove(f);
            WriteAll(user, dc.content);
            try {
                if (byWrite)
                    reg.SetString(HKCU, "Software\\A", "x", "new");
                else
                    reg.QueryValue(HKCU, "Software\\A", "x");
                ADD_FAILURE() << "no DamagedHiveError";
            } catch (const DamagedHiveError& e) {
                EXPECT_EQ(e.HivePath(), user);
                EXPECT_NE(std::string(e.what()).find(e.AsidePath().string()), std::string::npos);
                ASSERT_EQ(AsideFiles().size(), 1u);
                EXPECT_EQ(AsideFiles()[0], e.AsidePath());
                EXPECT_EQ(ReadAll(e.AsidePath()), dc.content);  // kept byte for byte
            }
            EXPECT_FALSE(fs::exists(user));
            // From then on the hive is empty and usable.
            EXPECT_FALSE(reg.QueryValue(HKCU, "Software\\A", "x"));
            reg.SetString(HKCU, "Software\\A", "x", "fresh");
            EXPECT_EQ(reg.QueryString(HKCU, "Software\\A", "x"), "fresh");
            EXPECT_EQ(AsideFiles().size(), 1u);
        }
    }
}

TEST_F(RegistryTest, HugeFileIsDamagedWithoutBeingRead) {
    {
        WriteAll(user, "Windows Registry Editor Version 5.00\n");
        ASSERT_EQ(::truncate(user.c_str(), (64 << 20) + 1), 0);  // sparse: costs no disk
    }
    EXPECT_THROW(reg.KeyExists(HKCU, "Software"), DamagedHiveError);
    EXPECT_EQ(AsideFiles().size(), 1u);
}

TEST_F(RegistryTest, SecondDamageOnTheSameSecondGetsItsOwnAsideName) {
    WriteAll(user, "garbage one");
    EXPECT_THROW(reg.KeyExists(HKCU, ""), DamagedHiveError);
    WriteAll(user, "garbage two");
    EXPECT_THROW(reg.KeyExists(HKCU, ""), DamagedHiveError);
    auto aside = AsideFiles();
    ASSERT_EQ(aside.size(), 2u);
    std::set<std::string> contents{ReadAll(aside[0]), ReadAll(aside[1])};
    EXPECT_EQ(contents, (std::set<std::string>{"garbage one", "garbage two"}));
}

// "YYYYMMDDTHHMMSS" in UTC, the stamp of aside names.
std::string Stamp(std::time_t t) {
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char out[32];
    std::strftime(out, sizeof out, "%Y%m%dT%H%M%S", &tm);
    return out;
}

TEST_F(RegistryTest, AsideNamesCarryTheUtcTimeAndNeverReplaceWhatIsThere) {
    const std::time_t before = std::time(nullptr);
    // Links that point nowhere under the names the next damage would take first.
    std::set<fs::path> planted;
    for (std::time_t t = before; t <= before + 2; ++t) {
        const fs::path link = temp.Path() / ("user.reg.damaged-" + Stamp(t));
        fs::create_symlink(temp.Path() / "nowhere", link);
        planted.insert(link);
    }
    WriteAll(user, "garbage");
    fs::path aside;
    try {
        reg.KeyExists(HKCU, "");
        FAIL() << "no DamagedHiveError";
    } catch (const DamagedHiveError& e) {
        aside = e.AsidePath();
    }
    const std::time_t after = std::time(nullptr);

    EXPECT_EQ(planted.count(aside), 0u);
    for (const fs::path& link : planted) EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(ReadAll(aside), "garbage");
    const std::string name = aside.filename().string();
    std::set<std::string> allowed;
    for (std::time_t t = before; t <= after; ++t) allowed.insert(Stamp(t));
    const std::string stamp = name.substr(std::string("user.reg.damaged-").size(), 15);
    EXPECT_EQ(allowed.count(stamp), 1u) << name;
}

TEST_F(RegistryTest, FilesAreForTheOwnerOnly) {
    reg.SetString(HKCU, "Software\\A", "x", "1");
    for (const fs::path& p : {user, fs::path(user.string() + ".lock")}) {
        struct stat st;
        ASSERT_EQ(::stat(p.c_str(), &st), 0) << p;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << p;
    }
}

TEST(RegistryFailures, UnwritableOrUnreadableHiveIsARegistryError) {
    TempFolder temp;
    WriteAll(temp.Path() / "file", "x");
    Registry blocked(temp.Path() / "file" / "user.reg", temp.Path() / "file" / "system.reg");
    EXPECT_THROW(blocked.SetString(HKCU, "Software\\A", "x", "1"), RegistryError);
    EXPECT_FALSE(blocked.KeyExists(HKCU, "Software"));  // nothing there to read

    fs::create_directories(temp.Path() / "dir.reg");
    Registry folder(temp.Path() / "dir.reg", temp.Path() / "system.reg");
    EXPECT_THROW(folder.KeyExists(HKCU, ""), RegistryError);
    EXPECT_THROW(folder.SetString(HKCU, "a", "b", "c"), RegistryError);
    EXPECT_TRUE(fs::is_directory(temp.Path() / "dir.reg"));
}

}  // namespace
