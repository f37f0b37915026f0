// Feeds arbitrary bytes to the BMP reader as a file, then to the dump reader, and draws what
// was read. Run-time errors of the engine (overflow and the like) are the engine's documented
// answers and count as handled; crashes, sanitizer reports and leaks are findings.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/errors.h"
#include "engine/cdib.h"
#include "engine/cwingbitmap.h"
#include "engine/cwingdc.h"
#include "engine/wing.h"

namespace {

struct Setup {
    int fd = -1;
    std::string path;
    std::shared_ptr<plenova::engine::CWinGDC> dc;
    std::shared_ptr<plenova::engine::CWinGBitmap> canvas;
    Setup() {
        // The file layer's machine lives in a private folder, not in the user's home.
        std::string root = "/tmp/plenova-fuzz-" + std::to_string(getpid());
        setenv("PLENOVA_MACHINE", root.c_str(), 1);
        fd = memfd_create("bmp", 0);
        path = "/proc/self/fd/" + std::to_string(fd);
        dc = std::make_shared<plenova::engine::CWinGDC>();
        canvas = std::make_shared<plenova::engine::CWinGBitmap>();
        canvas->Create(dc, 97, 61);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup setup;
    if (ftruncate(setup.fd, 0) != 0) return 0;
    if (pwrite(setup.fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    try {
        auto dib = std::make_shared<plenova::engine::CDib>();
        if (dib->ReadBmp(setup.path)) {
            // What a sprite does with a frame: measure it and draw it at a few places.
            (void)dib->Width();
            (void)dib->Height();
            auto copy = dib->Clone();
            for (int at : {-40, 0, 30, 90}) {
                setup.canvas->TransparentDIBlt(static_cast<plenova::Int16>(at),
                                               static_cast<plenova::Int16>(at / 2), copy, 0, 0, 0,
                                               255);
            }
            dib->SetPaletteUsage(0);
        }
    } catch (const plenova::RuntimeError&) {
    }
    try {
        // The same bytes as a dump.
        auto in = plenova::platform::FileHandle::OpenRead(setup.path);
        plenova::engine::CDib dump;
        if (in) dump.ReadFromFile(*in);
        setup.canvas->TransparentDIBlt(3, 3, std::make_shared<plenova::engine::CDib>(), 0, 0, 0, 0);
    } catch (const plenova::RuntimeError&) {
    }
    try {
        // And as a picture loaded into a surface.
        plenova::engine::CWinGBitmap bitmap;
        (void)bitmap.ReadBmp(setup.dc, setup.path);
    } catch (const plenova::RuntimeError&) {
    }
    return 0;
}
