#include "base/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

using namespace plenova;

namespace {

struct Problem {
    int code;
    std::string text;
};

Result<std::unique_ptr<int>, Problem> Make(bool good) {
    if (!good) return Failure{Problem{7, "no"}};
    return std::make_unique<int>(42);
}

Result<void, Problem> Check(bool good) {
    if (!good) return Failure{Problem{3, "bad"}};
    return {};
}

TEST(Result, CarriesTheValueOrTheError) {
    auto good = Make(true);
    ASSERT_TRUE(good);
    EXPECT_EQ(**good, 42);
    std::unique_ptr<int> moved = std::move(good).value();  // move-only values leave whole
    EXPECT_EQ(*moved, 42);
    EXPECT_THROW((void)good.error(), std::logic_error);

    const auto bad = Make(false);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().code, 7);
    EXPECT_EQ(bad.error().text, "no");
    EXPECT_THROW((void)bad.value(), std::logic_error) << "never a value that is not there";
}

TEST(Result, VoidCarriesSuccessOrTheError) {
    EXPECT_TRUE(Check(true).ok());
    EXPECT_THROW((void)Check(true).error(), std::logic_error);
    const auto bad = Check(false);
    EXPECT_FALSE(bad);
    EXPECT_EQ(bad.error().text, "bad");
}

}  // namespace
