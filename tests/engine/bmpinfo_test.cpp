// Runs the bmpinfo tool on files written here and checks its output and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/engine/bmp_files.h"

namespace {

using plenova::engine::testing::BmpLayout;
using plenova::engine::testing::MakeBmp;
using plenova::engine::testing::TempDir;

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

ToolRun RunTool(const TempDir& dir, const std::string& args) {
    const std::string errPath = (dir.Path() / "stderr.txt").string();
    const std::string cmd = std::string(BMPINFO_PATH) + " " + args + " 2>" + errPath;
    ToolRun r{};
    FILE* p = popen(cmd.c_str(), "r");
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) r.out += buf;
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto err = plenova::engine::testing::ReadBytes(errPath);
    r.err.assign(err.begin(), err.end());
    return r;
}

TEST(BmpInfo, PrintsTheShapeAndAChecksum) {
    TempDir dir;
    BmpLayout layout;
    layout.pixels = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};  // 8 pixel bytes and one more
    layout.width = 3;
    const std::string file = dir.Write("p.bmp", MakeBmp(layout));
    ToolRun r = RunTool(dir, file);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    // CRC-32 of "12345678" is 9ae0daaf.
    EXPECT_EQ(r.out,
              "width: 3\nheight: 2\nbits per pixel: 8\ncolors used: 256\nbyte width: 4\n"
              "pixel bytes: 8\npixel crc32: 9ae0daaf\n");
}

TEST(BmpInfo, RefusedFilesGiveOnlyTheReasonOnStandardError) {
    TempDir dir;
    BmpLayout notBm;
    notBm.type = 0x1234;
    BmpLayout cut;
    cut.truncateTo = 10;
    const std::string none = (dir.Path() / "none.bmp").string();
    struct Case {
        std::string file;
        std::string reason;
    };
    const Case cases[] = {
        {dir.Write("bad.bmp", MakeBmp(notBm)), "Invalid value for bfType."},
        {dir.Write("cut.bmp", MakeBmp(cut)), "Could not read the file header."},
        {none, "Could not open " + none + "."},
    };
    for (const Case& c : cases) {
        ToolRun r = RunTool(dir, c.file);
        EXPECT_EQ(r.code, 1) << c.file;
        EXPECT_EQ(r.out, "") << c.file;
        EXPECT_EQ(r.err, "bmpinfo: " + c.file + ": " + c.reason + "\n");
    }
    EXPECT_EQ(RunTool(dir, "").code, 2);
}

}  // namespace
