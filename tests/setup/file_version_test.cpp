// The version readers on PE images made here and by the MinGW tools, on the ELF version notes of
// our own build, and on damaged and hostile files.
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "setup/tavorin/file_version.h"
#include "tests/setup/pe_image.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using plenova::tavorin::FileVersion;
using plenova::tavorin::ReadFileVersion;
using plenova::testing::MakePeImage;
using plenova::testing::PeImage;
using plenova::testing::PeOptions;
using plenova::testing::TempFolder;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<FileVersion> Read(const Bytes& bytes) {
    return ReadFileVersion(std::span<const std::uint8_t>(bytes));
}

void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Set16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

PeImage Versioned(bool pe32Plus) {
    return MakePeImage({.pe32Plus = pe32Plus, .version = {{2, 5, 0, 17}}});
}

TEST(PeVersion, ReadsTheFixedFileVersionOfPe32AndPe32Plus) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        EXPECT_EQ(Read(Versioned(plus).bytes), (FileVersion{2, 5, 0, 17}));
        EXPECT_EQ(Read(MakePeImage({.pe32Plus = plus, .version = {}}).bytes), std::nullopt)
            << "an icon but no version resource";
        EXPECT_EQ(Read(MakePeImage({.pe32Plus = plus, .version = {}, .withResources = false}).bytes),
                  std::nullopt);
    }
}

TEST(PeVersion, OrdersLikeOneSixtyFourBitNumber) {
    // Each part outweighs all the parts after it, whatever their values.
    const std::vector<std::pair<FileVersion, FileVersion>> older_newer{
        {{1, 65535, 65535, 65535}, {2, 0, 0, 0}},
        {{1, 1, 65535, 65535}, {1, 2, 0, 0}},
        {{1, 2, 3, 65535}, {1, 2, 4, 0}},
        {{1, 2, 3, 4}, {1, 2, 3, 5}},
    };
    for (const auto& [older, newer] : older_newer) {
        const auto a = Read(MakePeImage({.version = {{older.major, older.minor, older.patch,
                                                       older.build}}}).bytes);
        const auto b = Read(MakePeImage({.pe32Plus = true,
                                         .version = {{newer.major, newer.minor, newer.patch,
                                                      newer.build}}}).bytes);
        ASSERT_TRUE(a && b);
        EXPECT_LT(*a, *b);
        EXPECT_EQ(*a, older);
    }
}

// Runs a MinGW tool; false when it is missing or fails.
bool RunTool(const std::string& command) { return std::system((command + " 2>&1").c_str()) == 0; }

TEST(PeVersion, ReadsLibrariesLinkedByTheMinGwTools) {
    TempFolder temp;
    const fs::path rc = temp / "version.rc";
    plenova::testing::WriteAll(rc,
                               "1 VERSIONINFO\n"
                               "FILEVERSION 3,1,4,15\n"
                               "PRODUCTVERSION 9,9,9,9\n"
                               "BEGIN\n"
                               "  BLOCK \"StringFileInfo\"\n"
                               "  BEGIN\n"
                               "    BLOCK \"041104B0\"\n"
                               "    BEGIN\n"
                               "      VALUE \"FileVersion\", \"3.1.4.15\"\n"
                               "    END\n"
                               "  END\n"
                               "  BLOCK \"VarFileInfo\"\n"
                               "  BEGIN\n"
                               "    VALUE \"Translation\", 0x411, 1200\n"
                               "  END\n"
                               "END\n");
    const std::vector<std::pair<std::string, bool>> toolchains{{"i686-w64-mingw32", false},
                                                               {"x86_64-w64-mingw32", true}};
    for (const auto& [prefix, plus] : toolchains) {
        SCOPED_TRACE(prefix);
        const fs::path object = temp / (prefix + ".o");
        const fs::path dll = temp / (prefix + ".dll");
        ASSERT_TRUE(RunTool(prefix + "-windres --preprocessor=cpp '" + rc.string() +
                        "' -O coff -o '" + object.string() + "'"));
        ASSERT_TRUE(RunTool(prefix + "-ld --dll -e 0 -o '" + dll.string() + "' '" +
                        object.string() + "'"));
        const Bytes bytes = plenova::testing::ReadBytes(dll);
        ASSERT_GT(bytes.size(), 0x40u);
        const std::uint32_t pe = bytes[0x3C] | (bytes[0x3D] << 8);
        EXPECT_EQ(bytes[pe + 24] | (bytes[pe + 25] << 8), plus ? 0x20B : 0x10B);
        EXPECT_EQ(ReadFileVersion(dll), (FileVersion{3, 1, 4, 15}));
    }
}

TEST(PeVersion, EveryTruncationBeforeTheVersionEndsGivesNone) {
    for (bool plus : {false, true}) {
        const PeImage image = Versioned(plus);
        const std::size_t end = image.versionInfo + 92;
        for (std::size_t size = 0; size <= image.bytes.size(); ++size) {
            const Bytes cut(image.bytes.begin(), image.bytes.begin() + size);
            const auto version = Read(cut);
            if (size < end)
                ASSERT_EQ(version, std::nullopt) << "size " << size;
            else
                ASSERT_EQ(version, (FileVersion{2, 5, 0, 17})) << "size " << size;
        }
    }
}

TEST(PeVersion, HostileHeadersAndTreesGiveNone) {
    using Tamper = std::function<void(PeImage&)>;
    const std::vector<std::pair<const char*, Tamper>> cases{
        {"PE offset past the end", [](PeImage& i) { Set32(i.bytes, 0x3C, 0xFFFFFFF0); }},
        {"PE offset into the DOS header's end",
         [](PeImage& i) { Set32(i.bytes, 0x3C, static_cast<std::uint32_t>(i.bytes.size() - 2)); }},
        {"unknown optional header magic", [](PeImage& i) { Set16(i.bytes, i.optionalHeader, 0x107); }},
        {"too few data directories",
         [](PeImage& i) { Set32(i.bytes, i.optionalHeader + 92, 2); }},
        {"optional header too small for the resource directory",
         [](PeImage& i) { Set16(i.bytes, i.peHeader + 4 + 16, 96); }},
        {"no sections", [](PeImage& i) { Set16(i.bytes, i.peHeader + 4 + 2, 0); }},
        {"resource raw data past the end",
         [](PeImage& i) { Set32(i.bytes, i.sectionTable + 40 + 20, 0xFFFFFE00); }},
        {"version type entry is data, not a directory",
         [](PeImage& i) { Set32(i.bytes, i.versionTypeEntry + 4, 0); }},
        {"name directory is the root again (a cycle)",
         [](PeImage& i) { Set32(i.bytes, i.versionTypeEntry + 4, 0x80000000); }},
        {"language entry points at its own directory",
         [](PeImage& i) {
             Set32(i.bytes, i.versionLanguageDir + 16 + 4,
                   0x80000000 | static_cast<std::uint32_t>(i.versionLanguageDir - i.resourceRoot));
         }},
        {"data entry offset past the section",
         [](PeImage& i) { Set32(i.bytes, i.versionLanguageDir + 16 + 4, 0x7FFFFFF0); }},
        {"data size of 4 GiB", [](PeImage& i) { Set32(i.bytes, i.versionDataEntry + 4, 0xFFFFFFFF); }},
        {"data RVA outside every section",
         [](PeImage& i) { Set32(i.bytes, i.versionDataEntry, 0x90000000); }},
        {"data smaller than the fixed information",
         [](PeImage& i) { Set32(i.bytes, i.versionDataEntry + 4, 60); }},
        {"wLength beyond the data", [](PeImage& i) { Set16(i.bytes, i.versionInfo, 0x4000); }},
        {"value shorter than the fixed information",
         [](PeImage& i) { Set16(i.bytes, i.versionInfo + 2, 20); }},
        {"wrong key", [](PeImage& i) { Set16(i.bytes, i.versionInfo + 6 + 2 * 14, 'X'); }},
        {"wrong signature", [](PeImage& i) { Set32(i.bytes, i.versionInfo + 40, 0xFEEF04BC); }},
    };
    for (const auto& [name, tamper] : cases) {
        PeImage image = Versioned(false);
        tamper(image);
        EXPECT_EQ(Read(image.bytes), std::nullopt) << name;
    }
    // Claims that run off the file but lie beyond what the version needs: the reader stops at
    // what it found, without walking or allocating what the claim names.
    const std::vector<std::pair<const char*, Tamper>> harmless{
        {"65535 sections, the table runs off the file",
         [](PeImage& i) { Set16(i.bytes, i.peHeader + 4 + 2, 0xFFFF); }},
        {"resource raw size of 4 GiB",
         [](PeImage& i) { Set32(i.bytes, i.sectionTable + 40 + 16, 0xFFFFFFFF); }},
        {"65535 named and 65535 ID entries",
         [](PeImage& i) {
             Set16(i.bytes, i.resourceRoot + 12, 0xFFFF);
             Set16(i.bytes, i.resourceRoot + 14, 0xFFFF);
         }},
    };
    for (const auto& [name, tamper] : harmless) {
        PeImage image = Versioned(false);
        tamper(image);
        EXPECT_EQ(Read(image.bytes), (FileVersion{2, 5, 0, 17})) << name;
    }
}

TEST(PeVersion, RandomDamageNeverCrashes) {
    std::mt19937 random(20261207);
    const PeImage image = Versioned(true);
    for (int round = 0; round < 20000; ++round) {
        Bytes bytes = image.bytes;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int c = 0; c < changes; ++c) {
            // Mostly the headers and the tree, where the offsets are.
            const std::size_t at = random() % 2 ? random() % 0x200
                                                : image.resourceRoot + random() % 0x110;
            bytes[at] = static_cast<std::uint8_t>(random());
        }
        (void)Read(bytes);
    }
}

Bytes ElfBytes(const fs::path& file) {
    Bytes bytes = plenova::testing::ReadBytes(file);
    if (bytes.size() < 52) ADD_FAILURE() << "cannot read " << file;
    return bytes;
}

TEST(ElfVersionNote, OurLibrariesCarryTheirBuildVersion) {
    EXPECT_EQ(ReadFileVersion(fs::path(TAVORIN_LIBRARY)),
              (FileVersion{PLENOVA_VERSION_MAJOR, PLENOVA_VERSION_MINOR, 0, 0}));
    EXPECT_EQ(ReadFileVersion(fs::path(TAVORIN_REGISTER_OK_LIBRARY)), (FileVersion{2, 5, 0, 1}));
    EXPECT_EQ(ReadFileVersion(fs::path(TAVORIN_NO_NOTE_LIBRARY)), std::nullopt);
    EXPECT_EQ(ReadFileVersion(fs::path("/nonexistent/file")), std::nullopt);
    TempFolder temp;
    EXPECT_EQ(ReadFileVersion(temp.Path()), std::nullopt) << "a folder";
}

TEST(ElfVersionNote, FoundThroughProgramHeadersWhenSectionHeadersAreGone) {
    Bytes bytes = ElfBytes(TAVORIN_REGISTER_OK_LIBRARY);
    ASSERT_EQ(bytes[4], 2) << "64-bit ELF expected";
    for (int i = 0; i < 8; ++i) bytes[0x28 + i] = 0;  // e_shoff
    Set16(bytes, 0x3C, 0);                              // e_shnum
    EXPECT_EQ(Read(bytes), (FileVersion{2, 5, 0, 1}));
}

TEST(ElfVersionNote, ReadsBothWordSizesAndByteOrders) {
    // Small hand-made files, also the fuzz target's seeds: note 1.2.3.4 in each.
    for (const char* name : {"elf64-note", "elf64-note-no-sections", "elf32be-note"}) {
        const Bytes bytes = ElfBytes(fs::path(TAVORIN_VERSION_SEEDS) / name);
        EXPECT_EQ(Read(bytes), (FileVersion{1, 2, 3, 4})) << name;
    }
}

TEST(ElfVersionNote, DamagedFilesGiveNoneOrTheVersionButNeverCrash) {
    const Bytes original = ElfBytes(TAVORIN_REGISTER_OK_LIBRARY);
    // Every truncation.
    for (std::size_t size = 0; size < std::min<std::size_t>(original.size(), 0x1000); ++size) {
        const Bytes cut(original.begin(), original.begin() + size);
        (void)Read(cut);
    }
    // Hostile header fields: huge offsets, counts and entry sizes.
    const std::vector<std::pair<std::size_t, std::uint32_t>> fields{
        {0x20, 0xFFFFFFF0}, {0x28, 0xFFFFFFF0}, {0x36, 0xFFFF}, {0x38, 0xFFFF},
        {0x3A, 0xFFFF},     {0x3C, 0xFFFF},     {0x36, 1},      {0x3A, 1},
    };
    for (const auto& [at, value] : fields) {
        Bytes bytes = original;
        if (at == 0x20 || at == 0x28)
            Set32(bytes, at, value);
        else
            Set16(bytes, at, value);
        (void)Read(bytes);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 5000; ++round) {
        Bytes bytes = original;
        for (int c = 0; c < 4; ++c) bytes[random() % std::min<std::size_t>(bytes.size(), 0x400)] =
            static_cast<std::uint8_t>(random());
        (void)Read(bytes);
    }
}

}  // namespace
