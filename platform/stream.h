// Stream objects: what the compression component reads from and writes to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace stowaway {

class TStream {
 public:
  virtual ~TStream() = default;

  // The number of bytes moved: fewer than asked only at the end of the data
  // (reading) or when the medium is full; -1 when the underlying read or
  // write failed.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // The new position, or a negative value on failure.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;

  // The whole length, found by seeking to the end and back to where the
  // stream was; negative on failure.
  int64_t Size();
  int64_t Position() { return Seek(0, SeekOrigin::Current); }
};

// A stream bound to an operating-system file, which it closes when destroyed.
class TFileStream final : public TStream {
 public:
  enum class Mode {
    // An existing file, read access; others may read and write it meanwhile.
    OpenRead,
    // Created, or truncated if it exists; read and write access, no sharing.
    Create,
  };

  // Raises EFOpenError "Cannot open file %s" or EFCreateError
  // "Cannot create file %s" when the file cannot be opened.
  TFileStream(const std::string& path, Mode mode);
  // Takes over a file opened through Files() (or made by OpenFolder).
  explicit TFileStream(FileHandle adopted) : handle_(adopted) {}
  // As the constructor, but where the file cannot be opened gives nothing
  // and the system's reason ("No such file or directory").
  static std::unique_ptr<TFileStream> TryOpen(const std::string& path, Mode mode,
                                              std::string& reason);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

  // The system's reason for the first write that fell short ("No space left
  // on device"); empty while every write was whole.
  const std::string& WriteFailure() const { return write_failure_; }

 private:
  FileHandle handle_;
  std::string write_failure_;
};

// Gathers writes into large pieces for a stream that pays for every call (a
// file: one system call each). A failure of that stream shows at the write
// that passes a piece on, or at Flush, which the owner calls and checks
// before it takes the data as written; what was never flushed is dropped
// (an unfinished file is discarded anyway).
class TWriteBuffer final : public TStream {
 public:
  static constexpr int32_t DefaultCapacity = 1 << 20;
  // target must outlive this buffer.
  explicit TWriteBuffer(TStream& target, int32_t capacity = DefaultCapacity);

  // Passes on what is held first.
  int32_t Read(void* buffer, int32_t count) override;
  // count, or -1 once the target has refused a piece (this one or earlier).
  int32_t Write(const void* buffer, int32_t count) override;
  // Passes on what is held first.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  // Passes on what is held; false when the target took less than all of it
  // now or before.
  bool Flush();

 private:
  TStream& target_;
  std::vector<uint8_t> held_;
  size_t used_ = 0;
  bool failed_ = false;
};

// A stream held in memory, growing as it is written.
class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace stowaway
