#include <gtest/gtest.h>

#include <cstdint>

#include "util/grow_array.h"

TEST(GrowArray, GrowsToFourThenDoubles) {
  GrowArray array(0);
  EXPECT_EQ(array.ElementSize(), 1);
  EXPECT_STREQ(array.Label(), "F1");
  EXPECT_EQ(array.Capacity(), 0);
  const int expected_capacity[] = {4, 4, 4, 4, 8, 8, 8, 8, 16};
  for (int i = 0; i < 9; ++i) {
    uint8_t value = static_cast<uint8_t>(i);
    EXPECT_EQ(array.Append(&value), i + 1);
    EXPECT_EQ(array.Capacity(), expected_capacity[i]);
  }
  for (int i = 0; i < 9; ++i) EXPECT_EQ(*static_cast<uint8_t*>(array.Element(i)), i);
  EXPECT_EQ(array.Element(9), nullptr);
  EXPECT_EQ(array.Element(-1), nullptr);
  EXPECT_EQ(array.Append(nullptr), 0);
}

TEST(GrowArray, InitialCapacityAndLabel) {
  GrowArray array(1112, "OutboundQueue");
  EXPECT_STREQ(array.Label(), "OutboundQueue");
  array.SetInitialCapacity(64);
  ASSERT_EQ(array.EnsureRoom(), 1);
  EXPECT_EQ(array.Capacity(), 64);
  EXPECT_EQ(array.Count(), 0);
  GrowArray named(12, nullptr);
  EXPECT_STREQ(named.Label(), "F12");
  GrowArray long_label(4, "a label that is longer than thirty characters");
  EXPECT_EQ(std::string(long_label.Label()).size(), 30u);
}

TEST(GrowArray, KeepsElementsAcrossGrowthAndRelease) {
  GrowArray array(static_cast<int>(sizeof(int32_t)));
  for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(array.Append(&i), i + 1);
  for (int32_t i = 0; i < 100; ++i) EXPECT_EQ(*static_cast<int32_t*>(array.Element(i)), i);
  EXPECT_EQ(array.Capacity(), 128);
  array.Release();
  EXPECT_EQ(array.Count(), 0);
  EXPECT_EQ(array.Element(0), nullptr);
}
