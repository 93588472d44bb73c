// Compress and Advise.
#include "compression/LZRW1.h"

namespace stowaway {

int32_t Tlzrw1::Compress() {
  throw ELzrw1Exception("Lzrw1 compression : not available in this build !");
}

TCompressMode Tlzrw1::Advise() {
  throw ELzrw1Exception("Lzrw1 advise : not available in this build !");
}

}  // namespace stowaway
