#include "platform/service_slot.h"

#include <gtest/gtest.h>

namespace {

using plenova::platform::ScopedService;
using plenova::platform::ServiceSlot;

class Counter {
public:
    virtual ~Counter() = default;
    virtual int Next() { return ++count_; }

private:
    int count_ = 0;
};

class Fixed : public Counter {
public:
    explicit Fixed(int value = 7) : value_(value) {}
    int Next() override { return value_; }

private:
    int value_;
};

int defaultsMade = 0;
std::shared_ptr<Counter> MakeCounter() {
    ++defaultsMade;
    return std::make_shared<Counter>();
}

constinit ServiceSlot<Counter> slot{&MakeCounter};
std::shared_ptr<Counter> SetCounter(std::shared_ptr<Counter> c) { return slot.Set(std::move(c)); }
using ScopedFixed = ScopedService<Counter, Fixed, &SetCounter>;

TEST(ServiceSlot, DefaultIsMadeOnFirstUseAndAgainAfterReset) {
    slot.Set(nullptr);
    defaultsMade = 0;
    EXPECT_EQ(slot.Get().Next(), 1);
    EXPECT_EQ(slot.Get().Next(), 2);  // the same default serves every call
    EXPECT_EQ(defaultsMade, 1);

    auto installed = std::make_shared<Fixed>(3);
    const std::shared_ptr<Counter> previous = slot.Set(installed);
    EXPECT_EQ(slot.Get().Next(), 3);
    EXPECT_EQ(slot.Set(previous), installed);  // Set hands back what it replaces
    EXPECT_EQ(slot.Get().Next(), 3);           // the old default, with its state
    EXPECT_EQ(defaultsMade, 1);

    EXPECT_EQ(slot.Set(nullptr), previous);
    EXPECT_EQ(slot.Get().Next(), 1);  // a fresh default
    EXPECT_EQ(defaultsMade, 2);
}

TEST(ServiceSlot, ScopedServicesNestAndPutThePreviousBack) {
    auto outer = std::make_shared<Fixed>(1);
    const auto before = slot.Set(outer);
    {
        ScopedFixed inner;  // a new Fixed() without arguments
        EXPECT_EQ(slot.Get().Next(), 7);
        EXPECT_EQ(&*inner, &slot.Get());
        {
            ScopedFixed innermost(std::make_shared<Fixed>(9));
            EXPECT_EQ(innermost->Next(), 9);
            EXPECT_EQ(slot.Get().Next(), 9);
        }
        EXPECT_EQ(slot.Get().Next(), 7);
    }
    EXPECT_EQ(&slot.Get(), outer.get());
    slot.Set(before);
}

}  // namespace
