// The resources one operation of Tlzrw1 holds, released on every way out.
#pragma once

#include "compression/LZRW1.h"

namespace stowaway {

// The two I/O buffers; raises ELzrw1Exception with the given message when
// they cannot be had.
class Tlzrw1::OperationBuffers {
 public:
  OperationBuffers(Tlzrw1& owner, const char* failure);
  ~OperationBuffers() { Release(); }
  OperationBuffers(const OperationBuffers&) = delete;
  OperationBuffers& operator=(const OperationBuffers&) = delete;

 private:
  void Release();
  Tlzrw1& owner_;
};

// The input and output of a transfer. Open checks the two streams in stream
// mode, or opens the input file and then creates the output file in file
// mode, raising the component's messages; the files are closed when this
// object goes.
class Tlzrw1::OpenEnds {
 public:
  explicit OpenEnds(Tlzrw1& owner) : owner_(owner) {}
  ~OpenEnds();
  OpenEnds(const OpenEnds&) = delete;
  OpenEnds& operator=(const OpenEnds&) = delete;

  void Open();
  // After a failed transfer in file mode: closes and deletes the output file.
  void DiscardOutput();

 private:
  Tlzrw1& owner_;
};

}  // namespace stowaway
