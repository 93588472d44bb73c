#include "platform/stream.h"

#include <algorithm>
#include <cstring>

#include "platform/exception.h"
#include "platform/system_error.h"

namespace stowaway {

int64_t TStream::Size() {
  const int64_t here = Seek(0, SeekOrigin::Current);
  if (here < 0) return -1;
  const int64_t end = Seek(0, SeekOrigin::End);
  if (Seek(here, SeekOrigin::Begin) < 0) return -1;
  return end;
}

TFileStream::TFileStream(const std::string& path, Mode mode) {
  if (mode == Mode::OpenRead) {
    handle_ = Files().OpenReadShared(path);
    if (handle_ <= 0) throw EFOpenError("Cannot open file " + path);
  } else {
    handle_ = Files().Create(path);
    if (handle_ <= 0) throw EFCreateError("Cannot create file " + path);
  }
}

std::unique_ptr<TFileStream> TFileStream::TryOpen(const std::string& path, Mode mode,
                                                  std::string& reason) {
  const FileHandle handle =
      mode == Mode::OpenRead ? Files().OpenReadShared(path) : Files().Create(path);
  if (handle <= 0) {
    reason = LastSystemError();
    return nullptr;
  }
  return std::make_unique<TFileStream>(handle);
}

TFileStream::~TFileStream() { Files().Close(handle_); }

int32_t TFileStream::Read(void* buffer, int32_t count) { return Files().Read(handle_, buffer, count); }

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  const int32_t written = Files().Write(handle_, buffer, count);
  if (written < count && write_failure_.empty()) write_failure_ = LastSystemError();
  return written;
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
  return Files().Seek(handle_, offset, origin);
}

TWriteBuffer::TWriteBuffer(TStream& target, int32_t capacity)
    : target_(target), held_(static_cast<size_t>(std::max(capacity, 1))) {}

bool TWriteBuffer::Flush() {
  if (used_ > 0 && !failed_) {
    const auto count = static_cast<int32_t>(used_);
    failed_ = target_.Write(held_.data(), count) != count;
  }
  used_ = 0;
  return !failed_;
}

int32_t TWriteBuffer::Write(const void* buffer, int32_t count) {
  if (failed_) return -1;
  if (count <= 0) return 0;
  const auto size = static_cast<size_t>(count);
  if (used_ + size > held_.size() && !Flush()) return -1;
  // A piece as large as the buffer goes on as it is.
  if (size >= held_.size()) {
    failed_ = target_.Write(buffer, count) != count;
    return failed_ ? -1 : count;
  }
  std::memcpy(held_.data() + used_, buffer, size);
  used_ += size;
  return count;
}

int32_t TWriteBuffer::Read(void* buffer, int32_t count) {
  return Flush() ? target_.Read(buffer, count) : -1;
}

int64_t TWriteBuffer::Seek(int64_t offset, SeekOrigin origin) {
  return Flush() ? target_.Seek(offset, origin) : -1;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  const int64_t size = static_cast<int64_t>(data_.size());
  if (count <= 0 || position_ >= size) return 0;
  const int32_t got = static_cast<int32_t>(std::min<int64_t>(count, size - position_));
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(got));
  position_ += got;
  return got;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const size_t end = static_cast<size_t>(position_) + static_cast<size_t>(count);
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t base = origin == SeekOrigin::Begin     ? 0
                       : origin == SeekOrigin::Current ? position_
                                                       : static_cast<int64_t>(data_.size());
  if (base + offset < 0) return -1;
  position_ = base + offset;
  return position_;
}

}  // namespace stowaway
