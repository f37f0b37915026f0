#include "platform/audio_device.h"
#include "platform/qt/qt_audio.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>

#include "platform/files.h"
#include "platform/multimedia.h"

namespace plenova::platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

// ----- playing from memory -----

// Serves the converted PCM bytes to the audio sink (pull mode). At the end it gives no more
// data, and the sink runs dry.
class PcmSource : public QIODevice {
public:
    explicit PcmSource(std::vector<char> pcm) : pcm_(std::move(pcm)) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return static_cast<qint64>(pcm_.size()) - offset_ + QIODevice::bytesAvailable();
    }
    qint64 Size() const { return static_cast<qint64>(pcm_.size()); }
    qint64 Offset() const { return offset_; }
    void SetOffset(qint64 offset) { offset_ = std::clamp<qint64>(offset, 0, Size()); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 n = std::min(maxSize, Size() - offset_);
        if (n <= 0) return 0;
        std::memcpy(data, pcm_.data() + offset_, static_cast<std::size_t>(n));
        offset_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::vector<char> pcm_;
    qint64 offset_ = 0;
};

// One sound on the default output. The sink is fed ahead of what is heard, so the position and
// the end of playback follow the clock from the moment playback started, not the bytes fed.
class QtAudioDevice : public AudioDevice {
public:
    QtAudioDevice(const QAudioDevice& output, const QAudioFormat& format, std::vector<char> pcm)
        : format_(format), source_(std::move(pcm)), sink_(output, format) {
        source_.open(QIODevice::ReadOnly);
        bytesPerFrame_ = std::max(1, format_.bytesPerFrame());
        length_ = source_.Size() / bytesPerFrame_;
    }
    ~QtAudioDevice() override { sink_.stop(); }

    std::uint32_t Play() override {
        Update();
        if (mode_ == AudioMode::Playing) return mci::kOk;
        if (mode_ == AudioMode::Paused) return Resume();
        if (position_ >= length_) return mci::kOk;  // at the end: nothing left to play
        source_.SetOffset(position_ * bytesPerFrame_);
        sink_.start(&source_);
        if (sink_.error() == QAudio::OpenError || sink_.error() == QAudio::FatalError ||
            sink_.state() == QAudio::StoppedState) {
            sink_.stop();
            return mci::kHardware;
        }
        startPosition_ = position_;
        startTime_ = SteadyClock::now();
        mode_ = AudioMode::Playing;
        NoteBufferTime();
        return mci::kOk;
    }

    std::uint32_t Stop() override {
        Update();
        if (mode_ != AudioMode::Stopped) {
            sink_.stop();
            mode_ = AudioMode::Stopped;
        }
        return mci::kOk;
    }

    std::uint32_t Pause() override {
        Update();
        if (mode_ == AudioMode::Playing) {
            sink_.suspend();
            mode_ = AudioMode::Paused;
        }
        return mci::kOk;
    }

    std::uint32_t Resume() override {
        Update();
        if (mode_ == AudioMode::Paused) {
            sink_.resume();
            startPosition_ = position_;
            startTime_ = SteadyClock::now();
            mode_ = AudioMode::Playing;
        }
        return mci::kOk;
    }

    std::uint32_t Seek(std::int64_t frame) override {
        sink_.stop();
        mode_ = AudioMode::Stopped;
        position_ = std::clamp<std::int64_t>(frame, 0, length_);
        return mci::kOk;
    }

    AudioMode Mode() override {
        Update();
        return mode_;
    }
    std::int64_t PositionFrames() override {
        Update();
        return position_;
    }
    std::int64_t LengthFrames() override { return length_; }
    int SampleRate() override { return format_.sampleRate(); }

private:
    void Update() {
        if (mode_ != AudioMode::Playing) return;
        if (sink_.state() == QAudio::StoppedState && sink_.error() != QAudio::NoError) {
            // The output went away (device unplugged, server gone): the sound has stopped.
            mode_ = AudioMode::Stopped;
            return;
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - startTime_)
                .count();
        const std::int64_t played = elapsed * format_.sampleRate() / 1'000'000;
        position_ = std::min(length_, startPosition_ + played);
        // What was fed last is still in the output's buffer for up to one buffer's time;
        // stopping the sink earlier would cut the end of the sound off.
        const std::int64_t remainingUs =
            (length_ - startPosition_) * 1'000'000 / std::max(1, format_.sampleRate());
        if (elapsed >= remainingUs + bufferUs_) {
            sink_.stop();
            mode_ = AudioMode::Stopped;
        }
    }

    // Time the output's buffer holds, taken when playback starts (capped at one second).
    void NoteBufferTime() {
        const std::int64_t frames = sink_.bufferSize() / bytesPerFrame_;
        bufferUs_ = std::clamp<std::int64_t>(frames * 1'000'000 / std::max(1, format_.sampleRate()),
                                             0, 1'000'000);
    }

    QAudioFormat format_;
    PcmSource source_;
    QAudioSink sink_;
    int bytesPerFrame_ = 1;
    std::int64_t length_ = 0;
    std::int64_t position_ = 0;
    std::int64_t startPosition_ = 0;
    std::int64_t bufferUs_ = 0;
    SteadyClock::time_point startTime_;
    AudioMode mode_ = AudioMode::Stopped;
};

std::optional<QAudioFormat::SampleFormat> UsableSampleFormat(QAudioFormat::SampleFormat f) {
    switch (f) {
        case QAudioFormat::UInt8:
        case QAudioFormat::Int16:
        case QAudioFormat::Int32:
        case QAudioFormat::Float: return f;
        default: return std::nullopt;
    }
}

}  // namespace

bool ConvertToFormat(const DecodedSound& sound, const QAudioFormat& format, std::vector<char>& pcm,
                     std::int64_t maxBytes) {
    pcm.clear();
    const int outRate = format.sampleRate();
    const int outChannels = format.channelCount();
    const auto sampleFormat = UsableSampleFormat(format.sampleFormat());
    if (outRate <= 0 || outChannels <= 0 || !sampleFormat || sound.channels <= 0 ||
        sound.sampleRate <= 0) {
        return false;
    }
    const int inChannels = sound.channels;
    const std::int64_t inFrames = sound.Frames();
    const std::int64_t outFrames = (inFrames * outRate + sound.sampleRate - 1) / sound.sampleRate;
    const int bytesPerSample = format.bytesPerSample();
    if (outFrames > maxBytes / (std::int64_t{outChannels} * bytesPerSample)) return false;
    pcm.resize(static_cast<std::size_t>(outFrames * outChannels * bytesPerSample));

    std::vector<float> frame(static_cast<std::size_t>(inChannels));
    char* out = pcm.data();
    const double step = static_cast<double>(sound.sampleRate) / outRate;
    for (std::int64_t i = 0; i < outFrames; ++i) {
        // Linear interpolation between the two nearest source frames.
        const double at = static_cast<double>(i) * step;
        const auto a = std::min<std::int64_t>(static_cast<std::int64_t>(at), inFrames - 1);
        const std::int64_t b = std::min<std::int64_t>(a + 1, inFrames - 1);
        const float t = static_cast<float>(at - static_cast<double>(a));
        for (int c = 0; c < inChannels; ++c) {
            const float va = sound.samples[static_cast<std::size_t>(a * inChannels + c)];
            const float vb = sound.samples[static_cast<std::size_t>(b * inChannels + c)];
            frame[static_cast<std::size_t>(c)] = va + (vb - va) * t;
        }
        for (int c = 0; c < outChannels; ++c) {
            float v = 0.0f;
            if (inChannels == 1) {
                v = frame[0];
            } else if (outChannels == 1) {
                for (float s : frame) v += s;
                v /= static_cast<float>(inChannels);
            } else if (c < inChannels) {
                // Channels beyond the output's fold onto output channel (k mod outChannels).
                int count = 0;
                for (int k = c; k < inChannels; k += outChannels) {
                    v += frame[static_cast<std::size_t>(k)];
                    ++count;
                }
                v /= static_cast<float>(count);
            }
            v = std::clamp(v, -1.0f, 1.0f);
            switch (*sampleFormat) {
                case QAudioFormat::UInt8: {
                    const auto s = static_cast<std::uint8_t>(std::lround(128.0f + v * 127.0f));
                    std::memcpy(out, &s, 1);
                    break;
                }
                case QAudioFormat::Int16: {
                    const auto s = static_cast<std::int16_t>(std::lround(v * 32767.0f));
                    std::memcpy(out, &s, 2);
                    break;
                }
                case QAudioFormat::Int32: {
                    const auto s = static_cast<std::int32_t>(std::llround(v * 2147483647.0));
                    std::memcpy(out, &s, 4);
                    break;
                }
                default: std::memcpy(out, &v, 4); break;
            }
            out += bytesPerSample;
        }
    }
    return true;
}

std::uint32_t QtAudioBackend::Open(const std::string& path, std::unique_ptr<AudioDevice>& device) {
    device.reset();
    if (!FileExists(path)) return mci::kFileNotFound;
    // The file is judged before the output is looked for, so that a damaged or oversized sound
    // gives the same answer on every machine, with or without a sound card.
    DecodedSound sound;
    if (const std::uint32_t rc = DecodeSoundFile(path, sound); rc != mci::kOk) return rc;
    if (QCoreApplication::instance() == nullptr) return mci::kWaveOutputsUnsuitable;
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull()) return mci::kWaveOutputsUnsuitable;

    // The file's own rate and channels in 16 bits when the output takes them, else the output's
    // preferred format.
    QAudioFormat format;
    format.setSampleRate(sound.sampleRate);
    format.setChannelCount(sound.channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!output.isFormatSupported(format)) format = output.preferredFormat();
    if (!format.isValid() || !UsableSampleFormat(format.sampleFormat())) {
        return mci::kWaveOutputsUnsuitable;
    }
    std::vector<char> pcm;
    if (!ConvertToFormat(sound, format, pcm)) return mci::kOutOfMemory;
    device = std::make_unique<QtAudioDevice>(output, format, std::move(pcm));
    // Audio sinks must go before the application object that their back end lives in; static
    // destruction would come too late.
    static QCoreApplication* cleanupFor = nullptr;
    if (cleanupFor != QCoreApplication::instance()) {
        cleanupFor = QCoreApplication::instance();
        qAddPostRoutine([] { Multimedia().CloseAll(); });
    }
    return mci::kOk;
}

std::shared_ptr<AudioBackend> MakeQtAudioBackend() { return std::make_shared<QtAudioBackend>(); }

}  // namespace plenova::platform
