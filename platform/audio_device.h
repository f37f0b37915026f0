// Audio devices behind the multimedia command service: one open sound each. The real back end
// (platform/qt/qt_audio.h) decodes the file with libsndfile into memory and plays it through
// QAudioSink; the test back end plays nothing and lets a test move playback on by hand; the
// "none" back end has no device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>


namespace plenova::platform {

enum class AudioMode { Stopped, Playing, Paused };

// One open sound. Positions are in sample frames. Methods return 0 or a multimedia error code
// (mci:: in multimedia.h).
class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // Plays from the current position to the end. At the end the mode becomes Stopped and the
    // position stays at the end, so a second play without a seek plays nothing.
    virtual std::uint32_t Play() = 0;
    // Stops playing; the position stays where playback was.
    virtual std::uint32_t Stop() = 0;
    virtual std::uint32_t Pause() = 0;
    // Continues a paused sound.
    virtual std::uint32_t Resume() = 0;
    // Moves to a frame (clamped to the length) and stops.
    virtual std::uint32_t Seek(std::int64_t frame) = 0;
    virtual AudioMode Mode() = 0;
    virtual std::int64_t PositionFrames() = 0;
    virtual std::int64_t LengthFrames() = 0;
    virtual int SampleRate() = 0;
};

// Opens sounds.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    // Opens the sound file at `path` (a path of the emulated machine, see files.h). Returns 0
    // and sets `device`, or an error code and leaves `device` empty. Never shows anything.
    virtual std::uint32_t Open(const std::string& path, std::unique_ptr<AudioDevice>& device) = 0;
};

// Decoded sound in memory: interleaved float samples in [-1, 1].
struct DecodedSound {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;  // frames * channels values
    std::int64_t Frames() const noexcept {
        return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
    }
};

// Limits that keep a malformed or hostile file from making us allocate what it merely claims.
struct DecodeLimits {
    // The sound file itself: 256 MiB, far beyond any sound the programs play (a minute of
    // 44.1 kHz 16-bit stereo is about 10 MiB). A larger file is refused before it is read.
    std::int64_t maxFileBytes = 256LL * 1024 * 1024;
    // Decoded samples (frames times channels): 32 Mi floats, 128 MB, about six minutes of
    // 44.1 kHz stereo. Playing converts to the output format, bounded the same way.
    std::int64_t maxSamples = 32LL * 1024 * 1024;
    int maxChannels = 8;
    int maxSampleRate = 384000;
};

// Decodes the bytes of a sound file (WAV and whatever else libsndfile reads). Returns 0 and
// fills `sound`, or mci::kInvalidFile for undecodable data and mci::kOutOfMemory for a sound
// beyond the limits (decoding reads in blocks and stops at the limit, whatever the header says).
std::uint32_t DecodeSound(const std::vector<std::byte>& fileBytes, DecodedSound& sound,
                          const DecodeLimits& limits = {});
// Reads the file through the machine's file service and decodes it; mci::kFileNotFound when
// it cannot be read. Only a regular file is opened, without blocking (a FIFO, device or folder
// of that name counts as not found); a file over limits.maxFileBytes gives mci::kOutOfMemory
// before any of it is read, and no more than its size at opening is read, however it grows.
std::uint32_t DecodeSoundFile(const std::string& path, DecodedSound& sound,
                              const DecodeLimits& limits = {});

// No device at all: every open of an existing file fails with mci::kWaveOutputsUnsuitable
// (a missing file still gives mci::kFileNotFound).
class NoAudioBackend : public AudioBackend {
public:
    std::uint32_t Open(const std::string& path, std::unique_ptr<AudioDevice>& device) override;
};

// State of one sound opened by the test back end, visible to the test.
struct TestSound {
    std::string path;
    std::int64_t lengthFrames = 0;
    int sampleRate = 1000;  // one frame per millisecond by default
    std::int64_t position = 0;
    AudioMode mode = AudioMode::Stopped;
    bool closed = false;
    int plays = 0;  // play commands that started playback
};

// Test back end. It needs the file to exist (FileExists) but does not decode it: every sound is
// `lengthMs` long at 1000 frames per second. Manual mode (the default): playback moves only when
// the test calls Advance or RunToEnd. Clock mode (for whole-program runs with PLENOVA_AUDIO=test):
// playback follows the steady clock.
class TestAudioBackend : public AudioBackend {
public:
    explicit TestAudioBackend(std::int64_t lengthMs = 1000, bool followClock = false);
    std::uint32_t Open(const std::string& path, std::unique_ptr<AudioDevice>& device) override;

    // Makes the next Open fail with `code` (once).
    void FailNextOpen(std::uint32_t code) { failNextOpen_ = code; }
    // Makes every Play fail with `code` (0: plays again).
    void FailPlay(std::uint32_t code) { shared_->failPlay = code; }
    // Every sound opened so far, oldest first (closed ones stay with closed = true).
    const std::vector<std::shared_ptr<TestSound>>& Sounds() const { return sounds_; }
    // The most recently opened sound, or nullptr.
    std::shared_ptr<TestSound> Last() const { return sounds_.empty() ? nullptr : sounds_.back(); }
    // Moves every playing sound on by `ms` milliseconds; a sound that reaches its end stops there.
    void Advance(std::int64_t ms);
    // Runs every playing sound to its end.
    void RunToEnd();

    struct Shared {
        bool followClock = false;
        std::uint32_t failPlay = 0;
    };

private:
    std::int64_t lengthMs_;
    std::shared_ptr<Shared> shared_;  // also held by the devices, which may outlive us
    std::uint32_t failNextOpen_ = 0;
    std::vector<std::shared_ptr<TestSound>> sounds_;
};

// The real back end, QAudioSink on the default output (platform/qt/qt_audio.h).
std::shared_ptr<AudioBackend> MakeQtAudioBackend();

// The back ends of this build by the names PLENOVA_AUDIO takes, the default first.
struct AudioBackendChoice {
    const char* name;
    std::shared_ptr<AudioBackend> (*make)();
};
std::span<const AudioBackendChoice> AudioBackends();

// The back end named by the environment variable PLENOVA_AUDIO: "real" (the real one), "test"
// (TestAudioBackend in clock mode; PLENOVA_AUDIO_TEST_MS sets the length, default 1000) or
// "none" (NoAudioBackend); unset or any other name gives the default, the real one.
std::shared_ptr<AudioBackend> AudioBackendFromEnvironment();

}  // namespace plenova::platform
