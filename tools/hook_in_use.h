// The compression component's progress hook, set for the time of one
// operation; the hook in place before comes back afterwards.
#pragma once

#include <functional>
#include <utility>

#include "compression/LZRW1.h"

namespace stowaway {

class HookInUse {
 public:
  explicit HookInUse(std::function<void()> hook)
      : saved_(std::exchange(ProgressHook, std::move(hook))) {}
  ~HookInUse() { ProgressHook = std::move(saved_); }
  HookInUse(const HookInUse&) = delete;
  HookInUse& operator=(const HookInUse&) = delete;

 private:
  std::function<void()> saved_;
};

}  // namespace stowaway
