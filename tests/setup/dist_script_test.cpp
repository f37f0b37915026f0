// The distribution medium's "SETUP.ini" as the build writes it: read back with the script
// reader, it names the product, its folder and shortcuts, and installs exactly the files the
// build puts beside it.
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/text_conversion.h"
#include "setup/profile_reader.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using plenova::setup::ProfileFile;

namespace {

const fs::path kDist = fs::path(PLENOVA_DIST_DIR);

// Field `index` (from 1) of a comma-separated entry; "" when there are fewer fields.
std::string Field(const std::string& value, int index) {
    std::stringstream fields(value);
    std::string field;
    for (int i = 1; i <= index; ++i) {
        if (!std::getline(fields, field, ',')) return "";
    }
    return field;
}

std::vector<std::string> List(const ProfileFile& script, const std::string& key) {
    std::vector<std::string> entries;
    for (int n = 1;; ++n) {
        std::string value = script.Value("SETUP", key + std::to_string(n));
        if (value.empty()) return entries;
        entries.push_back(std::move(value));
    }
}

class DistScript : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path path = kDist / "SETUP.ini";
        ASSERT_TRUE(fs::is_regular_file(path)) << path;
        bytes_ = plenova::testing::ReadAll(path);
        script_ = ProfileFile::Parse(bytes_);
    }
    std::string bytes_;
    ProfileFile script_;
};

TEST_F(DistScript, IsShiftJisWithWindowsLineEnds) {
    EXPECT_NO_THROW(plenova::platform::FromShiftJis(bytes_));
    EXPECT_NE(bytes_.find(plenova::platform::ToShiftJis("の設定")), std::string::npos);
    for (std::size_t at = bytes_.find('\n'); at != std::string::npos; at = bytes_.find('\n', at + 1)) {
        ASSERT_TRUE(at > 0 && bytes_[at - 1] == '\r') << "bare LF at byte " << at;
    }
}

TEST_F(DistScript, NamesTheProductFolderAndShortcuts) {
    // Read under both spellings of the section, as the setup program asks for them.
    EXPECT_EQ(script_.Value("SETUP", "Title"), "Plenova Saver");
    EXPECT_EQ(script_.Value("Setup", "DstDir"), "Program Files\\Plenova Saver");
    EXPECT_EQ(script_.Value("Setup", "Group"), "Plenova Saver");
    const auto icons = List(script_, "GroupIcon");
    ASSERT_EQ(icons.size(), 2u);
    EXPECT_EQ(Field(icons[0], 2), "$WIN\\PlenovaSaver.scr");
    EXPECT_EQ(Field(icons[0], 3), "/c");
    EXPECT_EQ(Field(icons[1], 2), "$WIN\\PlenovaSetup.exe");
    EXPECT_EQ(Field(icons[1], 3), "/UNINST Plenova Saver");
    EXPECT_FALSE(script_.HasSection("BOOT"));
}

TEST_F(DistScript, CopiesTheSaverAndEveryDataFileThatIsThere) {
    const auto copies = List(script_, "Copy");
    ASSERT_FALSE(copies.empty());
    EXPECT_EQ(copies[0], "PlenovaSaver.scr,,$WIN");
    std::set<std::string> sources;
    for (const std::string& entry : copies) {
        SCOPED_TRACE(entry);
        const std::string source = Field(entry, 1);
        EXPECT_TRUE(sources.insert(source).second) << "listed twice";
        EXPECT_TRUE(fs::is_regular_file(kDist / fs::path(source)));
        if (source != "PlenovaSaver.scr") {
            // Data files go straight into the destination folder under their own names.
            EXPECT_EQ(entry, source);
        }
    }
    EXPECT_TRUE(sources.contains("背景.bmp"));
    // Every file the data generator writes is installed.
    std::stringstream generated(PLENOVA_DATA_FILES);
    std::string file;
    int count = 0;
    while (std::getline(generated, file, '|')) {
        ++count;
        EXPECT_TRUE(sources.contains(fs::path(file).filename().string())) << file;
    }
    EXPECT_GT(count, 0);
}

}  // namespace
