#include "platform/random.h"

#include <bit>
#include <chrono>

namespace plenova::platform {

namespace {

constexpr std::uint64_t kGamma = 0x9E3779B97F4A7C15ull;  // 2^64 / golden ratio, odd

// SplitMix64's output function (the finaliser of MurmurHash3 with Stafford's "Mix13"
// constants): a bijection of 64-bit words that spreads every input bit over the whole word.
constexpr std::uint64_t Finalise(std::uint64_t z) noexcept {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t ClockReading() {
    const auto steady = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    const auto wall = static_cast<std::uint64_t>(
        std::chrono::system_clock::now().time_since_epoch().count());
    return steady ^ std::rotl(wall, 32);
}

constinit ServiceSlot<RandomService> randomSlot{&MakeService<RandomService, ClockRandom>};

}  // namespace

std::uint64_t SplitMixRandom::Next64() {
    state_ += kGamma;
    return Finalise(state_);
}

float SplitMixRandom::NextSingle() {
    // The top 24 bits: every value is a single exactly, and 1 is never reached.
    return static_cast<float>(Next64() >> 40) * 0x1p-24f;
}

void SplitMixRandom::Reseed() {
    const std::uint64_t reading = clock_ ? clock_() : 0;
    state_ = Finalise(state_ ^ Finalise(reading + kGamma));
}

ClockRandom::ClockRandom()
    : SplitMixRandom(Finalise(ClockReading() ^ reinterpret_cast<std::uintptr_t>(this)),
                     ClockReading) {}

SeededRandom::SeededRandom(std::uint64_t seed, std::uint64_t clockReading)
    : clockReading_(clockReading), generator_(seed, [this] { return clockReading_; }) {}

float SequenceRandom::NextSingle() {
    calls_.push_back('N');
    if (numbers_.empty()) return 0.0f;
    const float value = numbers_[next_];
    next_ = (next_ + 1) % numbers_.size();
    return value;
}

RandomService& Random() { return randomSlot.Get(); }

std::shared_ptr<RandomService> SetRandomService(std::shared_ptr<RandomService> service) {
    return randomSlot.Set(std::move(service));
}

}  // namespace plenova::platform
