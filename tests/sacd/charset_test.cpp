#include "sacd/charset.h"

#include <gtest/gtest.h>

namespace sacd {
namespace {

TEST(CharSet, Smoke) {
    auto bytes = CharSet(CharSet::Value::RisShiftJis).encode("\u301C", "f");
    ASSERT_TRUE(bytes.ok());
}

}  // namespace
}  // namespace sacd
