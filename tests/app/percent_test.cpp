// Percent: two roundings to a 64-bit significand, then ties to even.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <random>

#include "app/percent.h"

namespace stowaway {
namespace {

TEST(Percent, ExactHalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(Percent(1, 8), 12);  // 12.5
  EXPECT_EQ(Percent(3, 8), 38);  // 37.5
  EXPECT_EQ(Percent(5, 8), 62);  // 62.5
  EXPECT_EQ(Percent(7, 8), 88);  // 87.5
}

// Where the rounded quotient lies just below or above a half, the product
// is no longer a tie and exact rounding would differ.
TEST(Percent, DoubleRoundingDecidesNearTies) {
  EXPECT_EQ(Percent(47, 40), 117);        // exact: 117.5 -> 118
  EXPECT_EQ(Percent(32776, 27200), 121);  // exact: 120.5 -> 120
}

TEST(Percent, CommonValues) {
  EXPECT_EQ(Percent(0, 1000), 0);
  EXPECT_EQ(Percent(1000, 1000), 100);
  EXPECT_EQ(Percent(1, 3), 33);
  EXPECT_EQ(Percent(2, 3), 67);
  EXPECT_EQ(Percent(1, 200), 0);   // 0.5
  EXPECT_EQ(Percent(3, 200), 2);   // 1.5
  EXPECT_EQ(Percent(1, 199), 1);   // just above 0.5
  EXPECT_EQ(Percent(1, 201), 0);   // just below 0.5
  EXPECT_EQ(Percent(1, std::numeric_limits<int32_t>::max()), 0);
}

TEST(Percent, ValuesAboveOneHundredAreSentModulo256) {
  // An entry of 234 packed bytes after one buffer load of 32768 behind its
  // header: 14006.84 rounds to 14007.
  EXPECT_EQ(Percent(32776, 234), 14007 % 256);
  EXPECT_EQ(Percent(256, 100), 0);
  EXPECT_EQ(Percent(std::numeric_limits<int32_t>::max(), 1), 156);  // 214748364700
}

TEST(Percent, AnEmptyEntryIsComplete) {
  EXPECT_EQ(Percent(0, 0), 100);
  EXPECT_EQ(Percent(8, 0), 100);
}

TEST(Percent, NegativeValuesRoundSymmetrically) {
  EXPECT_EQ(Percent(-1, 8), static_cast<uint8_t>(-12));
  EXPECT_EQ(Percent(3, -8), static_cast<uint8_t>(-38));
  EXPECT_EQ(Percent(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min()), 100);
}

// Where the machine's long double is the 64-bit-significand format, it gives
// the reference: the same roundings in hardware.
TEST(Percent, AgreesWithExtendedPrecisionHardware) {
  if (std::numeric_limits<long double>::digits != 64) GTEST_SKIP() << "no 64-bit significand";
  ASSERT_EQ(std::fegetround(), FE_TONEAREST);
  auto reference = [](int32_t read, int32_t size) {
    volatile long double quotient = static_cast<long double>(read) / size;
    volatile long double product = quotient * 100;
    return static_cast<uint8_t>(static_cast<int64_t>(std::nearbyint(product)));
  };
  std::mt19937 random(7);
  int near_ties = 0;
  for (int i = 0; i < 200000; ++i) {
    int32_t size = static_cast<int32_t>(random() % 100000 + 1);
    int32_t read = static_cast<int32_t>(random() % (2 * static_cast<uint32_t>(size) + 1));
    if (i % 4 == 0) {  // an exact half: odd / 2
      const auto k = static_cast<int32_t>(random() % 10000 + 1);
      size = 200 * k;
      read = k * static_cast<int32_t>(2 * (random() % 200) + 1);
    }
    if (i % 4 == 1) {
      size = static_cast<int32_t>(random() >> 1) + 1;
      read = static_cast<int32_t>(random() % (static_cast<uint32_t>(size) + 1));
    }
    const long double scaled = static_cast<long double>(read) * 100 / size;
    near_ties += std::fabs(scaled - std::floor(scaled) - 0.5L) < 1e-9L;
    ASSERT_EQ(Percent(read, size), reference(read, size)) << read << " / " << size;
  }
  EXPECT_GT(near_ties, 40000);
}

}  // namespace
}  // namespace stowaway
