// The Qt Multimedia audio back end (QAudioSink) and the conversion of decoded sounds to the
// output's format, kept here so that the service header names no Qt type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QAudioFormat>

#include "platform/audio_device.h"

namespace plenova::platform {

// Converts a decoded sound to raw PCM bytes of the given format (sample format, rate and channel
// count): linear resampling, mono spread to every channel, extra channels mixed down. Returns
// false (and leaves `pcm` empty) for an unusable format or when the result would exceed
// `maxBytes`.
bool ConvertToFormat(const DecodedSound& sound, const QAudioFormat& format, std::vector<char>& pcm,
                     std::int64_t maxBytes = 512LL * 1024 * 1024);

// Real back end: QAudioSink on the default audio output. Open decodes the file first (errors
// as DecodeSoundFile gives them) and then fails with mci::kWaveOutputsUnsuitable when there is
// no output device.
class QtAudioBackend : public AudioBackend {
public:
    std::uint32_t Open(const std::string& path, std::unique_ptr<AudioDevice>& device) override;
};

}  // namespace plenova::platform
