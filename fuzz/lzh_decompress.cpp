// LZH stream decoding: any size field and body after the LZH signature is
// decoded within the component's buffers and the codec's tables, or refused
// with the system's own failure.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stowaway;
  fuzz::DecompressChecked(fuzz::WithSignature(LzhIdentifier, data, size));
  return 0;
}
