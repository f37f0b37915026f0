#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/audio_device.h"

namespace plenova::platform {

namespace {

std::shared_ptr<AudioBackend> MakeTestAudioBackend() {
    std::int64_t ms = 1000;
    if (const char* length = std::getenv("PLENOVA_AUDIO_TEST_MS")) {
        char* end = nullptr;
        const long long v = std::strtoll(length, &end, 10);
        if (end != length && v >= 0) ms = v;
    }
    return std::make_shared<TestAudioBackend>(ms, true);
}

std::shared_ptr<AudioBackend> MakeNoAudioBackend() { return std::make_shared<NoAudioBackend>(); }

constexpr AudioBackendChoice kAudioBackends[] = {
    {"real", &MakeQtAudioBackend},
    {"test", &MakeTestAudioBackend},
    {"none", &MakeNoAudioBackend},
};

}  // namespace

std::span<const AudioBackendChoice> AudioBackends() { return kAudioBackends; }

std::shared_ptr<AudioBackend> AudioBackendFromEnvironment() {
    if (const char* name = std::getenv("PLENOVA_AUDIO")) {
        for (const AudioBackendChoice& choice : AudioBackends())
            if (std::strcmp(choice.name, name) == 0) return choice.make();
    }
    return AudioBackends().front().make();
}

}  // namespace plenova::platform
