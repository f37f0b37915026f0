// The engine's hot paths at the saver's sizes (a 1930 x 1107 window over a 2048 x 1280
// background, 13 sprites of 64 x 64 and 128 x 128 pixels with index 255 transparent), each
// beside SDL2 doing the same work and memcpy of the same bytes.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "engine/cwingdc.h"
#include "engine/cwingsprite.h"
#include "engine/cwingstage.h"
#include "engine/wing.h"

// Counts allocations, to show that a frame makes none.
static std::atomic<std::uint64_t> g_allocations{0};
[[gnu::noinline]] void* operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace plenova::engine;
namespace gdi = plenova::platform::gdi;
namespace wing = plenova::wing;
using plenova::Int16;

constexpr int kBackgroundW = 2048, kBackgroundH = 1280;
constexpr int kWindowW = 1930, kWindowH = 1107;
constexpr int kSprites = 13;
constexpr int kSpriteSizes[kSprites] = {64, 64, 64, 64, 64, 64, 64, 128, 128, 128, 128, 128, 128};

// A sprite frame: a filled disc of colours on index 255 (transparent) round it.
std::shared_ptr<CDib> MakeFrame(int size, int seed) {
    auto dib = std::make_shared<CDib>();
    dib->InfoAsLong().bmiHeader = {40, size, size, 1, 8, 0, 0, 0, 0, 0, 0};
    dib->RedimBytes(dib->BitmapSize());
    auto px = dib->BytesAsLong();
    const double r = size / 2.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = x + 0.5 - r, dy = y + 0.5 - r;
            px[y * dib->ByteWidth() + x] = dx * dx + dy * dy < r * r
                                               ? static_cast<std::uint8_t>(10 + (x + y + seed) % 200)
                                               : 255;
        }
    }
    return dib;
}

// The engine's scene at the saver's sizes.
struct Scene {
    std::shared_ptr<CWinGDC> dc = std::make_shared<CWinGDC>();
    std::shared_ptr<CWinGBitmap> background = std::make_shared<CWinGBitmap>();
    std::shared_ptr<CWinGBitmap> canvas = std::make_shared<CWinGBitmap>();
    CWinGStage stage;
    std::vector<std::shared_ptr<CWinGSprite>> sprites;
    std::shared_ptr<gdi::XrgbBuffer> window = std::make_shared<gdi::XrgbBuffer>(kWindowW, kWindowH);
    gdi::HDC windowDC = gdi::CreateTargetDC(window);

    Scene() {
        background->Create(dc, kBackgroundW, kBackgroundH);
        canvas->Create(dc, kWindowW, kWindowH);
        dc->SelectBitmap(canvas);
        std::mt19937 rng(11);
        for (auto& b : background->m_pSurface()) b = static_cast<std::uint8_t>(rng() % 236 + 10);
        std::array<ColorWord, 256> colors{};
        for (int i = 0; i < 256; ++i) colors[i] = static_cast<ColorWord>(i * 0x010305u & 0xFFFFFF);
        dc->SetColorTable(0, 256, colors);
        stage.set_Background(background);
        stage.set_Buffer(canvas);
        stage.set_bx(1000);  // wraps both ways
        stage.set_by(700);
        auto sink = std::make_shared<FunctionEventSink>([this](Int16 n, const std::string& e) {
            OnEdge(n, e);
        });
        for (int i = 0; i < kSprites; ++i) {
            auto s = std::make_shared<CWinGSprite>();
            const int frames = i == 12 ? 9 : (i < 4 || i == 11) ? 4 : 1;
            for (int f = 0; f < frames; ++f) s->AddFrame(MakeFrame(kSpriteSizes[i], f * 7 + i), static_cast<Int16>(f));
            s->set_FrameNumber(0);
            s->set_FirstFrame(0);
            s->set_LastFrame(static_cast<Int16>(frames - 1));
            s->set_Fv(1);
            s->set_TransparentColor(255);
            s->set_canvas(canvas);
            s->set_Sink(sink);
            s->set_ID_Done(static_cast<Int16>(i));
            s->MoveTo(static_cast<float>(rng() % (kWindowW - 128)), static_cast<float>(rng() % (kWindowH - 128)));
            s->set_Xv(1.2f + 0.15f * i);
            s->set_Yv(i >= 11 ? -3.0f : 0.0f);
            s->Bounds(-1, -1, kWindowW + 7, kWindowH + 7);
            sprites.push_back(s);
        }
    }
    ~Scene() { gdi::DeleteDC(windowDC); }

    // The saver's wrap rule for an edge event.
    void OnEdge(Int16 n, const std::string& e) {
        CWinGSprite& s = *sprites[static_cast<std::size_t>(n)];
        const float W = kWindowW, H = kWindowH;
        if (e == "BOTTOM" || e == "TOP") {
            if (s.Y() <= -s.Height()) s.MoveTo(s.x(), H);
            else if (s.Y() > H) s.MoveTo(s.x(), static_cast<float>(-s.Height()));
        } else if (e == "LEFT") {
            if (s.x() < -s.Width()) s.MoveTo(W, s.Y());
        } else if (e == "RIGHT") {
            if (s.x() > W) s.MoveTo(static_cast<float>(-s.Width()), s.Y());
        }
    }

    void FrameStep() {
        stage.set_bx(static_cast<Int16>(stage.bx() - 1));
        for (auto& s : sprites) {
            s->AdvanceFrame();
            s->Step();
            s->CheckBounds();
        }
        stage.Render();
        for (auto& s : sprites) s->Draw();
        wing::WinGBitBlt(windowDC, 0, 0, canvas->Width(), std::abs(canvas->Height()), dc->hDC(), 0, 0);
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

// SDL2's version of the same surfaces, sharing one palette so 8-bit blits need no mapping.
struct SdlScene {
    SDL_Palette* palette = SDL_AllocPalette(256);
    SDL_Surface* background = SDL_CreateRGBSurfaceWithFormat(0, kBackgroundW, kBackgroundH, 8, SDL_PIXELFORMAT_INDEX8);
    SDL_Surface* canvas = SDL_CreateRGBSurfaceWithFormat(0, kWindowW, kWindowH, 8, SDL_PIXELFORMAT_INDEX8);
    SDL_Surface* window = SDL_CreateRGBSurfaceWithFormat(0, kWindowW, kWindowH, 32, SDL_PIXELFORMAT_RGB888);
    std::vector<SDL_Surface*> frames;
    std::vector<SDL_Rect> places;

    SdlScene() {
        std::vector<SDL_Color> colors(256);
        for (int i = 0; i < 256; ++i) {
            colors[i] = {static_cast<Uint8>(i * 5), static_cast<Uint8>(i * 3), static_cast<Uint8>(i), 255};
        }
        SDL_SetPaletteColors(palette, colors.data(), 0, 256);
        SDL_SetSurfacePalette(background, palette);
        SDL_SetSurfacePalette(canvas, palette);
        Scene& scene = TheScene();
        std::memcpy(background->pixels, scene.background->m_pSurface().data(),
                    static_cast<std::size_t>(kBackgroundW) * kBackgroundH);
        for (int i = 0; i < kSprites; ++i) {
            const auto& dib = scene.sprites[i]->Frame(0);
            SDL_Surface* f = SDL_CreateRGBSurfaceWithFormat(0, dib->Width(), dib->Height(), 8, SDL_PIXELFORMAT_INDEX8);
            SDL_SetSurfacePalette(f, palette);
            for (int y = 0; y < dib->Height(); ++y) {
                std::memcpy(static_cast<Uint8*>(f->pixels) + y * f->pitch,
                            dib->BytesAsLong().data() + y * dib->ByteWidth(), static_cast<std::size_t>(dib->Width()));
            }
            SDL_SetColorKey(f, SDL_TRUE, 255);
            frames.push_back(f);
            places.push_back({static_cast<int>(scene.sprites[i]->x()), static_cast<int>(scene.sprites[i]->Y()), 0, 0});
        }
    }
};

SdlScene& TheSdlScene() {
    static SdlScene scene;
    return scene;
}

// ---- Background render -----------------------------------------------------------------

void BM_StageRender(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        s.stage.set_bx(1000);
        s.stage.set_by(700);
        s.stage.Render();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * s.canvas->ByteWidth() * kWindowH);
}
BENCHMARK(BM_StageRender);

void BM_SdlRender(benchmark::State& state) {
    SdlScene& s = TheSdlScene();
    const int bx = 1000, by = 700, first = kBackgroundW - bx, firstRows = kBackgroundH - by;
    for (auto _ : state) {
        SDL_Rect a{bx, by, first, firstRows}, da{0, 0, 0, 0};
        SDL_Rect b{0, by, kWindowW - first, firstRows}, db{first, 0, 0, 0};
        SDL_Rect c{bx, 0, first, kWindowH - firstRows}, dc{0, firstRows, 0, 0};
        SDL_Rect d{0, 0, kWindowW - first, kWindowH - firstRows}, dd{first, firstRows, 0, 0};
        SDL_BlitSurface(s.background, &a, s.canvas, &da);
        SDL_BlitSurface(s.background, &b, s.canvas, &db);
        SDL_BlitSurface(s.background, &c, s.canvas, &dc);
        SDL_BlitSurface(s.background, &d, s.canvas, &dd);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * s.canvas->pitch * kWindowH);
}
BENCHMARK(BM_SdlRender);

void BM_MemcpyCanvasBytes(benchmark::State& state) {
    Scene& s = TheScene();
    const std::size_t n = static_cast<std::size_t>(s.canvas->ByteWidth()) * kWindowH;
    std::vector<std::uint8_t> from(s.background->m_pSurface().begin(), s.background->m_pSurface().begin() + n);
    auto to = s.canvas->m_pSurface();
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_MemcpyCanvasBytes);

// ---- Sprites ----------------------------------------------------------------------------

// Argument: 2 the best kernels of this processor, 1 the x86-64 baseline (SSE2), 0 portable code.
void UseKernels(benchmark::State& state) {
    static const char* names[] = {"portable", "baseline", "best", "avx2"};
    wing::SetKernelLevel(static_cast<wing::KernelLevel>(state.range(0)));
    state.SetLabel(state.range(0) == 2 ? std::string("best: ") + wing::ExpandKernelName()
                                       : std::string(names[state.range(0)]));
}

void BM_DrawSprites(benchmark::State& state) {
    Scene& s = TheScene();
    UseKernels(state);
    for (auto _ : state) {
        for (auto& sprite : s.sprites) sprite->Draw();
        benchmark::ClobberMemory();
    }
    wing::SetKernelLevel(wing::KernelLevel::Best);
}
BENCHMARK(BM_DrawSprites)->Arg(2)->Arg(1)->Arg(0);

void BM_SdlColorKeyBlits(benchmark::State& state) {
    SdlScene& s = TheSdlScene();
    for (auto _ : state) {
        for (int i = 0; i < kSprites; ++i) {
            SDL_Rect at = s.places[i];
            SDL_BlitSurface(s.frames[i], nullptr, s.canvas, &at);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SdlColorKeyBlits);

// ---- Colour expansion to the window -------------------------------------------------------

void BM_ExpandToWindow(benchmark::State& state) {
    Scene& s = TheScene();
    UseKernels(state);
    for (auto _ : state) {
        wing::WinGBitBlt(s.windowDC, 0, 0, kWindowW, kWindowH, s.dc->hDC(), 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kWindowW * kWindowH * 4);
    wing::SetKernelLevel(wing::KernelLevel::Best);
}
BENCHMARK(BM_ExpandToWindow)->Arg(2)->Arg(3)->Arg(1);

void BM_SdlExpandToXrgb8888(benchmark::State& state) {
    SdlScene& s = TheSdlScene();
    for (auto _ : state) {
        SDL_BlitSurface(s.canvas, nullptr, s.window, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kWindowW * kWindowH * 4);
}
BENCHMARK(BM_SdlExpandToXrgb8888);

void BM_MemcpyWindowBytes(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(kWindowW) * kWindowH;
    std::vector<std::uint32_t> from(n, 0x12345678), to(n);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), n * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n * 4));
}
BENCHMARK(BM_MemcpyWindowBytes);

// ---- A whole frame step --------------------------------------------------------------------

void BM_FrameStep(benchmark::State& state) {
    Scene& s = TheScene();
    s.FrameStep();  // warm
    const std::uint64_t before = g_allocations.load();
    for (auto _ : state) {
        s.FrameStep();
        benchmark::ClobberMemory();
    }
    state.counters["allocs_per_frame"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_FrameStep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
