// The generated music: format, length, level, and a loop whose end leads into its start.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "assets/asset_names.h"

namespace {

namespace assets = plenova::assets;

struct Sound {
    SF_INFO info{};
    std::vector<std::vector<double>> channels; // samples on the 16-bit scale
};

Sound LoadMusic() {
    Sound s;
    const std::string path = std::string(PLENOVA_TEST_DIST_DIR) + "/" + std::string(assets::kMusic);
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &s.info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path << ": " << sf_strerror(nullptr);
        return s;
    }
    std::vector<short> data(static_cast<std::size_t>(s.info.frames * s.info.channels));
    EXPECT_EQ(sf_readf_short(file, data.data(), s.info.frames), s.info.frames);
    sf_close(file);
    s.channels.assign(static_cast<std::size_t>(s.info.channels), {});
    for (sf_count_t n = 0; n < s.info.frames; ++n)
        for (int c = 0; c < s.info.channels; ++c) s.channels[c].push_back(data[n * s.info.channels + c]);
    return s;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * (v.size() - 1))];
}

double Rms(const std::vector<double>& x, std::size_t from, std::size_t count) {
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += x[from + i] * x[from + i];
    return std::sqrt(sum / count);
}

class GeneratedMusic : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sound_ = new Sound(LoadMusic()); }
    static void TearDownTestSuite() {
        delete sound_;
        sound_ = nullptr;
    }
    static Sound* sound_;
};
Sound* GeneratedMusic::sound_ = nullptr;

TEST_F(GeneratedMusic, IsA16BitPcmWaveOfTwentyToFortySeconds) {
    const SF_INFO& info = sound_->info;
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAV);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    EXPECT_TRUE(info.samplerate == 22050 || info.samplerate == 44100) << info.samplerate;
    EXPECT_GE(info.channels, 1);
    EXPECT_LE(info.channels, 2);
    const double seconds = static_cast<double>(info.frames) / info.samplerate;
    EXPECT_GE(seconds, 20.0);
    EXPECT_LE(seconds, 40.0);
}

TEST_F(GeneratedMusic, CalmLevelWithoutClipping) {
    for (const auto& ch : sound_->channels) {
        ASSERT_FALSE(ch.empty());
        double peak = 0;
        for (double v : ch) peak = std::max(peak, std::abs(v));
        EXPECT_LT(peak, 32000) << "clipped or nearly";
        EXPECT_GT(peak, 8000) << "far too quiet";
        const double rmsDb = 20 * std::log10(Rms(ch, 0, ch.size()) / 32768);
        EXPECT_GT(rmsDb, -30) << "too quiet to hear over a fan";
        EXPECT_LT(rmsDb, -10) << "too loud for calm music";
        // Never silent for long: every second has sound in it.
        const std::size_t second = static_cast<std::size_t>(sound_->info.samplerate);
        for (std::size_t from = 0; from + second <= ch.size(); from += second)
            EXPECT_GT(Rms(ch, from, second), 100) << "silence at " << from / second << " s";
    }
}

TEST_F(GeneratedMusic, EndLeadsIntoTheStartWithoutAJump) {
    for (const auto& x : sound_->channels) {
        ASSERT_GT(x.size(), 4u);
        const std::size_t n = x.size();
        // Second differences measure how sharply the waveform bends; a click is a bend far
        // sharper than the music ever makes.
        std::vector<double> bends;
        for (std::size_t i = 1; i + 1 < n; ++i) bends.push_back(std::abs(x[i + 1] - 2 * x[i] + x[i - 1]));
        const double sharp = Percentile(bends, 0.999);
        EXPECT_LE(std::abs(x[0] - 2 * x[n - 1] + x[n - 2]), sharp) << "bend from the last samples into the first";
        EXPECT_LE(std::abs(x[1] - 2 * x[0] + x[n - 1]), sharp) << "bend across the loop point";
        std::vector<double> steps;
        for (std::size_t i = 1; i < n; ++i) steps.push_back(std::abs(x[i] - x[i - 1]));
        EXPECT_LE(std::abs(x[0] - x[n - 1]), Percentile(steps, 0.999)) << "jump at the loop point";
        // No fade in or out at the loop point: the sound goes on at the same level.
        const std::size_t window = static_cast<std::size_t>(sound_->info.samplerate) / 10;
        const double head = Rms(x, 0, window), tail = Rms(x, n - window, window);
        EXPECT_GT(head, 0.4 * tail);
        EXPECT_LT(head, 2.5 * tail);
    }
}

} // namespace
