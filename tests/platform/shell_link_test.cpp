// Shell links: what the writer puts in, the reader gets back; links written by other shells
// (without link info, with ANSI strings) are read from the fields they have; damaged and hostile
// files are refused with a reason, whatever their lengths and offsets claim.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "platform/shell_link.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace plenova::platform;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kFlags = 20;
constexpr std::size_t kHeaderSize = 0x4C;

std::uint32_t At32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::size_t IdListEnd(const Bytes& b) {
    return kHeaderSize + 2 + (b[kHeaderSize] | (b[kHeaderSize + 1] << 8));
}

TEST(ShellLinkTest, WhatIsWrittenIsReadBack) {
    struct Case {
        const char* path;
        const char* arguments;
        bool folder;
        const char* workingFolder;
    };
    const Case cases[] = {
        {"C:\\WINDOWS\\PlenovaSaver.scr", "/c", false, "C:\\WINDOWS"},
        {"C:\\WINDOWS\\PlenovaSetup.exe", "/UNINST Plenova Saver", false, "C:\\WINDOWS"},
        {"C:\\Program Files\\Plenova Saver\\宇宙のカエル.exe", "", false,
         "C:\\Program Files\\Plenova Saver"},
        {"D:\\x.exe", "\"quoted\" %1 $HOME", false, "D:\\"},
        {"C:\\Games", "", true, "C:\\"},
        {"C:\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k\\deep name with blanks.exe", "😀", false,
         "C:\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k"},
    };
    for (const Case& c : cases) {
        ShellLinkTarget target;
        target.windowsPath = c.path;
        target.isFolder = c.folder;
        const auto link = ReadShellLink(BuildShellLink(target, c.arguments));
        ASSERT_TRUE(link) << c.path << ": " << link.error().message;
        EXPECT_EQ(link->targetPath, c.path);
        EXPECT_EQ(link->arguments, c.arguments) << c.path;
        EXPECT_EQ(link->workingFolder, c.workingFolder) << c.path;
        EXPECT_EQ(link->isFolder, c.folder) << c.path;
        EXPECT_EQ(link->description, "");
    }
}

// Links without link info (made for a path that no longer exists, or by other shells) are
// read from their target item list, long names included.
TEST(ShellLinkTest, WithoutLinkInfoTheItemListGivesThePath) {
    for (const char* path :
         {"C:\\WINDOWS\\PlenovaSaver.scr", "C:\\Program Files\\設定 ツール.exe"}) {
        ShellLinkTarget target;
        target.windowsPath = path;
        Bytes bytes = BuildShellLink(target, "/s");
        const std::size_t infoAt = IdListEnd(bytes);
        const std::uint32_t infoSize = At32(bytes, infoAt);
        bytes.erase(bytes.begin() + infoAt, bytes.begin() + infoAt + infoSize);
        Set32(bytes, kFlags, At32(bytes, kFlags) & ~0x2u);
        const auto link = ReadShellLink(bytes);
        ASSERT_TRUE(link) << link.error().message;
        EXPECT_EQ(link->targetPath, path);
        EXPECT_EQ(link->arguments, "/s");
    }
}

// A link of an older shell: ANSI (Shift-JIS) strings, a description, a relative path and an
// icon location that the reader passes over in order.
TEST(ShellLinkTest, AnsiStringsAndSkippedFieldsAreReadInOrder) {
    ShellLinkTarget target;
    target.windowsPath = "C:\\WINDOWS\\PlenovaSaver.scr";
    Bytes bytes = BuildShellLink(target, "");
    bytes.resize(IdListEnd(bytes) + At32(bytes, IdListEnd(bytes)));  // up to the link info
    Set32(bytes, kFlags, 0x01 | 0x02 | 0x04 | 0x08 | 0x10 | 0x20 | 0x40);
    const auto put = [&](std::string_view ansi) {
        bytes.push_back(static_cast<std::uint8_t>(ansi.size()));
        bytes.push_back(0);
        bytes.insert(bytes.end(), ansi.begin(), ansi.end());
    };
    put("\x90\xdd\x92\xe8");  // "設定" in Shift-JIS
    put(".\\PlenovaSaver.scr");
    put("C:\\WINDOWS");
    put("/c");
    put("C:\\WINDOWS\\PlenovaSaver.scr");
    bytes.insert(bytes.end(), 4, 0);
    const auto link = ReadShellLink(bytes);
    ASSERT_TRUE(link) << link.error().message;
    EXPECT_EQ(link->description, "設定");
    EXPECT_EQ(link->workingFolder, "C:\\WINDOWS");
    EXPECT_EQ(link->arguments, "/c");
    EXPECT_EQ(link->targetPath, "C:\\WINDOWS\\PlenovaSaver.scr");
}

TEST(ShellLinkTest, EveryCutShortLinkIsRefusedWithoutReadingPastItsEnd) {
    ShellLinkTarget target;
    target.windowsPath = "C:\\Program Files\\Plenova Saver\\宇宙.exe";
    const Bytes whole = BuildShellLink(target, "/UNINST Plenova Saver");
    // The last four bytes are the terminal block, which the reader does not need.
    for (std::size_t size = 0; size + 4 < whole.size(); ++size) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        const auto link = ReadShellLink(cut);
        EXPECT_FALSE(link) << "accepted at " << size << " of " << whole.size() << " bytes";
    }
}

TEST(ShellLinkTest, LengthsAndOffsetsBeyondTheFileAreRefused) {
    ShellLinkTarget target;
    target.windowsPath = "C:\\WINDOWS\\PlenovaSaver.scr";
    const Bytes good = BuildShellLink(target, "/c");
    const std::size_t info = IdListEnd(good);
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        bool as16;
    };
    const Damage damages[] = {
        {"header size", 0, 0x4D, false},
        {"item list size", kHeaderSize, 0xFFFF, true},
        {"item size", kHeaderSize + 2, 0xFFF0, true},
        {"item size below its header", kHeaderSize + 2, 1, true},
        {"link info size", info, 0xFFFFFFF0, false},
        {"link info size below its header", info, 4, false},
        {"link info header size", info + 4, 0x7FFFFFFF, false},
        {"local path offset", info + 16, 0xFFFFFFF0, false},
        {"local path offset at the end", info + 16, At32(good, info), false},
        {"path suffix offset", info + 24, 0x80000000, false},
        {"string length", info + At32(good, info), 0xFFFF, true},
    };
    for (const Damage& d : damages) {
        Bytes bad = good;
        if (d.as16) {
            bad[d.at] = static_cast<std::uint8_t>(d.value);
            bad[d.at + 1] = static_cast<std::uint8_t>(d.value >> 8);
        } else {
            Set32(bad, d.at, d.value);
        }
        const auto link = ReadShellLink(bad);
        ASSERT_FALSE(link) << d.what;
        EXPECT_FALSE(link.error().message.empty()) << d.what;
    }

    // A local path without its terminating NUL inside the link info.
    Bytes unterminated = good;
    const std::size_t pathAt = info + At32(good, info + 16);
    for (std::size_t i = pathAt; i < info + At32(good, info); ++i)
        if (unterminated[i] == 0) unterminated[i] = 'x';
    EXPECT_FALSE(ReadShellLink(unterminated));

    EXPECT_FALSE(ReadShellLink(Bytes(kMaxShellLinkSize + 1, 0)));
    Bytes notALink = good;
    notALink[4] ^= 0xFF;  // class id
    EXPECT_FALSE(ReadShellLink(notALink));
}

TEST(ShellLinkTest, FilesThatAreNoRegularFilesAreRefusedAtOnce) {
    plenova::testing::TempFolder temp("plenova-shell-link");
    const fs::path fifo = temp / "waiting.lnk";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadShellLinkFile(fifo));  // returns without a writer on the other end
    EXPECT_FALSE(ReadShellLinkFile(temp.Path()));
    EXPECT_FALSE(ReadShellLinkFile(temp / "missing.lnk"));
    const fs::path device = temp / "zero.lnk";
    fs::create_symlink("/dev/zero", device);
    const auto fromDevice = ReadShellLinkFile(device);
    ASSERT_FALSE(fromDevice);
    EXPECT_NE(fromDevice.error().message.find("no regular file"), std::string::npos);
    // Sparse: refused on its size, before any of it is read.
    const fs::path huge = temp / "huge.lnk";
    plenova::testing::WriteAll(huge, "L");
    fs::resize_file(huge, 1ull << 30);
    const auto fromHuge = ReadShellLinkFile(huge);
    ASSERT_FALSE(fromHuge);
    EXPECT_NE(fromHuge.error().message.find("file too large"), std::string::npos);

    ShellLinkTarget target;
    target.windowsPath = "C:\\WINDOWS\\PlenovaSaver.scr";
    const fs::path file = temp / "saver.lnk";
    // Readable by the desktop whatever the umask, and nothing left beside it.
    const mode_t oldMask = ::umask(077);
    WriteShellLinkFile(file, BuildShellLink(target, "/p 1"));
    WriteShellLinkFile(file, BuildShellLink(target, "/p 2"));
    ::umask(oldMask);
    EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0644));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(temp.Path())) ++entries;
    EXPECT_EQ(entries, 4u);  // the FIFO, the two links above and the written link
    const auto link = ReadShellLinkFile(file);
    ASSERT_TRUE(link) << link.error().message;
    EXPECT_EQ(link->arguments, "/p 2");
    // A link cannot be written over a folder or into a missing one.
    EXPECT_THROW(WriteShellLinkFile(temp.Path(), BuildShellLink(target, "")), FileError);
    EXPECT_THROW(WriteShellLinkFile(temp / "none" / "x.lnk", BuildShellLink(target, "")),
                 FileError);
}

}  // namespace
