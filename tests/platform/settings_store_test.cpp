#include "platform/settings_store.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::ReadAll;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    TempFolder temp;
    ScopedMachine machine{temp.Path()};
    fs::path user = machine->UserHivePath();
    SettingsStore store;
};

TEST_F(SettingsStoreTest, FreshAccountReadsDefaultsAndWritesNothing) {
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "App", "Dir", ""), "");
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "Set", "Mouse", "1"), "1");
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "User", "Usepassword", "0"), "0");
    EXPECT_EQ(ReadSetting("ZEVRA6", "Set", "Mute", "0"), "0");
    EXPECT_FALSE(fs::exists(user));
    // A missing key beside present ones: still the default, and the file is left as it was.
    store.WriteSetting("PlenovaSaver", "Set", "Mouse", "5");
    const std::string before = ReadAll(user);
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "Set", "Other", "dflt"), "dflt");
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "Missing", "Mouse", "dflt"), "dflt");
    EXPECT_EQ(ReadAll(user), before);
}

TEST_F(SettingsStoreTest, WriteCreatesTheBranchAndReadsBackExactly) {
    WriteSetting("PlenovaSaver", "User", "Pass", "パスワード ");
    EXPECT_NE(ReadAll(user).find("[HKEY_CURRENT_USER\\Software\\PlenovaSaver\\User]\n\"Pass\"=\"パスワード \"\n"),
              std::string::npos);
    for (const std::string value : {"パスワード ", "Abc ", "  lead", "a\"b\\c\\", "C:\\Program Files\\Plenova\\", "\t"}) {
        SCOPED_TRACE(value);
        store.WriteSetting("PlenovaSaver", "User", "Pass", value);
        EXPECT_EQ(ReadSetting("PlenovaSaver", "User", "Pass", "x"), value);
    }
    // An empty password is a value, not a missing one.
    store.WriteSetting("PlenovaSaver", "User", "Pass", "");
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "User", "Pass", "default"), "");
    // "Abc" and "abc" are different values; key names are not case-sensitive.
    store.WriteSetting("PlenovaSaver", "User", "Pass", "Abc");
    EXPECT_EQ(store.ReadSetting("plenovasaver", "USER", "pass", ""), "Abc");
}

TEST_F(SettingsStoreTest, NoCacheAnotherWriterIsSeenAtOnce) {
    SettingsStore other;
    store.WriteSetting("PlenovaSaver", "Set", "Mouse", "3");
    EXPECT_EQ(other.ReadSetting("PlenovaSaver", "Set", "Mouse", "1"), "3");
    // Another process writes the file.
    std::string command = "'";
    command += PLENOVA_MACHINE_TOOL;
    command += "' reg add 'HKCU\\Software\\PlenovaSaver\\Set' /v Mouse /d 7 /f >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "Set", "Mouse", "1"), "7");
    // Somebody edits the file by hand.
    std::string text = ReadAll(user);
    text.replace(text.find("\"7\""), 3, "\"9\"");
    WriteAll(user, text);
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "Set", "Mouse", "1"), "9");
    // A store on an explicit registry sees the same file.
    SettingsStore explicitStore{Registry(*machine)};
    EXPECT_EQ(explicitStore.ReadSetting("PlenovaSaver", "Set", "Mouse", "1"), "9");
}

TEST_F(SettingsStoreTest, StoresFollowTheCurrentMachine) {
    store.WriteSetting("PlenovaSaver", "App", "Dir", "C:\\Saver");
    {
        TempFolder second;
        ScopedMachine inner(second.Path());
        EXPECT_EQ(store.ReadSetting("PlenovaSaver", "App", "Dir", ""), "");
        WriteSetting("PlenovaSaver", "App", "Dir", "D:\\Other");
        EXPECT_TRUE(fs::exists(second.Path() / "user.reg"));
    }
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "App", "Dir", ""), "C:\\Saver");
}

TEST_F(SettingsStoreTest, RefusedWritesAreSilentAndChangeNothing) {
    store.WriteSetting("PlenovaSaver", "Set", "Mouse", "2");
    const std::string before = ReadAll(user);
    store.WriteSetting("", "Set", "Mouse", "1");
    store.WriteSetting("PlenovaSaver", "", "Mouse", "1");
    store.WriteSetting("PlenovaSaver", "Set", "", "1");
    store.WriteSetting("Plenova\\\\Saver", "Set", "Mouse", "1");
    store.WriteSetting("PlenovaSaver", "Se\nt", "Mouse", "1");
    store.WriteSetting("PlenovaSaver", "Set", "Mouse", "\xFF");
    EXPECT_EQ(ReadAll(user), before);
    EXPECT_EQ(store.ReadSetting("", "Set", "Mouse", "d"), "d");
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "", "Mouse", "d"), "d");

    // A hive that cannot be written at all.
    WriteAll(temp.Path() / "blocker", "x");
    SettingsStore blocked{Registry(temp.Path() / "blocker" / "user.reg", temp.Path() / "blocker" / "system.reg")};
    blocked.WriteSetting("PlenovaSaver", "Set", "Mouse", "4");
    EXPECT_EQ(blocked.ReadSetting("PlenovaSaver", "Set", "Mouse", "1"), "1");
}

TEST_F(SettingsStoreTest, DamagedHiveIsReportedAndTheNewValueStillKept) {
    WriteAll(user, "this is no registry file\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "Set", "Mouse", "1"), "1");
    std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("damaged"), std::string::npos);
    EXPECT_NE(message.find("user.reg.damaged-"), std::string::npos);

    WriteAll(user, "still \xFF no registry file\n");
    ::testing::internal::CaptureStderr();
    store.WriteSetting("PlenovaSaver", "Set", "Mouse", "6");
    message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("damaged"), std::string::npos);
    EXPECT_EQ(store.ReadSetting("PlenovaSaver", "Set", "Mouse", "1"), "6");
    int aside = 0;
    for (const auto& e : fs::directory_iterator(temp.Path()))
        if (e.path().filename().string().starts_with("user.reg.damaged-")) ++aside;
    EXPECT_EQ(aside, 2);
}

TEST_F(SettingsStoreTest, SectionsOfAnApplication) {
    EXPECT_FALSE(store.ApplicationExists("PlenovaSetup"));
    EXPECT_FALSE(store.SectionName("PlenovaSetup", 0));
    store.WriteSetting("PlenovaSetup", "Plenova Saver", "Copy1", "C:\\Saver\\a.bmp");
    store.WriteSetting("PlenovaSetup", "Other Product", "Copy1", "C:\\Other\\b.bmp");
    EXPECT_EQ(store.Sections("PlenovaSetup"), (std::vector<std::string>{"Plenova Saver", "Other Product"}));
    EXPECT_EQ(store.SectionName("PlenovaSetup", 1), "Other Product");
    EXPECT_FALSE(store.SectionName("PlenovaSetup", 2));

    // An empty section name never reaches the application's whole branch.
    EXPECT_FALSE(store.DeleteSection("PlenovaSetup", ""));
    EXPECT_FALSE(store.DeleteApplication(""));
    EXPECT_TRUE(store.ApplicationExists("PlenovaSetup"));

    EXPECT_TRUE(store.DeleteSetting("PlenovaSetup", "Other Product", "copy1"));
    EXPECT_FALSE(store.DeleteSetting("PlenovaSetup", "Other Product", "copy1"));
    EXPECT_TRUE(store.DeleteSection("PlenovaSetup", "other product"));
    EXPECT_FALSE(store.DeleteSection("PlenovaSetup", "Other Product"));
    EXPECT_EQ(store.SectionName("PlenovaSetup", 0), "Plenova Saver");
    EXPECT_TRUE(store.DeleteSection("PlenovaSetup", "Plenova Saver"));
    EXPECT_TRUE(store.ApplicationExists("PlenovaSetup"));  // the branch itself stays
    EXPECT_FALSE(store.SectionName("PlenovaSetup", 0));
    EXPECT_TRUE(store.DeleteApplication("PlenovaSetup"));
    EXPECT_FALSE(store.ApplicationExists("PlenovaSetup"));
}

TEST_F(SettingsStoreTest, BranchKeys) {
    EXPECT_EQ(SettingsStore::BranchKey("PlenovaSaver", "Set"), "Software\\PlenovaSaver\\Set");
    EXPECT_EQ(SettingsStore::BranchKey("PlenovaSetup", "A\\B"), "Software\\PlenovaSetup\\A\\B");
    EXPECT_FALSE(SettingsStore::BranchKey("", "Set"));
    EXPECT_FALSE(SettingsStore::BranchKey("App", ""));
    EXPECT_FALSE(SettingsStore::BranchKey("App", "\\"));
    EXPECT_FALSE(SettingsStore::BranchKey("App\\", "Set"));
}

}  // namespace
