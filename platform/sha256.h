// SHA-256, from the operating system's or a well-kept library's
// implementation: the hash that an archive's integrity block carries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/exception.h"

namespace stowaway {

inline constexpr size_t Sha256Size = 32;
using Sha256Digest = std::array<uint8_t, Sha256Size>;

// The hash cannot be computed at all (the system's library is missing).
STOWAWAY_EXCEPTION_CLASS(EHashError, Exception);

// One running hash. Raises EHashError "SHA-256 is not available: %s" when
// the library cannot provide it.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, size_t size);
  // The hash of everything given to Update; the object then starts afresh.
  Sha256Digest Finish();

  static Sha256Digest Of(const void* data, size_t size) {
    Sha256 hash;
    hash.Update(data, size);
    return hash.Finish();
  }

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace stowaway
