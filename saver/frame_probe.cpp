#include "saver/frame_probe.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/cwingbitmap.h"
#include "platform/gdi.h"

namespace plenova::saver {

namespace {

template <typename T>
void Put(std::vector<std::uint8_t>& out, T value) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string FramePath(const std::string& folder, std::uint64_t frameNumber) {
    return folder + "/frame-" + std::to_string(frameNumber) + ".plfr";
}

}  // namespace

std::unique_ptr<FrameProbe> FrameProbe::FromEnvironment() {
    const char* stats = std::getenv("PLENOVA_STATS");
    const char* dump = std::getenv("PLENOVA_FRAME_DUMP");
    std::string statsFile = stats != nullptr ? stats : "";
    std::string dumpFolder = dump != nullptr ? dump : "";
    if (statsFile.empty() && dumpFolder.empty()) return nullptr;
    return std::make_unique<FrameProbe>(std::move(statsFile), std::move(dumpFolder));
}

FrameProbe::FrameProbe(std::string statsFile, std::string dumpFolder)
    : statsFile_(std::move(statsFile)), dumpFolder_(std::move(dumpFolder)) {}

void FrameProbe::FrameShown(const engine::CWinGBitmap& canvas, std::uint64_t frameNumber,
                            std::uint64_t tick) const {
    if (dumpFolder_.empty()) return;
    const platform::gdi::Surface8* surface = platform::gdi::GetSurface8(canvas.hBM());
    if (surface == nullptr) return;
    const std::int32_t width = surface->width;
    const std::int32_t rows = std::abs(surface->height);
    std::vector<std::uint8_t> out;
    out.reserve(4 + 8 + 16 + 1024 + static_cast<std::size_t>(width) * rows);
    out.insert(out.end(), {'P', 'L', 'F', 'R'});
    Put<std::uint32_t>(out, static_cast<std::uint32_t>(width));
    Put<std::uint32_t>(out, static_cast<std::uint32_t>(rows));
    Put<std::uint64_t>(out, frameNumber);
    Put<std::uint64_t>(out, tick);
    for (std::uint32_t colour : surface->xrgb) Put<std::uint32_t>(out, colour);
    for (std::int32_t row = 0; row < rows; ++row) {
        // Visual row `row` is stored first to last in a top-down surface, last to first in a
        // bottom-up one.
        const std::int32_t stored = surface->height > 0 ? rows - 1 - row : row;
        const std::uint8_t* bytes = surface->pixels.data() + std::size_t(stored) * surface->stride;
        out.insert(out.end(), bytes, bytes + width);
    }
    const std::string path = FramePath(dumpFolder_, frameNumber);
    const std::string partial = path + ".part";
    if (std::FILE* file = std::fopen(partial.c_str(), "wb")) {
        const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
        if (std::fclose(file) == 0 && written) std::rename(partial.c_str(), path.c_str());
    }
    if (frameNumber > static_cast<std::uint64_t>(kKeptFrames)) {
        std::remove(FramePath(dumpFolder_, frameNumber - kKeptFrames).c_str());
    }
}

void FrameProbe::TickDone(const SceneCounters& counters) {
    if (statsFile_.empty()) return;
    const std::int64_t now = SteadyNs();
    if (now < nextStatsNs_) return;
    nextStatsNs_ = now + 1'000'000'000;
    WriteStats(counters);
}

void FrameProbe::WriteStats(const SceneCounters& c) const {
    if (statsFile_.empty()) return;
    const std::int64_t now = SteadyNs();
    const std::string partial = statsFile_ + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "w");
    if (file == nullptr) return;
    std::fprintf(file,
                 "ticks=%llu\nticks_dropped=%llu\nlate_ticks=%llu\nmax_tick_gap_us=%lld\n"
                 "frame_steps=%llu\nframes_shown=%llu\nfirst_frame_steady_ns=%lld\n"
                 "direct_copy=%d\nsteady_ns=%lld\n",
                 static_cast<unsigned long long>(c.ticks),
                 static_cast<unsigned long long>(c.ticksDropped),
                 static_cast<unsigned long long>(c.lateTicks),
                 static_cast<long long>(c.maxTickGapUs),
                 static_cast<unsigned long long>(c.frameSteps),
                 static_cast<unsigned long long>(c.framesShown),
                 static_cast<long long>(c.firstFrameSteadyNs), c.directCopy ? 1 : 0,
                 static_cast<long long>(now));
    if (std::fclose(file) == 0) std::rename(partial.c_str(), statsFile_.c_str());
}

}  // namespace plenova::saver
