#include "base/ydr_base.h"

namespace {
thread_local int t_error = 0;
}  // namespace

YDR_BL_API void YdrSetError(int code) { t_error = code; }
YDR_BL_API int YdrGetError(void) { return t_error; }
