// No exception of the libraries' own crosses their interfaces: an export whose work throws
// (running out of memory, or a virtual operation of the host's that throws) returns its family's
// failure result instead. Every export that allocates, or calls a virtual operation the host
// overrides, runs its body through one of these. The stream and cache exports call plain C
// callbacks (YDRGZ_READ_FUNC, YDRGZ_WRITE_FUNC, YDR_CACHE_FUNC), which report failure by
// their results and must not throw: those calls are not guarded, so an exception a C++ host
// throws from one passes out through the export (a stream writer stays consistent and may
// be closed; a cache is left in an unspecified state). On 32-bit Windows each module
// linked with its own copy of the runtime unwinds only its own frames, so an exception that
// a host's override throws cannot travel up through the DLL's frames to this guard, and the
// host ends (std::terminate) before the guard is reached. Hosts there must not throw out of
// overrides and callbacks.
#pragma once

#include <utility>

namespace ydr::portable {

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

}  // namespace ydr::portable
