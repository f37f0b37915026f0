#include "platform/audio_device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include <sndfile.h>

#include "platform/files.h"
#include "platform/multimedia.h"

namespace plenova::platform {

namespace {

// ----- decoding from memory through libsndfile's virtual I/O -----

struct MemoryFile {
    const std::byte* data;
    sf_count_t size;
    sf_count_t pos;
};

sf_count_t MemLength(void* user) { return static_cast<MemoryFile*>(user)->size; }

sf_count_t MemSeek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    sf_count_t base = 0;
    switch (whence) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = f->pos; break;
        case SEEK_END: base = f->size; break;
        default: return -1;
    }
    if (offset < -base || offset > f->size - base) return -1;  // stays inside the bytes
    f->pos = base + offset;
    return f->pos;
}

sf_count_t MemRead(void* out, sf_count_t count, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    if (count <= 0 || f->pos >= f->size) return 0;
    const sf_count_t n = std::min(count, f->size - f->pos);
    std::memcpy(out, f->data + f->pos, static_cast<std::size_t>(n));
    f->pos += n;
    return n;
}

sf_count_t MemWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t MemTell(void* user) { return static_cast<MemoryFile*>(user)->pos; }

}  // namespace

std::uint32_t DecodeSound(const std::vector<std::byte>& fileBytes, DecodedSound& sound,
                          const DecodeLimits& limits) {
    sound = {};
    if (static_cast<std::int64_t>(fileBytes.size()) > limits.maxFileBytes) {
        return mci::kOutOfMemory;
    }
    MemoryFile file{fileBytes.data(), static_cast<sf_count_t>(fileBytes.size()), 0};
    SF_VIRTUAL_IO io{MemLength, MemSeek, MemRead, MemWrite, MemTell};
    SF_INFO info{};
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &file);
    if (sf == nullptr) return mci::kInvalidFile;
    struct Closer {
        SNDFILE* sf;
        ~Closer() { sf_close(sf); }
    } closer{sf};
    if (info.channels < 1 || info.channels > limits.maxChannels || info.samplerate < 1 ||
        info.samplerate > limits.maxSampleRate) {
        return mci::kInvalidFile;
    }
    const std::int64_t maxFrames = limits.maxSamples / info.channels;
    // The header's frame count only guides the first allocation, and only within the limit.
    if (info.frames > 0) {
        sound.samples.reserve(
            static_cast<std::size_t>(std::min<std::int64_t>(info.frames, maxFrames)) *
            static_cast<std::size_t>(info.channels));
    }
    constexpr sf_count_t kBlockFrames = 4096;
    std::vector<float> block(static_cast<std::size_t>(kBlockFrames * info.channels));
    std::int64_t frames = 0;
    for (;;) {
        const sf_count_t got = sf_readf_float(sf, block.data(), kBlockFrames);
        if (got <= 0) break;
        if (frames + got > maxFrames) {
            sound = {};
            return mci::kOutOfMemory;
        }
        sound.samples.insert(sound.samples.end(), block.begin(),
                             block.begin() + static_cast<std::ptrdiff_t>(got * info.channels));
        frames += got;
    }
    if (sf_error(sf) != SF_ERR_NO_ERROR && frames == 0) {
        sound = {};
        return mci::kInvalidFile;
    }
    // Float files may hold samples outside the nominal range or not-a-number values.
    for (float& v : sound.samples) {
        if (!(v >= -1.0f)) v = std::isnan(v) ? 0.0f : -1.0f;
        if (v > 1.0f) v = 1.0f;
    }
    sound.sampleRate = info.samplerate;
    sound.channels = info.channels;
    return mci::kOk;
}

std::uint32_t DecodeSoundFile(const std::string& path, DecodedSound& sound,
                              const DecodeLimits& limits) {
    sound = {};
    std::optional<FileHandle> handle = FileHandle::OpenRead(path);
    if (!handle) return mci::kFileNotFound;
    const std::int64_t length = handle->Length();
    if (length < 0) return mci::kFileNotFound;
    if (length > limits.maxFileBytes) return mci::kOutOfMemory;
    std::vector<std::byte> bytes(static_cast<std::size_t>(length));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const std::int64_t got = handle->Read(std::span(bytes).subspan(filled));
        if (got < 0) return mci::kInvalidFile;
        if (got == 0) break;  // the file shrank while we read it
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return DecodeSound(bytes, sound, limits);
}

}  // namespace plenova::platform
