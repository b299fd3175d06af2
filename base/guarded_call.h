// No exception crosses the base library's interface: an export whose work throws (in
// practice only std::bad_alloc) returns its failure result instead.
#pragma once

#include <utility>

namespace ydr::base {

template <class Result, class Body>
Result GuardedCall(Result failure, Body &&body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return failure;
  }
}

}  // namespace ydr::base
