// The LZH encoder: match tree, bit writer and the encode loop.
#include "compression/errors.h"
#include "compression/lzh.h"

namespace stowaway {

void TLZH::EncodeStream(LzhSource&, LzhSink&) {
  throw ElzhException("LZH : the encoder is not available in this build");
}

}  // namespace stowaway
