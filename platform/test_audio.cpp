#include "platform/audio_device.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/files.h"
#include "platform/multimedia.h"

namespace plenova::platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

// ----- test device -----

class TestAudioDevice : public AudioDevice {
public:
    TestAudioDevice(std::shared_ptr<TestSound> sound,
                    std::shared_ptr<TestAudioBackend::Shared> shared)
        : sound_(std::move(sound)), shared_(std::move(shared)) {}
    ~TestAudioDevice() override {
        sound_->mode = AudioMode::Stopped;
        sound_->closed = true;
    }

    std::uint32_t Play() override {
        Update();
        if (shared_->failPlay != 0) return shared_->failPlay;
        if (sound_->mode == AudioMode::Playing) return mci::kOk;
        if (sound_->position >= sound_->lengthFrames) return mci::kOk;
        sound_->mode = AudioMode::Playing;
        ++sound_->plays;
        Restart();
        return mci::kOk;
    }
    std::uint32_t Stop() override {
        Update();
        sound_->mode = AudioMode::Stopped;
        return mci::kOk;
    }
    std::uint32_t Pause() override {
        Update();
        if (sound_->mode == AudioMode::Playing) sound_->mode = AudioMode::Paused;
        return mci::kOk;
    }
    std::uint32_t Resume() override {
        Update();
        if (sound_->mode == AudioMode::Paused) {
            sound_->mode = AudioMode::Playing;
            Restart();
        }
        return mci::kOk;
    }
    std::uint32_t Seek(std::int64_t frame) override {
        sound_->mode = AudioMode::Stopped;
        sound_->position = std::clamp<std::int64_t>(frame, 0, sound_->lengthFrames);
        return mci::kOk;
    }
    AudioMode Mode() override {
        Update();
        return sound_->mode;
    }
    std::int64_t PositionFrames() override {
        Update();
        return sound_->position;
    }
    std::int64_t LengthFrames() override { return sound_->lengthFrames; }
    int SampleRate() override { return sound_->sampleRate; }

private:
    void Restart() {
        startPosition_ = sound_->position;
        startTime_ = SteadyClock::now();
    }
    // In clock mode the sound moves on with the steady clock; in manual mode only the test
    // moves it.
    void Update() {
        if (!shared_->followClock || sound_->mode != AudioMode::Playing) return;
        const auto elapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - startTime_)
                .count();
        sound_->position =
            std::min(sound_->lengthFrames, startPosition_ + elapsedMs * sound_->sampleRate / 1000);
        if (sound_->position >= sound_->lengthFrames) sound_->mode = AudioMode::Stopped;
    }

    std::shared_ptr<TestSound> sound_;
    std::shared_ptr<TestAudioBackend::Shared> shared_;
    std::int64_t startPosition_ = 0;
    SteadyClock::time_point startTime_;
};

}  // namespace

std::uint32_t NoAudioBackend::Open(const std::string& path, std::unique_ptr<AudioDevice>& device) {
    device.reset();
    return FileExists(path) ? mci::kWaveOutputsUnsuitable : mci::kFileNotFound;
}

TestAudioBackend::TestAudioBackend(std::int64_t lengthMs, bool followClock)
    : lengthMs_(std::max<std::int64_t>(0, lengthMs)), shared_(std::make_shared<Shared>()) {
    shared_->followClock = followClock;
}

std::uint32_t TestAudioBackend::Open(const std::string& path,
                                     std::unique_ptr<AudioDevice>& device) {
    device.reset();
    if (failNextOpen_ != 0) return std::exchange(failNextOpen_, 0);
    if (!FileExists(path)) return mci::kFileNotFound;
    auto sound = std::make_shared<TestSound>();
    sound->path = path;
    sound->lengthFrames = lengthMs_;  // 1000 frames per second
    sounds_.push_back(sound);
    device = std::make_unique<TestAudioDevice>(std::move(sound), shared_);
    return mci::kOk;
}

void TestAudioBackend::Advance(std::int64_t ms) {
    for (const auto& sound : sounds_) {
        if (sound->closed || sound->mode != AudioMode::Playing) continue;
        sound->position =
            std::min(sound->lengthFrames, sound->position + ms * sound->sampleRate / 1000);
        if (sound->position >= sound->lengthFrames) sound->mode = AudioMode::Stopped;
    }
}

void TestAudioBackend::RunToEnd() {
    for (const auto& sound : sounds_) {
        if (sound->closed || sound->mode != AudioMode::Playing) continue;
        sound->position = sound->lengthFrames;
        sound->mode = AudioMode::Stopped;
    }
}

}  // namespace plenova::platform
