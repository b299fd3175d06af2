// A module whose two exports fail the way the libraries' work fails inside them: a request
// too large for any vector throws. One lets the exception out to its caller; the other runs
// the same work through the guard that every export of the libraries uses.
#include <cstddef>
#include <vector>

#include "portable/guarded_call.h"

#if defined(_WIN32)
#define THROWING_EXPORT extern "C" __declspec(dllexport)
#else
#define THROWING_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

int FailingWork() {
  std::vector<char32_t> code_points;
  code_points.reserve(code_points.max_size() + 1);  // throws std::length_error
  return static_cast<int>(code_points.capacity());
}

}  // namespace

THROWING_EXPORT int ProbeFailUnguarded() { return FailingWork(); }

THROWING_EXPORT int ProbeFailGuarded() {
  return ydr::portable::GuardedCall(-1, [] { return FailingWork(); });
}
