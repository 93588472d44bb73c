// The component's LZRW1/KH block loops.
#include "compression/LZRW1.h"

namespace stowaway {

void Tlzrw1::LzrwDecompressBlocks() {
  throw ELzrw1Exception("Lzrw1 decompression : LZRW1/KH streams are not available in this build !");
}

void Tlzrw1::LzrwCompressBlocks() {
  throw ELzrw1Exception("Lzrw1 compression : LZRW1/KH streams are not available in this build !");
}

}  // namespace stowaway
