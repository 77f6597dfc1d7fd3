#include <gtest/gtest.h>
#include "TestSupport.h"
#include "Framework.h"

TEST(Smoke, Builds) { EXPECT_TRUE(true); }
