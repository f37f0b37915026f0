// A small scene for the saver's tests, written as 8-bit BMP files into a data folder:
//   "背景.bmp"   700 x 520, pixel (x, y) = BackgroundIndex(x, y), a value from 10 to 189;
//   Ani000n.bmp  40 x 30, every pixel 200 + n except (1, 1) and (38, 28), which are 255;
//   Ani0400.bmp  24 x 32, every pixel 210 except (0, 0), which is 255;
//   Ani0600.bmp to Ani1000.bmp  40 x 30, every pixel 211 to 215;
//   Ani110n.bmp  40 x 30, 220 + n;   Ani120n.bmp  40 x 30, 230 + n.
// Every picture has the colour table entry i = i x 0x010203 (blue in the low byte), so palette
// index i shows as the 32-bit pixel 0xFF000000 | (i x 0x010203).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/engine/bmp_files.h"

namespace plenova::testing::scene {

inline constexpr int kBackgroundWidth = 700;
inline constexpr int kBackgroundHeight = 520;

constexpr std::uint8_t BackgroundIndex(int x, int y) {
    return static_cast<std::uint8_t>(10 + (7 * x + 13 * y) % 180);
}

constexpr std::uint32_t WindowColour(std::uint8_t index) {
    return 0xFF000000u | ((index * 0x010203u) & 0xFFFFFFu);
}

// An 8-bit BMP file (256-entry colour table, rows stored bottom-up) from pixels given top row
// first.
inline std::vector<std::uint8_t> Picture(int width, int height,
                                         const std::vector<std::uint8_t>& topDown) {
    engine::testing::BmpLayout layout;
    layout.width = width;
    layout.height = height;
    const int row = static_cast<int>(engine::testing::RowSize(layout));
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < row; ++x) {
            layout.pixels.push_back(x < width ? topDown[static_cast<std::size_t>(y * width + x)]
                                              : 0);
        }
    }
    return engine::testing::MakeBmp(layout);
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> Plain(int width, int height, std::uint8_t value,
                                       const std::vector<std::pair<int, int>>& transparent = {}) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height), value);
    for (auto [x, y] : transparent) pixels[static_cast<std::size_t>(y * width + x)] = 255;
    return Picture(width, height, pixels);
}

inline void WriteSceneFiles(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    std::vector<std::uint8_t> background(kBackgroundWidth * kBackgroundHeight);
    for (int y = 0; y < kBackgroundHeight; ++y)
        for (int x = 0; x < kBackgroundWidth; ++x)
            background[static_cast<std::size_t>(y * kBackgroundWidth + x)] = BackgroundIndex(x, y);
    WriteFile(folder / "背景.bmp", Picture(kBackgroundWidth, kBackgroundHeight, background));
    for (int n = 0; n < 4; ++n) {
        WriteFile(folder / ("Ani000" + std::to_string(n) + ".bmp"),
                   Plain(40, 30, static_cast<std::uint8_t>(200 + n), {{1, 1}, {38, 28}}));
        WriteFile(folder / ("Ani110" + std::to_string(n) + ".bmp"),
                   Plain(40, 30, static_cast<std::uint8_t>(220 + n)));
    }
    WriteFile(folder / "Ani0400.bmp", Plain(24, 32, 210, {{0, 0}}));
    const char* singles[] = {"Ani0600.bmp", "Ani0700.bmp", "Ani0800.bmp", "Ani0900.bmp",
                             "Ani1000.bmp"};
    for (int i = 0; i < 5; ++i) {
        WriteFile(folder / singles[i], Plain(40, 30, static_cast<std::uint8_t>(211 + i)));
    }
    for (int n = 0; n < 9; ++n) {
        WriteFile(folder / ("Ani120" + std::to_string(n) + ".bmp"),
                   Plain(40, 30, static_cast<std::uint8_t>(230 + n)));
    }
}

}  // namespace plenova::testing::scene
