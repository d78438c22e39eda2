#include "core/fmt.h"
#include <gtest/gtest.h>
TEST(Smoke, Builds) {
  EXPECT_TRUE(fmt("a", 1, 'x', 2.5) == StrView("a1x2.50000"));
}
