// The exception classes of the compression component and its two codecs.
#pragma once

#include "platform/exception.h"

namespace stowaway {

// Failures of the component Tlzrw1: opening, reading, writing, sizes.
STOWAWAY_EXCEPTION_CLASS(ELzrw1Exception, Exception);
// Failures of the LZH codec's tables.
STOWAWAY_EXCEPTION_CLASS(ElzhException, Exception);
// Failures of the LZRW1/KH codec's hash table.
STOWAWAY_EXCEPTION_CLASS(ELzrw1KHCompressor, Exception);

}  // namespace stowaway
