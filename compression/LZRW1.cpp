// The component's construction, its shared checks and primitives, and
// Decompress.
#include "compression/LZRW1.h"

#include <new>

#include "compression/LZRW1KH.h"
#include "compression/bytes.h"
#include "compression/lzh.h"
#include "compression/operation.h"

namespace stowaway {

namespace {
std::function<void()> InstalledHook;
}  // namespace

const std::function<void()>& ProgressHook = InstalledHook;

HookInUse::HookInUse(std::function<void()> hook) : saved_(std::exchange(InstalledHook, std::move(hook))) {}

HookInUse::~HookInUse() { InstalledHook = std::move(saved_); }

Tlzrw1::Tlzrw1() : LzhCodec(std::make_unique<TLZH>()), LzrCodec(std::make_unique<TLZR>()) {}

Tlzrw1::~Tlzrw1() = default;

void Tlzrw1::CheckRead(int32_t count, int32_t expected) {
  if (count == expected) return;
  if (UseStream) throw ELzrw1Exception("Compression Error, reading from input stream !");
  throw ELzrw1Exception("Compression Error, reading from input file : " + InputFile);
}

void Tlzrw1::CheckWrite(int32_t count, int32_t expected) {
  if (count == expected) return;
  if (UseStream) throw ELzrw1Exception("Compression Error, writing to output stream !");
  throw ELzrw1Exception("Compression Error, writing to output file : " + OutputFile);
}

int32_t Tlzrw1::ReadInput(void* buffer, int32_t count) {
  return UseStream ? InputStream->Read(buffer, count) : Files().Read(InHandle, buffer, count);
}

int32_t Tlzrw1::WriteOutput(const void* buffer, int32_t count) {
  return UseStream ? OutputStream->Write(buffer, count) : Files().Write(OutHandle, buffer, count);
}

uint32_t Tlzrw1::ReadHeaderField() {
  uint8_t field[4];
  IoCount = ReadInput(field, 4);
  CheckRead(IoCount, 4);
  return LoadLE32(field);
}

void Tlzrw1::WriteHeaderField(uint32_t value) {
  uint8_t field[4];
  StoreLE32(field, value);
  IoCount = WriteOutput(field, 4);
  CheckWrite(IoCount, 4);
}

void Tlzrw1::RaiseReadFailure(const char* codec) const {
  const std::string tag = std::string(" (") + codec + ")";
  if (UseStream) throw ELzrw1Exception("Compression Error, reading from input stream !" + tag);
  throw ELzrw1Exception("Compression Error, reading from input file : " + InputFile + tag);
}

void Tlzrw1::ProgressPoint() {
  BytesRead = ReadTotal;
  BytesWritten = WriteTotal;
  if (ProgressHook) ProgressHook();
}

Tlzrw1::OperationBuffers::OperationBuffers(Tlzrw1& owner, const char* failure) : owner_(owner) {
  owner_.InBuffer.reset(new (std::nothrow) uint8_t[IoBufferSize]);
  owner_.OutBuffer.reset(new (std::nothrow) uint8_t[IoBufferSize]);
  if (!owner_.InBuffer || !owner_.OutBuffer) {
    Release();
    throw ELzrw1Exception(failure);
  }
}

void Tlzrw1::OperationBuffers::Release() {
  owner_.InBuffer.reset();
  owner_.OutBuffer.reset();
}

void Tlzrw1::OpenEnds::Open() {
  owner_.InHandle = 0;
  owner_.OutHandle = 0;
  if (owner_.UseStream) {
    if (owner_.InputStream->Seek(0, SeekOrigin::Current) < 0) {
      throw ELzrw1Exception("Lzrw1 (de)compression : Failed to initialize input stream !");
    }
    if (owner_.OutputStream->Seek(0, SeekOrigin::Current) < 0) {
      throw ELzrw1Exception("Lzrw1 (de)compression : Failed to initialize output stream !");
    }
    return;
  }
  // The output file is created only once the input file is open.
  owner_.InHandle = Files().OpenRead(owner_.InputFile);
  if (owner_.InHandle < 0) {
    throw ELzrw1Exception("Lzrw1 (de)compression : Failed to open input file : " +
                          owner_.InputFile);
  }
  owner_.OutHandle = Files().Create(owner_.OutputFile);
  if (owner_.OutHandle < 0) {
    throw ELzrw1Exception("Lzrw1 (de)compression : Failed to open output file : " +
                          owner_.OutputFile);
  }
}

void Tlzrw1::OpenEnds::DiscardOutput() {
  if (owner_.UseStream) return;
  if (owner_.OutHandle > 0) Files().Close(owner_.OutHandle);
  owner_.OutHandle = 0;
  Files().Delete(owner_.OutputFile);
}

Tlzrw1::OpenEnds::~OpenEnds() {
  if (owner_.UseStream) return;
  if (owner_.InHandle > 0) Files().Close(owner_.InHandle);
  if (owner_.OutHandle > 0) Files().Close(owner_.OutHandle);
  owner_.InHandle = 0;
  owner_.OutHandle = 0;
}

int32_t Tlzrw1::Decompress() {
  OperationBuffers buffers(*this, "Lzrw1 (de)compression : Failed to get memory for I/O buffers !");
  OpenEnds ends(*this);
  ends.Open();
  try {
    SignatureIn = ReadHeaderField();
    if (SignatureIn != LzrwIdentifier && SignatureIn != LzhIdentifier) {
      if (UseStream) throw ELzrw1Exception("Lzrw1 decompression : input stream contains no valid header !");
      throw ELzrw1Exception(InputFile + " : Lzrw1 decompression : this file has no valid header !");
    }
    BlockOutLength = BlockSize;
    ReadTotal = 4;
    WriteTotal = 0;
    // The size field comes straight from the input, not through the buffer.
    const auto original_size = static_cast<int32_t>(ReadHeaderField());
    ReadTotal += 4;
    if (SignatureIn == LzrwIdentifier) {
      LzrwDecompressBlocks(original_size);
    } else {
      DecompressLzh(original_size);
    }
    ProgressPoint();
  } catch (...) {
    // The caller's streams are the caller's; a half-written file is ours.
    ends.DiscardOutput();
    throw;
  }
  return WriteTotal;
}

}  // namespace stowaway
