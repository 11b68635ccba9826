#include "platform/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using platform::err;
using platform::Result;

namespace {

Result<int, std::string> parse_digit(char c) {
    if (c < '0' || c > '9') return err(std::string("not a digit"));
    return c - '0';
}

}  // namespace

TEST(Result, CarriesValueOrError) {
    auto ok = parse_digit('7');
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(*ok, 7);
    auto bad = parse_digit('x');
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error(), "not a digit");
}

TEST(Result, SameTypeForValueAndErrorStaysDistinct) {
    Result<std::string, std::string> v = std::string("value");
    Result<std::string, std::string> e = err(std::string("error"));
    EXPECT_TRUE(v.ok());
    EXPECT_FALSE(e.ok());
    EXPECT_EQ(e.error(), "error");
}

TEST(Result, VoidAndMoveOnly) {
    Result<void, int> fine;
    Result<void, int> broken = err(5);
    EXPECT_TRUE(fine.ok());
    EXPECT_EQ(broken.error(), 5);

    Result<std::unique_ptr<int>, int> owned = std::make_unique<int>(3);
    std::unique_ptr<int> p = std::move(owned).value();
    EXPECT_EQ(*p, 3);
}
