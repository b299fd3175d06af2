// No exception crosses the libraries' interfaces: an export whose work throws (running out
// of memory, or a host's callback or virtual operation that throws) returns its family's
// failure result instead. Every export that allocates or calls back into the host runs its
// body through one of these. One exception to the last case: on 32-bit Windows each module
// linked with its own copy of the runtime unwinds only its own frames, so an exception that
// a host's override throws cannot travel up through the DLL's frames to this guard, and the
// host ends (std::terminate) before the guard is reached. Hosts there must not throw out of
// overrides and callbacks.
#pragma once

#include <utility>

namespace ydr::platform {

template <class Result, class Body>
Result GuardedCall(Result failure, Body &&body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return failure;
  }
}

// For exports without a result: the work stops where it failed.
template <class Body>
void GuardedCall(Body &&body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

}  // namespace ydr::platform
