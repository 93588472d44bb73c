// The failure of an action as "ClassName: message", for pinning exact texts.
#pragma once

#include <functional>
#include <string>

#include "platform/exception.h"

namespace stowaway::testing {

inline std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "(no exception)";
}

}  // namespace stowaway::testing
