#include "compression/LZRW1KH.h"

#include <new>

#include "compression/errors.h"

namespace stowaway {

TLZR::TLZR() : HashTable(new (std::nothrow) uint16_t[4096]) {
  if (!HashTable) throw ELzrw1KHCompressor("LZRW1KH : no memory for HASH table");
}

TLZR::~TLZR() = default;

}  // namespace stowaway
