// The saver's picture reading: which refusals of the engine's reader the user sees, and how.
#include "saver/read_dib.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/cwingbitmap.h"
#include "engine/cwingdc.h"
#include "form_test_support.h"
#include "tests/engine/bmp_files.h"

namespace {

using plenova::engine::testing::BmpLayout;
using plenova::engine::testing::MakeBmp;
using plenova::platform::MsgButtons;
using plenova::platform::MsgIcon;

class SaverReadDib : public plenova::testing::FormTest {
protected:
    // Writes the picture into the data folder; returns its Windows path.
    std::string Picture(const std::string& name, const BmpLayout& layout) {
        const std::string path = DataFolder() + name;
        plenova::testing::WriteBytes(DataHostFolder() / name, MakeBmp(layout));
        return path;
    }
};

BmpLayout CutTo(std::int64_t bytes) {
    BmpLayout layout;
    layout.truncateTo = bytes;
    return layout;
}

TEST_F(SaverReadDib, EachRefusalShowsTheReadersMessageOrNothing) {
    BmpLayout notBm;
    notBm.type = 0x1234;
    struct Case {
        const char* name;
        BmpLayout layout;
        std::string shown;  // empty: no box
    };
    const Case cases[] = {
        {"short file header", CutTo(10), ""},
        {"short info header", CutTo(30), "Could not read bminfo."},
        {"not BM", notBm, "Invalid value for bfType."},
        {"short colour table", CutTo(54 + 100), "Could not read color table."},
        {"short pixels", CutTo(54 + 1024 + 3), "Could not read all bytes."},
    };
    for (const Case& c : cases) {
        const std::size_t before = Boxes().size();
        plenova::engine::CDib dib;
        EXPECT_FALSE(plenova::saver::ReadDIB(dib, Picture("p.bmp", c.layout))) << c.name;
        if (c.shown.empty()) {
            EXPECT_EQ(Boxes().size(), before) << c.name;
            continue;
        }
        ASSERT_EQ(Boxes().size(), before + 1) << c.name;
        const auto& box = Boxes().back();
        EXPECT_EQ(box.text, c.shown) << c.name;
        EXPECT_EQ(box.caption, "PlenovaSaver");
        EXPECT_EQ(box.buttons, MsgButtons::Ok);
        EXPECT_EQ(box.icon, MsgIcon::None);
    }
}

TEST_F(SaverReadDib, SurfacesShowOnlyWhatTheFileReaderRefused) {
    auto dc = std::make_shared<plenova::engine::CWinGDC>();
    plenova::engine::CWinGBitmap bitmap;
    EXPECT_TRUE(plenova::saver::ReadDIB(bitmap, dc, Picture("ok.bmp", BmpLayout{})));
    BmpLayout fourBits;
    fourBits.bits = 4;
    EXPECT_FALSE(plenova::saver::ReadDIB(bitmap, dc, Picture("4.bmp", fourBits)));
    EXPECT_TRUE(Boxes().empty()) << "a readable picture of another depth is no file error";
    const std::string missing = DataFolder() + "none.bmp";
    EXPECT_FALSE(plenova::saver::ReadDIB(bitmap, dc, missing));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "Could not open " + missing + ".");
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
