// LZRW1/KH stream decoding: any size field and run of blocks after the
// LZRW1/KH signature is decoded within the component's buffers, or refused
// with the system's own failure.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stowaway;
  fuzz::DecompressChecked(fuzz::WithSignature(LzrwIdentifier, data, size));
  return 0;
}
