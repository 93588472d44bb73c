// The archive's own failures: trailers and records it cannot use, names it
// will not write to, and archives the format cannot hold.
#pragma once

#include <string>

#include "platform/exception.h"

namespace stowaway {

STOWAWAY_EXCEPTION_CLASS(EArchiveError, Exception);

// A file whose archive cannot be found or trusted at all. The message is
// "No archive directory in %s: ", "Malformed certificate directory in %s: "
// or "Damaged archive directory in %s: " (by Cause) followed by Reason(),
// which says why in words that need no file name.
class EUnreadableArchive final : public EArchiveError {
 public:
  enum class Cause { NoDirectory, MalformedCertificateDirectory, DamagedDirectory };

  EUnreadableArchive(Cause cause, const std::string& name, std::string reason)
      : EArchiveError(Prefix(cause) + name + ": " + reason), cause_(cause), reason_(std::move(reason)) {}
  const char* ClassName() const noexcept override { return "EUnreadableArchive"; }

  Cause WhatCause() const noexcept { return cause_; }
  const std::string& Reason() const noexcept { return reason_; }

 private:
  static std::string Prefix(Cause cause) {
    switch (cause) {
      case Cause::NoDirectory: return "No archive directory in ";
      case Cause::MalformedCertificateDirectory: return "Malformed certificate directory in ";
      case Cause::DamagedDirectory: break;
    }
    return "Damaged archive directory in ";
  }

  Cause cause_;
  std::string reason_;
};

}  // namespace stowaway
