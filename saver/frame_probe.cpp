#include "saver/frame_probe.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "engine/cwingbitmap.h"
#include "platform/files.h"
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
    platform::ReplaceWholeFile(FramePath(dumpFolder_, frameNumber), std::as_bytes(std::span(out)));
    if (frameNumber > static_cast<std::uint64_t>(kKeptFrames)) {
        platform::DeletePlainFile(FramePath(dumpFolder_, frameNumber - kKeptFrames));
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
    std::string text;
    const auto line = [&text](const char* name, auto value) {
        text += name;
        text += '=';
        text += std::to_string(value);
        text += '\n';
    };
    line("ticks", c.ticks);
    line("ticks_dropped", c.ticksDropped);
    line("late_ticks", c.lateTicks);
    line("max_tick_gap_us", c.maxTickGapUs);
    line("frame_steps", c.frameSteps);
    line("frames_shown", c.framesShown);
    line("first_frame_steady_ns", c.firstFrameSteadyNs);
    line("direct_copy", c.directCopy ? 1 : 0);
    line("steady_ns", now);
    platform::ReplaceWholeFile(statsFile_, std::as_bytes(std::span(text)));
}

}  // namespace plenova::saver
