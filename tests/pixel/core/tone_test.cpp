#include <gtest/gtest.h>
#include "pixel/DataHandler.h"
TEST(Tone, Placeholder) { CDataHandler h; unsigned char b[4] = {100}; EXPECT_EQ(1, h.AdjustLuminosity(b, 1, 1, 8, 50)); EXPECT_EQ(150, b[0]); }
