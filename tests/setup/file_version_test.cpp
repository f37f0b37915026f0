// The version readers on PE images made here and by the MinGW tools, on the ELF version notes of
// our own build, and on damaged and hostile files.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <tuple>

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
    for (const char* name :
         {"elf64-note", "elf64-note-no-sections", "elf32be-note", "elf64-many-note-headers"}) {
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

// A 64-bit little-endian ELF file whose `headers` section headers and as many program headers
// all name one note area of `notes` notes spread over about `areaBytes`; note number `versionAt`
// is the version note 1.2.3.4 (none when past the end).
Bytes ManyNotesElf(unsigned notes, std::size_t areaBytes, unsigned headers, unsigned versionAt) {
    const std::size_t stride = std::max<std::size_t>(28, areaBytes / notes & ~std::size_t{3});
    const std::size_t phoff = 64, shoff = phoff + headers * 56;
    const std::size_t area = (shoff + headers * 64 + 7) & ~std::size_t{7};
    const std::size_t size = notes * stride + (versionAt < notes ? 28 : 0);
    Bytes b(area + size, 0);
    const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
    std::copy(std::begin(ident), std::end(ident), b.begin());
    const auto set64 = [&](std::size_t at, std::uint64_t v) {
        Set32(b, at, static_cast<std::uint32_t>(v));
        Set32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
    };
    set64(0x20, phoff);
    set64(0x28, shoff);
    Set16(b, 0x36, 56);
    Set16(b, 0x38, headers);
    Set16(b, 0x3A, 64);
    Set16(b, 0x3C, headers);
    for (std::size_t i = 0; i < headers; ++i) {
        const std::size_t ph = phoff + i * 56, sh = shoff + i * 64;
        Set32(b, ph, 4);  // PT_NOTE
        set64(ph + 8, area);
        set64(ph + 32, size);
        set64(ph + 48, 4);
        Set32(b, sh + 4, 7);  // SHT_NOTE
        set64(sh + 24, area);
        set64(sh + 32, size);
        set64(sh + 48, 4);
    }
    std::size_t at = area;
    for (unsigned n = 0; n <= notes; ++n) {
        if (n == versionAt) {
            Set32(b, at, 8);
            Set32(b, at + 4, 8);
            Set32(b, at + 8, 0x100);
            std::copy_n("Plenova", 8, b.begin() + static_cast<std::ptrdiff_t>(at + 12));
            for (unsigned part = 0; part < 4; ++part) Set16(b, at + 20 + 2 * part, part + 1);
            at += 28;
        }
        if (n == notes) break;
        Set32(b, at + 4, static_cast<std::uint32_t>(stride - 12));  // no name, a filler desc
        Set32(b, at + 8, 1);
        at += stride;
    }
    return b;
}

// Counts what the readers ask for.
class CountingSource : public plenova::tavorin::ByteSource {
public:
    explicit CountingSource(const Bytes& bytes) : bytes_(bytes) {}
    std::uint64_t Size() const noexcept override { return bytes_.size(); }
    bool Read(std::uint64_t offset, void* out, std::size_t count) const noexcept override {
        ++reads;
        if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
        std::memcpy(out, bytes_.data() + offset, count);
        return true;
    }
    mutable std::uint64_t reads = 0;

private:
    const Bytes& bytes_;
};

TEST(HostileTables, EveryNoteAreaIsWalkedOnceAndTheWholeFileWithinFixedCaps) {
    // 65535 section and program headers naming one area of 60000 notes over 16 MiB: walking the
    // area once per header reads billions of notes. The notes within the caps still count.
    for (const auto& [versionAt, expected] :
         std::vector<std::pair<unsigned, std::optional<FileVersion>>>{
             {9, FileVersion{1, 2, 3, 4}}, {59990, std::nullopt}}) {
        const Bytes elf = ManyNotesElf(60000, 16 << 20, 65535, versionAt);
        const CountingSource source(elf);
        EXPECT_EQ(plenova::tavorin::ReadElfVersionNote(source), expected) << versionAt;
        EXPECT_LT(source.reads, 100'000u) << versionAt;
    }
    // Distinct small areas, one per header: only so many are walked.
    Bytes elf = ManyNotesElf(1, 28, 65535, 5);
    for (std::size_t i = 0; i < 65535; ++i) Set32(elf, 64 + 65535 * 56 + i * 64 + 24, 64 + i * 56);
    const CountingSource distinct(elf);
    (void)plenova::tavorin::ReadElfVersionNote(distinct);
    EXPECT_LT(distinct.reads, 100'000u);

    // A PE image claiming 65535 sections and 131070 root entries over tables that are there.
    using Tamper = std::function<void(PeImage&)>;
    const std::vector<std::tuple<const char*, Tamper, std::optional<FileVersion>>> cases{
        {"as built", [](PeImage&) {}, FileVersion{2, 5, 0, 17}},
        {"no version entry in the root",
         [](PeImage& i) { Set32(i.bytes, i.versionTypeEntry, 17); }, std::nullopt},
        {"data outside every section",
         [](PeImage& i) { Set32(i.bytes, i.versionDataEntry, 0x90000000); }, std::nullopt},
    };
    for (const auto& [name, tamper, expected] : cases) {
        PeImage image = Versioned(false);
        image.bytes.resize(image.bytes.size() + 65535 * 40, 0xEE);
        Set16(image.bytes, image.peHeader + 4 + 2, 0xFFFF);
        Set16(image.bytes, image.resourceRoot + 12, 0xFFFF);
        Set16(image.bytes, image.resourceRoot + 14, 0xFFFF);
        tamper(image);
        const CountingSource pe(image.bytes);
        EXPECT_EQ(plenova::tavorin::ReadPeVersion(pe), expected) << name;
        EXPECT_LT(pe.reads, 20'000u) << name;
    }
}

}  // namespace
