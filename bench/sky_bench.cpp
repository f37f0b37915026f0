// The stage fills the canvas from the background each frame. Its work follows the canvas, not
// the background: the same canvas bytes are copied whatever the background's size, in at most
// four block copies when the background is at least as large as the canvas (up to nine when a
// smaller one repeats). One difference remains: a background smaller than the canvas is read
// more than once per frame, from cache, while a large one is read once, from memory.
//   build/bench/sky_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "engine/cwingdc.h"
#include "engine/cwingstage.h"
#include "assets/asset_names.h"

namespace {

using namespace plenova::engine;
using plenova::Int16;

// Args: background width and height, canvas width and height.
void BM_StageRenderScrolling(benchmark::State& state) {
    const auto bgW = static_cast<Int16>(state.range(0)), bgH = static_cast<Int16>(state.range(1));
    const auto canvasW = static_cast<Int16>(state.range(2)), canvasH = static_cast<Int16>(state.range(3));
    auto dc = std::make_shared<CWinGDC>();
    auto background = std::make_shared<CWinGBitmap>();
    auto canvas = std::make_shared<CWinGBitmap>();
    background->Create(dc, bgW, bgH);
    canvas->Create(dc, canvasW, canvasH);
    dc->SelectBitmap(canvas);
    std::mt19937 rng(5);
    for (auto& b : background->m_pSurface()) b = static_cast<std::uint8_t>(rng() % 236 + 10);
    CWinGStage stage;
    stage.set_Background(background);
    stage.set_Buffer(canvas);
    // The saver scrolls a few pixels a frame; stepping through the offsets visits every way the
    // canvas can straddle the background's edges.
    int frame = 0;
    std::size_t pieces = 0;
    for (auto _ : state) {
        stage.set_bx(static_cast<Int16>(frame * 37 % bgW));
        stage.set_by(static_cast<Int16>(frame * 23 % bgH));
        stage.Render();
        pieces += stage.LastPieceCount();
        ++frame;
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(canvas->ByteWidth()) * canvasH);
    state.counters["copies"] = benchmark::Counter(static_cast<double>(pieces) / static_cast<double>(frame));
}
constexpr int kLargeW = plenova::assets::kBackgroundWidth, kLargeH = plenova::assets::kBackgroundHeight;
BENCHMARK(BM_StageRenderScrolling)
    ->Args({2048, 1280, 1930, 1107})
    ->Args({kLargeW, kLargeH, 1930, 1107})
    ->Args({2048, 1280, 3850, 2187})
    ->Args({kLargeW, kLargeH, 3850, 2187});

}  // namespace

BENCHMARK_MAIN();
