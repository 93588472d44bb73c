// The codec options shared by pack, compress and advise: --mode and
// --threshold, and what they come to for one input.
#pragma once

#include <cstdint>
#include <string>

#include "compression/LZRW1.h"
#include "tools/cli/arguments.h"

namespace stowaway {

struct CodecChoice {
  TCompressMode mode = TCompressMode::Good;
  int32_t threshold = 40;
};

// --mode good|fast|auto (any case) and --threshold 0..100, which only Auto
// uses. Raises EUsage.
CodecChoice ReadCodecChoice(const Arguments& arguments);
// --threshold alone, for advise. Raises EUsage.
int32_t ReadThreshold(const Arguments& arguments);

// Good or Fast for input (read from its start, left where it was): the mode
// itself, or what Advise says about input for Auto.
TCompressMode ResolveMode(TStream& input, const CodecChoice& choice);

// "LZH" for Good, "LZRW1/KH" for Fast.
const char* CodecName(TCompressMode mode);

}  // namespace stowaway
