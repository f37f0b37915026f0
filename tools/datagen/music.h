// The background music: a calm loop composed in code.
#pragma once

#include <cstdint>
#include <vector>

namespace plenova::datagen {

// Interleaved stereo 16-bit samples at assets::kMusicSampleRate. Every voice and echo is laid
// onto a circular timeline, so the last sample flows into the first without a break.
std::vector<std::int16_t> ComposeMusic();

} // namespace plenova::datagen
