// Screenshots of a window and the frames the saver composed (PLENOVA_FRAME_DUMP), for tests that
// check that a window shows the saver's scene and nothing else. Include after e2e_support.h.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace plenova::e2e {

// The share of pixels that differ between two shots of the same size (1 for different sizes).
inline double ChangedShare(const WindowShot& a, const WindowShot& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.empty()) return 1.0;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) changed += a.pixels[i] != b.pixels[i];
    return static_cast<double>(changed) / static_cast<double>(a.pixels.size());
}

// A frame the saver dumped: its size, numbers, colours and indexes.
struct ComposedFrame {
    std::uint32_t width = 0, height = 0;
    std::uint64_t frame = 0, tick = 0;
    std::uint32_t colours[256] = {};
    std::vector<std::uint8_t> indexes;
};

inline std::optional<ComposedFrame> ReadComposedFrame(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ComposedFrame f;
    const std::size_t head = 4 + 8 + 16 + 1024;
    if (bytes.size() < head || bytes.compare(0, 4, "PLFR") != 0) return std::nullopt;
    std::memcpy(&f.width, bytes.data() + 4, 4);
    std::memcpy(&f.height, bytes.data() + 8, 4);
    std::memcpy(&f.frame, bytes.data() + 12, 8);
    std::memcpy(&f.tick, bytes.data() + 20, 8);
    std::memcpy(f.colours, bytes.data() + 28, 1024);
    if (bytes.size() != head + std::size_t{f.width} * f.height) return std::nullopt;
    f.indexes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(head), bytes.end());
    return f;
}

// True when the shot is exactly the frame: same size, every pixel the frame's colour.
inline bool ShotIsFrame(const WindowShot& shot, const ComposedFrame& f) {
    if (shot.width != static_cast<int>(f.width) || shot.height != static_cast<int>(f.height)) {
        return false;
    }
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const std::uint8_t index =
                f.indexes[static_cast<std::size_t>(y) * f.width + static_cast<std::size_t>(x)];
            if ((f.colours[index] & 0xFFFFFFu) != shot.At(x, y)) return false;
        }
    }
    return true;
}

// The number of the newest frame dumped into the folder, -1 before the first.
inline long long NewestComposedFrame(const std::filesystem::path& folder) {
    long long newest = -1;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("frame-", 0) != 0 || entry.path().extension() != ".plfr") continue;
        newest = std::max(newest, std::atoll(name.c_str() + 6));
    }
    return newest;
}

// The number of the dumped frame that the shot shows, looked for among the frames around
// `newestAtShot` (the newest dumped when the shot was taken; a frame is dumped just after it was
// shown). Waits until the frames after it are dumped too, and reads only those few, so that the
// saver's pruning of old frames cannot win the race however slow the comparison is.
inline std::optional<std::uint64_t> FrameShownBy(const WindowShot& shot,
                                                 const std::filesystem::path& folder,
                                                 long long newestAtShot) {
    if (!WaitUntil([&] { return NewestComposedFrame(folder) >= newestAtShot + 2; },
                   std::chrono::seconds(10))) {
        return std::nullopt;
    }
    // The screen may lag the dumps by a few frames on a busy machine (the X server shows a
    // frame after the saver dumped it); the saver keeps far more than these.
    for (const long long n : {newestAtShot + 1, newestAtShot, newestAtShot + 2, newestAtShot - 1,
                              newestAtShot - 2, newestAtShot - 3, newestAtShot - 4}) {
        const std::optional<ComposedFrame> frame =
            ReadComposedFrame(folder / ("frame-" + std::to_string(n) + ".plfr"));
        if (frame && ShotIsFrame(shot, *frame)) return frame->frame;
    }
    return std::nullopt;
}

}  // namespace plenova::e2e
