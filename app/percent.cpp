// Percent is defined by extended-precision arithmetic, which rounds twice,
// once for the quotient and once for the product, so a value that would be a
// tie for exact arithmetic may land above or below it. The two roundings are
// reproduced here in integers so that every build sends the same value,
// whatever floating point it has.
#include "app/percent.h"

#include <cstdlib>

namespace stowaway {
namespace {

constexpr uint64_t TopBit = uint64_t{1} << 63;

// A positive number significand × 2^exponent, the significand's top bit set.
struct Extended {
  uint64_t significand;
  int exponent;
};

// Rounds to nearest, ties to even, given the first bit below the significand
// (guard) and whether any bit below that is set (sticky).
Extended RoundToNearest(uint64_t significand, int exponent, bool guard, bool sticky) {
  if (guard && (sticky || (significand & 1) != 0)) {
    ++significand;
    if (significand == 0) return {TopBit, exponent + 1};
  }
  return {significand, exponent};
}

// numerator / denominator, both positive and below 2^32, as long division.
Extended Divide(uint64_t numerator, uint64_t denominator) {
  // Scaled so that denominator <= numerator < 2 × denominator, the quotient's
  // leading bit has the weight 2^scale.
  int scale = 0;
  while (numerator >= 2 * denominator) {
    denominator *= 2;
    ++scale;
  }
  while (numerator < denominator) {
    numerator *= 2;
    --scale;
  }
  uint64_t quotient = 0;
  for (int bit = 0; bit < 64; ++bit) {
    quotient <<= 1;
    if (numerator >= denominator) {
      quotient |= 1;
      numerator -= denominator;
    }
    numerator <<= 1;
  }
  const bool guard = numerator >= denominator;
  if (guard) numerator -= denominator;
  return RoundToNearest(quotient, scale - 63, guard, numerator != 0);
}

Extended MultiplyBy100(Extended value) {
  // The exact product, up to 71 bits, as upper:lower.
  const uint64_t low = (value.significand & 0xFFFFFFFF) * 100;
  const uint64_t high = (value.significand >> 32) * 100;
  const uint64_t lower = low + (high << 32);
  const uint64_t upper = (high >> 32) + (lower < low ? 1 : 0);
  // upper is not zero, since the significand is at least 2^63.
  int shift = 0;
  while ((upper >> shift) != 0) ++shift;
  const uint64_t kept = upper << (64 - shift) | lower >> shift;
  const uint64_t dropped = lower & ((uint64_t{1} << shift) - 1);
  const bool guard = (dropped >> (shift - 1) & 1) != 0;
  const bool sticky = (dropped & ((uint64_t{1} << (shift - 1)) - 1)) != 0;
  return RoundToNearest(kept, value.exponent + shift, guard, sticky);
}

uint64_t RoundToInteger(Extended value) {
  if (value.exponent >= 0) return value.exponent >= 64 ? 0 : value.significand << value.exponent;
  const int shift = -value.exponent;
  if (shift > 64) return 0;
  const uint64_t integer = shift == 64 ? 0 : value.significand >> shift;
  const uint64_t fraction = shift == 64 ? value.significand : value.significand << (64 - shift);
  const bool guard = (fraction & TopBit) != 0;
  const bool sticky = (fraction << 1) != 0;
  return integer + (guard && (sticky || (integer & 1) != 0) ? 1 : 0);
}

uint64_t Magnitude(int32_t value) { return static_cast<uint64_t>(std::llabs(value)); }

}  // namespace

uint8_t Percent(int32_t bytes_read, int32_t packed_size) {
  // An empty entry is complete as soon as it is reached.
  if (packed_size == 0) return 100;
  if (bytes_read == 0) return 0;
  const uint64_t rounded =
      RoundToInteger(MultiplyBy100(Divide(Magnitude(bytes_read), Magnitude(packed_size))));
  const bool negative = (bytes_read < 0) != (packed_size < 0);
  return static_cast<uint8_t>(negative ? 0 - rounded : rounded);
}

}  // namespace stowaway
