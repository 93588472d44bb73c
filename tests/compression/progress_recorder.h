// Records (BytesRead, BytesWritten) at every progress point of a component.
#pragma once

#include <utility>
#include <vector>

#include "compression/LZRW1.h"

namespace stowaway::testing {

using ProgressPoints = std::vector<std::pair<int32_t, int32_t>>;

class ProgressRecorder {
 public:
  explicit ProgressRecorder(const Tlzrw1& component)
      : hook_([this, &component] { points.emplace_back(component.BytesRead, component.BytesWritten); }) {}

  ProgressPoints points;

 private:
  HookInUse hook_;
};

}  // namespace stowaway::testing
