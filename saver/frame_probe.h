// Counters of the saver's animation, and two hooks for measurements and end-to-end tests that
// the environment switches on (both off unless set; the frame step never looks at them then):
//   PLENOVA_STATS=<file>         the counters are written to the file once a second while the
//                                clock ticks, and when the window unloads;
//   PLENOVA_FRAME_DUMP=<folder>  every frame shown is written into the folder (the newest
//                                kKeptFrames of them stay).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace plenova::engine {
class CWinGBitmap;
}

namespace plenova::saver {

struct SceneCounters {
    std::uint64_t ticks = 0;         // clock ticks that arrived
    std::uint64_t ticksDropped = 0;  // of those, arrived while a tick ran, and dropped
    std::uint64_t lateTicks = 0;     // arrivals more than 1.5 periods after the one before
    std::int64_t maxTickGapUs = 0;   // the longest time between two arrivals
    std::uint64_t frameSteps = 0;    // frame steps run
    std::uint64_t framesShown = 0;   // frames copied into a window that was on the screen
    // Steady clock (CLOCK_MONOTONIC, comparable between processes) when the first frame reached
    // the window's buffer; -1 before.
    std::int64_t firstFrameSteadyNs = -1;
    // True when frames go straight into the window system's buffer, false when through an image
    // of the window's own.
    bool directCopy = false;
};

// A dumped frame, little-endian: "PLFR", width and height (32-bit), frame number and tick
// (64-bit), 256 colours as 32-bit XRGB words, then width x height palette indexes, rows from
// the top. Files are named "frame-<frame number>.plfr" (written whole, then renamed).
class FrameProbe {
public:
    static constexpr int kKeptFrames = 32;

    // The probe the environment asks for; null when it asks for none.
    static std::unique_ptr<FrameProbe> FromEnvironment();
    FrameProbe(std::string statsFile, std::string dumpFolder);

    // The canvas of a frame that was just shown.
    void FrameShown(const engine::CWinGBitmap& canvas, std::uint64_t frameNumber,
                    std::uint64_t tick) const;
    // After every clock tick: the counters, when a second has passed since they were written.
    void TickDone(const SceneCounters& counters);
    // The counters with the time of writing (steady clock), written whole (then renamed).
    void WriteStats(const SceneCounters& counters) const;

private:
    std::string statsFile_;
    std::string dumpFolder_;
    std::int64_t nextStatsNs_ = 0;
};

}  // namespace plenova::saver
