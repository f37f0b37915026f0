// Names of the data files that the generator writes into the distribution folder. The saver,
// the dialogs and the setup script refer to the files by these names.
#pragma once

#include <array>
#include <string_view>

namespace plenova::assets {

// Scene: background (its palette is the scene palette) and the sprite frames.
inline constexpr std::string_view kBackground = "背景.bmp";
// At least the canvas of a 3840 x 2160 screen (the window is 10 x 27 pixels larger than the
// screen), so that no screen shows the same part twice; multiples of 8, so that the picture's
// 8 x 8 ordered dither tiles too.
inline constexpr int kBackgroundWidth = 3856;
inline constexpr int kBackgroundHeight = 2192;

// Palette index that sprites leave transparent; the background never uses it.
inline constexpr int kTransparentIndex = 255;
// Entries that a palettised display with static colours keeps for itself (the first and the
// last ten). The pictures use only the entries in between; the reserved entries hold the
// usual static colours so that they look the same either way.
inline constexpr int kFirstSceneIndex = 10;
inline constexpr int kLastSceneIndex = 245;

struct SpriteFile {
    std::string_view name;
    int width;
    int height;
};

// Every sprite frame file, in the order the saver reads them.
inline constexpr std::array<SpriteFile, 23> kSpriteFiles{{
    // Sprites 0 to 3 share these four frames: a small rocket with a flickering flame.
    {"Ani0000.bmp", 96, 40}, {"Ani0001.bmp", 96, 40}, {"Ani0002.bmp", 96, 40}, {"Ani0003.bmp", 96, 40},
    // Sprites 4 and 5 share this one: an asteroid.
    {"Ani0400.bmp", 56, 48},
    {"Ani0600.bmp", 152, 88},  // ringed planet
    {"Ani0700.bmp", 112, 112}, // banded gas giant
    {"Ani0800.bmp", 120, 64},  // satellite
    {"Ani0900.bmp", 160, 56},  // comet
    {"Ani1000.bmp", 64, 80},   // astronaut
    // Sprite 11: a flying saucer with chasing lights.
    {"Ani1100.bmp", 96, 56}, {"Ani1101.bmp", 96, 56}, {"Ani1102.bmp", 96, 56}, {"Ani1103.bmp", 96, 56},
    // Sprite 12: the frog, swimming through space.
    {"Ani1200.bmp", 128, 128}, {"Ani1201.bmp", 128, 128}, {"Ani1202.bmp", 128, 128},
    {"Ani1203.bmp", 128, 128}, {"Ani1204.bmp", 128, 128}, {"Ani1205.bmp", 128, 128},
    {"Ani1206.bmp", 128, 128}, {"Ani1207.bmp", 128, 128}, {"Ani1208.bmp", 128, 128},
}};

// The frames of each of the 13 sprites: `count` files of kSpriteFiles from `firstFile` on.
struct SpriteFrames {
    int firstFile;
    int count;
};
inline constexpr std::array<SpriteFrames, 13> kSpriteFrames{{
    {0, 4}, {0, 4}, {0, 4}, {0, 4},  // rockets
    {4, 1}, {4, 1},                  // asteroids
    {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 1},
    {10, 4},  // saucer
    {14, 9},  // frog
}};
static_assert([] {
    for (const SpriteFrames& frames : kSpriteFrames) {
        if (frames.firstFile < 0 || frames.count < 1 ||
            frames.firstFile + frames.count > static_cast<int>(kSpriteFiles.size()))
            return false;
    }
    return true;
}());

// Background music.
inline constexpr std::string_view kMusic = "SCR.wav";
inline constexpr int kMusicSampleRate = 22050;
inline constexpr int kMusicChannels = 2;

// Preview still (frmPrev.imgPrev), 256 colours.
inline constexpr std::string_view kPreview = "prev.bmp";
inline constexpr int kPreviewWidth = 310;
inline constexpr int kPreviewHeight = 232;

// Settings dialog pictures (frmSetting), 256 colours, drawn on black.
inline constexpr std::string_view kTitlePicture = "title.bmp";  // Image6, 206 x 71
inline constexpr std::string_view kStar45 = "star45.bmp";       // Image5, 45 x 45
inline constexpr std::string_view kStar31 = "star31.bmp";       // Image4, 31 x 31
inline constexpr std::string_view kStar25 = "star25.bmp";       // Image3, 25 x 25
inline constexpr std::string_view kStar15 = "star15.bmp";       // Image2(0..7), 15 x 15

// Icons (Windows .ico, 32 x 32 and 16 x 16 with a transparency mask; Qt reads them).
inline constexpr std::string_view kProgramIcon = "Plenova.ico"; // Image1 and window icon, 256 colours
inline constexpr std::string_view kUpIcon = "up.ico";           // cmdUp, 16 colours
inline constexpr std::string_view kDownIcon = "down.ico";       // cmdDown, 16 colours

}  // namespace plenova::assets
