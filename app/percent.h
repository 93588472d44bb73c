// The Percent field of a progress report.
#pragma once

#include <cstdint>

namespace stowaway {

// The low 8 bits of round(bytes_read / packed_size × 100), computed as
// binary floating point with a 64-bit significand would: the quotient is
// rounded to 64 significant bits, then its product with 100, then the result
// to the nearest integer with ties to even. The same on every machine and
// compiler, whatever its FPU or long double. A packed size of 0 gives 100.
uint8_t Percent(int32_t bytes_read, int32_t packed_size);

}  // namespace stowaway
