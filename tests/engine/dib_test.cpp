#include "engine/cdib.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/errors.h"
#include "tests/engine/bmp_files.h"

namespace {

using plenova::engine::CDib;
using plenova::engine::ColorWord;
using plenova::engine::DibError;
using plenova::engine::DibReadResult;
using plenova::engine::testing::BmpLayout;
using plenova::engine::testing::MakeBmp;
using plenova::engine::testing::TempDir;
using plenova::platform::FileHandle;

std::size_t OpenFileCount() {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

class CDibRead : public ::testing::Test {
protected:
    // Reads a file made from `layout`; a refusal is kept for Refusals().
    bool Read(const BmpLayout& layout) {
        path_ = dir_.Write("picture.bmp", MakeBmp(layout));
        return Keep(dib_.ReadBmp(path_));
    }
    bool Keep(const DibReadResult& result) {
        if (!result) refusals_.push_back(result.error());
        return result.ok();
    }
    // The refusals so far as code and message, for comparing with a table.
    using Refusal = std::pair<DibError, std::string>;
    std::vector<Refusal> Refusals() const {
        std::vector<Refusal> out;
        for (const auto& e : refusals_) out.emplace_back(e.code, e.message);
        return out;
    }
    using Texts = std::vector<Refusal>;

    std::vector<plenova::engine::DibReadError> refusals_;
    TempDir dir_;
    std::string path_;
    CDib dib_;
};

TEST_F(CDibRead, EightBitFileWithFullColourTable) {
    BmpLayout layout;  // 3 x 2, 8 bits, biClrUsed 0
    std::size_t fds = OpenFileCount();
    ASSERT_TRUE(Read(layout));
    EXPECT_EQ(OpenFileCount(), fds) << "the file is closed";
    EXPECT_TRUE(Refusals().empty());
    EXPECT_EQ(dib_.Width(), 3);
    EXPECT_EQ(dib_.Height(), 2);
    EXPECT_EQ(dib_.BitsPerPixel(), 8);
    EXPECT_EQ(dib_.ColorsUsed(), 256);
    EXPECT_EQ(dib_.ByteWidth(), 4);
    EXPECT_EQ(dib_.BitmapSize(), 8);
    EXPECT_EQ(dib_.UpperIndex(), 8) << "the array is made one byte larger";
    // Pixel bytes follow the 1024-byte table; stored row 0 is the bottom row.
    EXPECT_EQ(dib_.Pixel(0, 0), 0);
    EXPECT_EQ(dib_.Pixel(2, 1), 6);
    EXPECT_EQ(dib_.HeaderAsLong()[0], 'B');
    EXPECT_EQ(dib_.InfoAsLong().bmiColors[5],
              (plenova::platform::gdi::RgbQuad{0x0F, 0x0A, 0x05, 0}));
    // The palette takes the table in palette order (red low).
    std::array<ColorWord, 256> colors{};
    dib_.pal()->GetRgbColors(0, 256, colors);
    EXPECT_EQ(colors[5], 0x000F0A05u);    // table word 0x00050A0F
    EXPECT_EQ(colors[255], 0x00FD0001u);  // table word 0x000100FD
}

TEST_F(CDibRead, RefusedHeadersSayWhy) {
    BmpLayout notBm;
    notBm.type = 0x4D42 + 1;
    EXPECT_FALSE(Read(notBm));
    BmpLayout rle8With4Bits;
    rle8With4Bits.bits = 4;
    rle8With4Bits.compression = 1;
    EXPECT_FALSE(Read(rle8With4Bits));
    BmpLayout badSize;
    badSize.size = 108;
    EXPECT_FALSE(Read(badSize));
    BmpLayout badPlanes;
    badPlanes.planes = 2;
    EXPECT_FALSE(Read(badPlanes));
    BmpLayout sixteenBits;
    sixteenBits.bits = 16;
    EXPECT_FALSE(Read(sixteenBits));
    const Refusal badHeader{DibError::BadInfoHeader, "Invalid bmiHeader."};
    EXPECT_EQ(Refusals(), (Texts{{DibError::BadFileType, "Invalid value for bfType."},
                                 badHeader,
                                 badHeader,
                                 badHeader,
                                 badHeader}));
}

TEST_F(CDibRead, CompressedFilesReadHeightTimesRowSize) {
    BmpLayout rle4;
    rle4.bits = 4;
    rle4.compression = 2;
    rle4.width = 5;
    EXPECT_TRUE(Read(rle4));
    EXPECT_EQ(dib_.ByteWidth(), 4);
    EXPECT_EQ(dib_.UpperIndex(), 8);
    // Pixel(1, 0) of a 4-bit picture is byte 0, shared with pixel 0.
    EXPECT_EQ(dib_.Pixel(1, 0), dib_.Pixel(0, 0));
    EXPECT_EQ(dib_.Pixel(2, 1), 5);
    BmpLayout rle8;
    rle8.compression = 1;
    EXPECT_TRUE(Read(rle8));
    EXPECT_TRUE(Refusals().empty());
}

TEST_F(CDibRead, TwentyFourBitsReadNoColourTable) {
    BmpLayout layout;
    layout.bits = 24;
    layout.width = 2;
    layout.clrUsed = 4;  // declared, yet not read
    layout.table = {};
    std::array<ColorWord, 256> before{}, after{};
    dib_.pal()->GetRgbColors(0, 256, before);
    ASSERT_TRUE(Read(layout));
    dib_.pal()->GetRgbColors(0, 256, after);
    EXPECT_EQ(before, after);
    EXPECT_EQ(dib_.ByteWidth(), 8);
    EXPECT_EQ(dib_.Pixel(1, 0), 3) << "pixels follow the 54-byte headers directly";
    EXPECT_EQ(dib_.ColorsUsed(), 4);
}

TEST_F(CDibRead, ShortFiles) {
    std::size_t fds = OpenFileCount();
    BmpLayout tiny;
    tiny.truncateTo = 10;
    EXPECT_FALSE(Read(tiny));
    BmpLayout noInfo;
    noInfo.truncateTo = 30;
    EXPECT_FALSE(Read(noInfo));
    BmpLayout noTable;
    noTable.truncateTo = 54 + 1000;
    EXPECT_FALSE(Read(noTable));
    BmpLayout noPixels;
    noPixels.truncateTo = 54 + 1024 + 7;
    EXPECT_FALSE(Read(noPixels));
    EXPECT_EQ(Refusals(), (Texts{{DibError::ShortFileHeader, "Could not read the file header."},
                                 {DibError::ShortInfoHeader, "Could not read bminfo."},
                                 {DibError::ShortColorTable, "Could not read color table."},
                                 {DibError::ShortPixels, "Could not read all bytes."}}));
    EXPECT_EQ(OpenFileCount(), fds);
    const std::string missing = (dir_.Path() / "missing.bmp").string();
    EXPECT_FALSE(Keep(dib_.ReadBmp(missing)));
    EXPECT_EQ(Refusals().back(), Refusal(DibError::OpenFailed, "Could not open " + missing + "."));
}

TEST_F(CDibRead, HugeClaimIsRefusedBeforeAnyAllocation) {
    BmpLayout layout;
    layout.width = 30000;
    layout.height = 30000;  // claims 900 MB of pixels in a file of a few bytes
    layout.pixels = {1, 2, 3};
    EXPECT_FALSE(Read(layout));
    EXPECT_EQ(Refusals(), (Texts{{DibError::ShortPixels, "Could not read all bytes."}}));
    EXPECT_EQ(dib_.UpperIndex(), -1) << "no pixel array was made";
}

TEST_F(CDibRead, OutsideWhatTheReaderHolds) {
    BmpLayout topDown;
    topDown.height = -2;
    EXPECT_FALSE(Read(topDown));
    BmpLayout negativeWidth;
    negativeWidth.width = -3;
    negativeWidth.pixels = {0};
    EXPECT_FALSE(Read(negativeWidth));
    BmpLayout manyColors;
    manyColors.clrUsed = 300;
    EXPECT_FALSE(Read(manyColors));
    BmpLayout negativeColors;
    negativeColors.clrUsed = -1;
    negativeColors.table = {0};
    EXPECT_FALSE(Read(negativeColors));
    const Refusal tooMany{DibError::TooManyColors, "Too many colors in the color table."};
    EXPECT_EQ(Refusals(), (Texts{{DibError::TopDown, "Top-down bitmaps are not supported."},
                                 {DibError::BadWidth, "Invalid value for biWidth."},
                                 tooMany,
                                 tooMany}));
    EXPECT_EQ(dib_.UpperIndex(), -1);
}

TEST(CDib, RowSizesAndPixelAddressing) {
    CDib dib;
    auto& h = dib.InfoAsLong().bmiHeader;
    h.biBitCount = 1;
    h.biWidth = 1;
    EXPECT_EQ(dib.ByteWidth(), 4);
    h.biWidth = 33;
    EXPECT_EQ(dib.ByteWidth(), 8);
    h.biBitCount = 8;
    h.biWidth = 3;
    h.biHeight = 2;
    EXPECT_THROW(dib.Pixel(0, 0), plenova::SubscriptOutOfRangeError) << "no array yet";
    dib.RedimBytes(dib.BitmapSize());
    dib.set_Pixel(2, 1, 77);
    EXPECT_EQ(dib.BytesAsLong()[6], 77);
    EXPECT_EQ(dib.Pixel(0, 2), 0) << "index 8 is the extra byte";
    EXPECT_THROW(dib.Pixel(1, 2), plenova::SubscriptOutOfRangeError);
    EXPECT_THROW(dib.Pixel(-1, 0), plenova::SubscriptOutOfRangeError);
    h.biWidth = 40000;
    EXPECT_THROW(dib.Width(), plenova::OverflowError);
    h.biWidth = 0x7FFFFFFF;
    EXPECT_THROW(dib.ByteWidth(), plenova::OverflowError);
    h.biBitCount = 24;
    h.biWidth = 3;
    EXPECT_THROW(dib.Pixel(2000, 0), plenova::OverflowError) << "x times bits is 16-bit";
    h.biClrUsed = 40000;
    EXPECT_THROW(dib.ColorsUsed(), plenova::OverflowError);
    dib.set_ColorsUsed(12);
    EXPECT_EQ(h.biClrUsed, 12);
    EXPECT_THROW(dib.RedimBytes(-1), plenova::SubscriptOutOfRangeError);
}

TEST(CDib, CloneIsOneByteLongerAndSharesThePalette) {
    CDib dib;
    dib.RedimBytes(99);
    for (int i = 0; i < 100; ++i) dib.BytesAsLong()[i] = static_cast<std::uint8_t>(i + 1);
    dib.InfoAsLong().bmiHeader.biWidth = 10;
    dib.HeaderAsLong()[0] = 'B';
    auto copy = dib.Clone();
    EXPECT_EQ(copy->UpperIndex(), 100);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(copy->BytesAsLong()[i], i + 1);
    EXPECT_EQ(copy->BytesAsLong()[100], 0);
    EXPECT_EQ(copy->pal(), dib.pal());
    EXPECT_EQ(copy->Width(), 10);
    EXPECT_EQ(copy->HeaderAsLong()[0], 'B');
}

TEST(CDib, DumpLayoutRoundTrip) {
    TempDir dir;
    BmpLayout layout;
    layout.width = 5;
    CDib dib;
    ASSERT_TRUE(dib.ReadBmp(dir.Write("a.bmp", MakeBmp(layout))));
    std::string dump = (dir.Path() / "a.dump").string();
    {
        auto out = FileHandle::Create(dump);
        ASSERT_TRUE(out);
        dib.StoreInFile(*out);
    }
    auto bytes = plenova::engine::testing::ReadBytes(dump);
    ASSERT_EQ(bytes.size(), 14u + 1068 + 1024 + 17);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[14], 40);                   // biSize
    EXPECT_EQ(bytes[14 + 40 + 4 * 5], 0x0F);    // table entry 5, blue first
    EXPECT_EQ(bytes[14 + 1068 + 4 * 5], 0x05);  // palette word 5, red first
    EXPECT_EQ(bytes[14 + 1068 + 1024 + 9], 9);

    CDib back;
    std::array<ColorWord, 256> defaults{};
    back.pal()->GetRgbColors(0, 256, defaults);
    {
        auto in = FileHandle::OpenRead(dump);
        ASSERT_TRUE(in);
        EXPECT_TRUE(back.ReadFromFile(*in));
    }
    EXPECT_EQ(back.Width(), 5);
    EXPECT_EQ(back.UpperIndex(), 16) << "biSizeImage 0 takes the size from the shape";
    EXPECT_EQ(back.Pixel(4, 1), 12);
    std::array<ColorWord, 256> colors{};
    back.pal()->GetRgbColors(0, 256, colors);
    EXPECT_EQ(colors[9], defaults[9]) << "only entries 10 .. 245 come from the file";
    EXPECT_EQ(colors[10], 0x001E140Au);  // table word 0x000A141E
    EXPECT_EQ(colors[246], defaults[246]);

    // A dump that claims more pixels than it holds keeps what arrived.
    bytes.resize(bytes.size() - 5);
    plenova::engine::testing::WriteBytes(dump, bytes);
    auto in = FileHandle::OpenRead(dump);
    EXPECT_FALSE(back.ReadFromFile(*in));
    EXPECT_EQ(back.UpperIndex(), 11);
}

TEST(CDib, PaletteUsageFillsTheColourTable) {
    CDib dib;
    dib.InfoAsLong().bmiHeader.biBitCount = 4;  // 16 colours
    std::array<ColorWord, 16> rgb{};
    rgb[3] = 0x04112233;
    dib.pal()->SetRgbColors(0, 16, rgb);
    dib.SetPaletteUsage(0);
    EXPECT_EQ(dib.InfoAsLong().bmiColors[3],
              (plenova::platform::gdi::RgbQuad{0x11, 0x22, 0x33, 0}));
    dib.SetPaletteUsage(1);
    const auto* table = reinterpret_cast<const std::uint8_t*>(dib.InfoAsLong().bmiColors.data());
    EXPECT_EQ(table[6], 3);
    EXPECT_EQ(table[7], 0);
    EXPECT_EQ(table[30], 15);
}

TEST(CDib, MissingPaletteIsAnError) {
    CDib dib;
    dib.set_pal(nullptr);
    EXPECT_THROW(dib.SetPaletteUsage(0), plenova::MissingObjectError);
}

}  // namespace

namespace {

// Writes the fuzz target's seed corpus: a handful of small files of each kind the reader
// meets, and checks that the well-formed ones read.
TEST(FuzzSeeds, WritesTheSeedCorpus) {
    const std::filesystem::path dir = FUZZ_SEED_DIR;
    std::filesystem::create_directories(dir);
    struct Seed {
        const char* name;
        BmpLayout layout;
        bool readable;
    };
    std::vector<Seed> seeds;
    seeds.push_back({"8bit.bmp", BmpLayout{}, true});
    BmpLayout s;
    s.width = 17;
    s.height = 9;
    s.clrUsed = 16;
    seeds.push_back({"8bit-16colors.bmp", s, true});
    s = {};
    s.bits = 4;
    s.compression = 2;
    s.width = 9;
    seeds.push_back({"4bit-rle.bmp", s, true});
    s = {};
    s.bits = 1;
    s.width = 40;
    s.height = 3;
    seeds.push_back({"1bit.bmp", s, true});
    s = {};
    s.bits = 24;
    s.width = 5;
    s.height = 4;
    seeds.push_back({"24bit.bmp", s, true});
    s = {};
    s.width = 64;
    s.height = 64;
    s.truncateTo = 2000;
    seeds.push_back({"truncated.bmp", s, false});
    s = {};
    s.height = -2;
    seeds.push_back({"topdown.bmp", s, false});
    for (const auto& seed : seeds) {
        const auto path = dir / seed.name;
        plenova::engine::testing::WriteBytes(path, MakeBmp(seed.layout));
        CDib dib;
        EXPECT_EQ(dib.ReadBmp(path.string()).ok(), seed.readable) << seed.name;
    }
    // A dump of the first picture, for the dump reader.
    CDib dib;
    ASSERT_TRUE(dib.ReadBmp((dir / "8bit.bmp").string()));
    auto out = FileHandle::Create((dir / "8bit.dump").string());
    ASSERT_TRUE(out);
    dib.StoreInFile(*out);
}

}  // namespace
