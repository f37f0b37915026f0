// Hive files shaped to hurt: deep, wide, many values, names and depths beyond the limits. Each
// ends with a correct read or a clear error, and nothing stored before is lost.
#include <sys/wait.h>

#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/registry.h"
#include "tests/platform/registry_fixture.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::ReadAll;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;

namespace {

constexpr Hive HKCU = Hive::CurrentUser;
const std::string kFileHeader = "Windows Registry Editor Version 5.00\n\n";

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// "a\a\...\a", `depth` components.
std::string DeepPath(std::size_t depth, std::string_view name = "a") {
    std::string path(name);
    for (std::size_t i = 1; i < depth; ++i) (path += "\\") += name;
    return path;
}

const std::string kStored =
    "[HKEY_CURRENT_USER\\Software\\PlenovaSaver\\User]\n\"Pass\"=\"パスワード\"\n\n";

class HostileHiveTest : public plenova::testing::RegistryFixture {
protected:
    std::optional<std::string> Password() const {
        return reg.QueryString(HKCU, "Software\\PlenovaSaver\\User", "Pass");
    }
};

TEST_F(HostileHiveTest, HivesBeyondTheLimitsAreMovedAsideWhole) {
    struct Case {
        const char* what;
        std::string body;
        const char* damage;  // in the message
    };
    const std::string astral = "\xF0\x9F\x90\xB8";  // two UTF-16 units
    const std::vector<Case> cases = {
        {"a key 200 000 levels deep", "[HKEY_CURRENT_USER\\" + DeepPath(200000) + "]\n",
         "200000 levels"},
        {"a key 513 levels deep", "[HKEY_CURRENT_USER\\" + DeepPath(513) + "]\n\"v\"=\"1\"\n",
         "513 levels"},
        {"a key name of 256 characters",
         "[HKEY_CURRENT_USER\\Software\\" + std::string(256, 'k') + "]\n", "256 characters"},
        {"a key name of 128 characters outside the BMP",
         "[HKEY_CURRENT_USER\\Software\\" + Repeat(astral, 128) + "]\n", "256 characters"},
        {"chains of 512 levels named only at their ends",
         [] {
             std::string body;
             for (int i = 0; i < 200; ++i)
                 body += "[HKEY_CURRENT_USER\\Chains\\" + std::to_string(i) + "\\" + DeepPath(510) +
                         "]\n";
             return body;
         }(),
         "more keys than a file of its size may hold"},
        {"a value name of 16 384 characters",
         "[HKEY_CURRENT_USER\\Software\\Other]\n\"" + std::string(16384, 'v') + "\"=dword:1\n",
         "16384 characters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = kFileHeader + kStored + c.body;
        WriteAll(user, text);
        for (const auto& aside : AsideFiles()) fs::remove(aside);
        // A reader that asks for another key finds the damage too, so readers and writers
        // never disagree about a file.
        try {
            Password();
            ADD_FAILURE() << "no error";
        } catch (const DamagedHiveError& e) {
            EXPECT_NE(std::string(e.what()).find(c.damage), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("has been kept as"), std::string::npos);
            EXPECT_EQ(e.HivePath(), user);
            EXPECT_EQ(ReadAll(e.AsidePath()), text);  // nothing of it lost
        }
        EXPECT_EQ(AsideFiles().size(), 1u);
        EXPECT_FALSE(fs::exists(user));
        EXPECT_FALSE(Password());  // the next call sees an empty hive
    }
}

TEST_F(HostileHiveTest, LimitsHoldUpToTheirLastUnit) {
    const std::string astral = "\xF0\x9F\x90\xB8";
    reg.SetString(HKCU, "Software\\PlenovaSaver\\User", "Pass", "パスワード");
    const std::string deepest = DeepPath(512);
    const std::string longKey = "Software\\" + std::string(255, 'k');
    const std::string longAstralKey = "Software\\" + Repeat(astral, 127) + "x";
    const std::string longValue(16383, 'v');
    EXPECT_TRUE(reg.CreateKey(HKCU, deepest));
    reg.SetDword(HKCU, longKey, longValue, 7);
    reg.SetString(HKCU, longAstralKey, "", "astral");

    Registry fresh(machine);
    EXPECT_TRUE(fresh.KeyExists(HKCU, deepest));
    EXPECT_EQ(fresh.QueryValue(HKCU, longKey, longValue)->dword, 7u);
    EXPECT_EQ(fresh.QueryString(HKCU, longAstralKey, ""), "astral");
    EXPECT_TRUE(AsideFiles().empty());

    // One unit more is refused before anything is written.
    const std::string before = ReadAll(user);
    const std::vector<std::pair<const char*, std::function<void()>>> beyond = {
        {"depth", [&] { reg.CreateKey(HKCU, DeepPath(513)); }},
        {"depth under a value", [&] { reg.SetString(HKCU, deepest + "\\b", "v", "x"); }},
        {"key name", [&] { reg.SetString(HKCU, longKey + "k", "v", "x"); }},
        {"key name outside the BMP",
         [&] { reg.CreateKey(HKCU, "Software\\" + Repeat(astral, 128)); }},
        {"value name", [&] { reg.SetDword(HKCU, "Software", longValue + "v", 1); }},
        {"9000 levels", [&] { reg.CreateKey(HKCU, DeepPath(9000)); }},
    };
    for (const auto& [what, write] : beyond) {
        SCOPED_TRACE(what);
        EXPECT_THROW(write(), std::invalid_argument);
        EXPECT_EQ(ReadAll(user), before);
    }
    // Such keys cannot exist: looking for or deleting them finds nothing.
    EXPECT_FALSE(reg.KeyExists(HKCU, DeepPath(513)));
    EXPECT_FALSE(reg.DeleteKey(HKCU, DeepPath(9000)));
    EXPECT_FALSE(reg.DeleteValue(HKCU, "Software", longValue + "v"));

    // The deepest key goes with its top; its export names every level.
    const auto exported = reg.Export(HKCU, "a");
    ASSERT_TRUE(exported);
    EXPECT_NE(exported->find("[HKEY_CURRENT_USER\\" + deepest + "]\n"), std::string::npos);
    EXPECT_TRUE(reg.DeleteKey(HKCU, "A"));
    EXPECT_FALSE(reg.KeyExists(HKCU, "a"));
    EXPECT_EQ(Password(), "パスワード");
}

TEST_F(HostileHiveTest, WideHivesAndManyValuesReadCorrectly) {
    constexpr int kCount = 100000;
    std::string text = kFileHeader + kStored;
    for (int i = 0; i < kCount; ++i)
        text += "[HKEY_CURRENT_USER\\Wide\\Key" + std::to_string(i) + "]\n";
    // A key header met again later, in another case, is the same key.
    text += "[HKEY_CURRENT_USER\\WIDE\\key5]\n\"late\"=\"yes\"\n\n";
    text += "[HKEY_CURRENT_USER\\Many]\n";
    for (int i = 0; i < kCount; ++i)
        text += "\"V" + std::to_string(i) + "\"=dword:" + std::to_string(i % 10) + "\n";
    // Duplicates far apart: the last one counts, in its own place.
    text += "\"v7\"=\"again\"\n\"Übergröße\"=\"1\"\nunknown line\n\"ÜBERGRÖßE\"=\"2\"\n";
    WriteAll(user, text);

    const auto keys = reg.SubKeys(HKCU, "Wide");
    ASSERT_TRUE(keys);
    ASSERT_EQ(keys->size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(keys->front(), "Key0");
    EXPECT_EQ((*keys)[54321], "Key54321");
    EXPECT_EQ(reg.QueryString(HKCU, "wide\\KEY5", "late"), "yes");

    const auto values = reg.Values(HKCU, "Many");
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), static_cast<std::size_t>(kCount) + 1);
    EXPECT_EQ((*values)[99998].name, "V99999");
    EXPECT_EQ((*values)[99999].name, "v7");
    EXPECT_EQ(values->back().text, "2");
    EXPECT_EQ(reg.QueryString(HKCU, "Many", "V7"), "again");
    EXPECT_EQ(reg.QueryValue(HKCU, "Many", "v99998")->dword, 8u);
    EXPECT_EQ(reg.QueryString(HKCU, "Many", "übergröße"), "2");

    // A write keeps all of it, and drops only the duplicates it replaces.
    reg.SetString(HKCU, "Many", "V7", "third");
    reg.SetDword(HKCU, "Wide\\Key99999", "n", 1);
    EXPECT_TRUE(reg.DeleteKey(HKCU, "Wide\\Key3"));
    Registry fresh(machine);
    EXPECT_EQ(fresh.SubKeys(HKCU, "Wide")->size(), static_cast<std::size_t>(kCount) - 1);
    EXPECT_FALSE(fresh.KeyExists(HKCU, "Wide\\Key3"));
    EXPECT_TRUE(fresh.KeyExists(HKCU, "Wide\\Key4"));
    EXPECT_EQ(fresh.Values(HKCU, "Many")->size(), static_cast<std::size_t>(kCount) + 1);
    EXPECT_EQ(fresh.QueryString(HKCU, "Many", "v7"), "third");
    EXPECT_EQ(fresh.QueryString(HKCU, "Many", "ÜBERGRÖßE"), "2");
    const std::string saved = ReadAll(user);
    EXPECT_EQ(saved.find("\"V7\"="), std::string::npos);
    EXPECT_NE(saved.find("\"V6\"=dword:00000006\n\"V8\"=dword:00000008\n"), std::string::npos);
    EXPECT_NE(saved.find("\"v7\"=\"third\"\n"), std::string::npos);
    EXPECT_NE(saved.find("\nunknown line\n"), std::string::npos);
    EXPECT_EQ(fresh.QueryString(HKCU, "Software\\PlenovaSaver\\User", "Pass"), "パスワード");
}

TEST_F(HostileHiveTest, WritesThatWouldOutgrowTheReadLimitChangeNothing) {
    // 512 levels of 255 three-byte characters: each header repeats the whole path, so the text
    // would pass 64 MiB long before the last level.
    reg.SetString(HKCU, "Software\\PlenovaSaver\\User", "Pass", "パスワード");
    const std::string before = ReadAll(user);
    try {
        reg.CreateKey(HKCU, DeepPath(512, Repeat("あ", 255)));
        ADD_FAILURE() << "no error";
    } catch (const DamagedHiveError&) {
        ADD_FAILURE() << "damaged";
    } catch (const RegistryError& e) {
        EXPECT_NE(std::string(e.what()).find("64 MiB"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadAll(user), before);
    EXPECT_EQ(Password(), "パスワード");

    // A file that names only its deepest keys is small, but written back or exported it names
    // every level. Reading it works; rewriting and exporting it are refused.
    std::string text = kFileHeader + kStored;
    const std::string chain = DeepPath(510, "abcdefgh");  // 512 levels in all
    for (int i = 0; i < 64; ++i)
        text += "[HKEY_CURRENT_USER\\Chains\\" + std::to_string(i) + "\\" + chain +
                "]\n\"x\"=\"y\"\n\n";
    WriteAll(user, text);
    EXPECT_EQ(reg.QueryString(HKCU, "Chains\\63\\" + chain, "x"), "y");
    EXPECT_EQ(reg.SubKeys(HKCU, "Chains")->size(), 64u);
    EXPECT_THROW(reg.SetString(HKCU, "Software\\PlenovaSaver\\User", "Pass", "new"), RegistryError);
    EXPECT_THROW(reg.Export(HKCU, "Chains"), RegistryError);
    EXPECT_EQ(ReadAll(user), text);
    EXPECT_EQ(Password(), "パスワード");
    EXPECT_TRUE(reg.Export(HKCU, "Chains\\0"));  // one chain is small enough
}

// The registry tool, as a user runs it on such hives: a message and an exit code, never a crash.
struct ToolRun {
    int code = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

ToolRun RunTool(const fs::path& root, const fs::path& scratch,
                const std::vector<std::string>& args) {
    const auto quote = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string command =
        "PLENOVA_MACHINE=" + quote(root.string()) + " " + quote(PLENOVA_MACHINE_TOOL);
    for (const auto& a : args) command += " " + quote(a);
    command += " </dev/null >" + quote((scratch / "out").string()) + " 2>" +
               quote((scratch / "err").string());
    const int status = std::system(command.c_str());
    ToolRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadAll(scratch / "out");
    r.err = ReadAll(scratch / "err");
    return r;
}

TEST_F(HostileHiveTest, ToolReportsADeepHiveAndGoesOnEmpty) {
    const std::string text =
        kFileHeader + kStored + "[HKEY_CURRENT_USER\\" + DeepPath(200000) + "]\n";
    WriteAll(user, text);
    ToolRun r = RunTool(temp.Path(), temp.Path(), {"reg", "query", "HKCU\\Software"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("is damaged (it holds a key path of 200000 levels"), std::string::npos)
        << r.err;
    ASSERT_EQ(AsideFiles().size(), 1u);
    EXPECT_EQ(ReadAll(AsideFiles().front()), text);

    r = RunTool(temp.Path(), temp.Path(),
                {"reg", "add", "HKCU\\Software\\X", "/v", "n", "/d", "1"});
    EXPECT_EQ(r.code, 0) << r.err;
    r = RunTool(temp.Path(), temp.Path(), {"reg", "query", "HKCU\\Software"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("HKEY_CURRENT_USER\\Software\\X"), std::string::npos);

    // A key deeper than the limit is refused with the reason; the hive stays as it was.
    const std::string before = ReadAll(user);
    r = RunTool(temp.Path(), temp.Path(),
                {"reg", "add", "HKCU\\" + DeepPath(9000), "/v", "n", "/d", "1"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("9000 levels (at most 512)"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(user), before);
}

}  // namespace
