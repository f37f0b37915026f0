// The program's pseudo-random numbers (the classic Rnd and Randomize) as a service, so that a
// test can fix the numbers a scene is built from.
//
// Generator: SplitMix64 (Steele, Lea and Flood, "Fast splittable pseudorandom number
// generators", 2014). The 64-bit state advances by the golden-ratio increment and each output is
// the state passed through the two-multiply finaliser; a single-precision number takes the top
// 24 bits of the output, so it is one of the 2^24 values k / 2^24 (k = 0 .. 2^24 - 1), uniform in
// [0, 1) and exact as a single.
//
// Reseeding mixes a clock reading into the current state instead of restarting from the clock
// alone: two reseeds with the same reading (the scene reseeds many times within a millisecond)
// still lead to different numbers, and the sequence never repeats what came before.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/service_slot.h"

namespace plenova::platform {

class RandomService {
public:
    virtual ~RandomService() = default;
    // The next number, uniform in [0, 1), single precision.
    virtual float NextSingle() = 0;
    // Feeds the clock into the generator's state.
    virtual void Reseed() = 0;
};

// The service in use. Until one is installed it is a ClockRandom.
RandomService& Random();
// Installs a service (nullptr: a new ClockRandom); returns the previous one.
std::shared_ptr<RandomService> SetRandomService(std::shared_ptr<RandomService> service);

// The classic names of the two operations, through the installed service.
inline float Rnd() { return Random().NextSingle(); }
inline void Randomize() { Random().Reseed(); }

// SplitMix64 with the state mixing of a reseed; the clock reading comes from a function.
class SplitMixRandom : public RandomService {
public:
    using ClockFn = std::function<std::uint64_t()>;
    SplitMixRandom(std::uint64_t seed, ClockFn clock) : state_(seed), clock_(std::move(clock)) {}

    float NextSingle() override;
    void Reseed() override;
    // The next raw 64-bit output (the generator's own sequence).
    std::uint64_t Next64();
    std::uint64_t State() const noexcept { return state_; }

private:
    std::uint64_t state_;
    ClockFn clock_;
};

// The real service: seeded from the clock at creation, and reseeded with the clock's reading in
// nanoseconds (steady clock and wall clock together).
class ClockRandom : public SplitMixRandom {
public:
    ClockRandom();
};

// Test double: a seeded generator whose reseeds mix a fixed reading (0 unless set), so that the
// same seed always gives the same numbers. Counts the reseeds.
class SeededRandom : public RandomService {
public:
    explicit SeededRandom(std::uint64_t seed, std::uint64_t clockReading = 0);
    float NextSingle() override { return generator_.NextSingle(); }
    void Reseed() override {
        ++reseeds_;
        generator_.Reseed();
    }
    int Reseeds() const noexcept { return reseeds_; }

private:
    std::uint64_t clockReading_;
    SplitMixRandom generator_;
    int reseeds_ = 0;
};

// Test double: hands out the given numbers in order, from the first again after the last, and
// records every call ('R' for a reseed, 'N' for a number) so a test can check the order.
class SequenceRandom : public RandomService {
public:
    explicit SequenceRandom(std::vector<float> numbers) : numbers_(std::move(numbers)) {}
    float NextSingle() override;
    void Reseed() override { calls_.push_back('R'); }
    const std::vector<char>& Calls() const noexcept { return calls_; }

private:
    std::vector<float> numbers_;
    std::size_t next_ = 0;
    std::vector<char> calls_;
};

// Installs a service for the lifetime of the object and restores the previous one.
using ScopedRandom = ScopedService<RandomService, RandomService, &SetRandomService>;

}  // namespace plenova::platform
