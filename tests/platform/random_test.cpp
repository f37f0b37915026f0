// The random-number service: SplitMix64's published outputs, the single-precision numbers, the
// clock mixing of a reseed, the seeded double and the service switch.
#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "platform/random.h"

using namespace plenova::platform;

namespace {

TEST(SplitMixRandom, GivesTheReferenceSequenceOfItsSeed) {
    // The published first outputs of SplitMix64 seeded with 1234567.
    SplitMixRandom generator(1234567, nullptr);
    EXPECT_EQ(generator.Next64(), 6457827717110365317ull);
    EXPECT_EQ(generator.Next64(), 3203168211198807973ull);
    EXPECT_EQ(generator.Next64(), 9817491932198370423ull);
    EXPECT_EQ(generator.Next64(), 4593380528125082431ull);
    EXPECT_EQ(generator.Next64(), 16408922859458223821ull);
}

TEST(SplitMixRandom, SinglesAreTheTop24BitsOverTwoToThe24) {
    SplitMixRandom a(1234567, nullptr);
    // 6457827717110365317 >> 40 = 5873360, and 5873360 / 2^24 is a single exactly.
    EXPECT_EQ(a.NextSingle(), 5873360.0f / 16777216.0f);
    SplitMixRandom b(99, nullptr);
    for (int i = 0; i < 100000; ++i) {
        const float r = b.NextSingle();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        ASSERT_EQ(r * 16777216.0f, std::floor(r * 16777216.0f));
    }
}

TEST(SplitMixRandom, ReseedMixesTheReadingIntoTheStateInsteadOfRestarting) {
    SplitMixRandom a(5, [] { return std::uint64_t{1000}; });
    SplitMixRandom b(6, [] { return std::uint64_t{1000}; });
    a.Reseed();
    b.Reseed();
    // The same reading leaves different generators different.
    EXPECT_NE(a.State(), b.State());
    // Reseeding again with the same reading does not repeat the numbers drawn before.
    const float first = a.NextSingle();
    a.Reseed();
    std::set<float> seen{first};
    for (int i = 0; i < 20; ++i) {
        a.Reseed();
        EXPECT_TRUE(seen.insert(a.NextSingle()).second) << i;
    }
    // A different reading gives a different state.
    SplitMixRandom c(5, [] { return std::uint64_t{1001}; });
    c.Reseed();
    SplitMixRandom d(5, [] { return std::uint64_t{1000}; });
    d.Reseed();
    EXPECT_NE(c.State(), d.State());
}

TEST(SeededRandom, SameSeedSameNumbersAndCountsReseeds) {
    SeededRandom a(42), b(42), c(43);
    std::vector<float> x, y, z;
    for (int i = 0; i < 10; ++i) {
        a.Reseed();
        b.Reseed();
        c.Reseed();
        x.push_back(a.NextSingle());
        y.push_back(b.NextSingle());
        z.push_back(c.NextSingle());
    }
    EXPECT_EQ(x, y);
    EXPECT_NE(x, z);
    EXPECT_EQ(a.Reseeds(), 10);
}

TEST(RandomService, ScopedServiceIsUsedAndTheRealOneComesBack) {
    RandomService* real = &Random();
    {
        ScopedRandom scoped(std::make_shared<SequenceRandom>(std::vector<float>{0.75f}));
        EXPECT_EQ(Rnd(), 0.75f);
        Randomize();
    }
    EXPECT_EQ(&Random(), real);
    // The real service gives numbers in [0, 1) that are not all alike.
    std::set<float> values;
    for (int i = 0; i < 50; ++i) {
        Randomize();
        const float v = Rnd();
        EXPECT_GE(v, 0.0f);
        EXPECT_LT(v, 1.0f);
        values.insert(v);
    }
    EXPECT_GT(values.size(), 45u);
}

}  // namespace
