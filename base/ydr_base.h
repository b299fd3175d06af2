// The base library's exports (libYdrBL70.so, YdrBL70.dll) as its sources define them: the
// public declarations (ydr/base.h), and the marker its definitions carry.
#pragma once

#include "platform/find_data.h"
#include "ydr/base.h"

#if defined(_WIN32)
#define YDR_BL_API extern "C" __declspec(dllexport)
#else
#define YDR_BL_API extern "C" __attribute__((visibility("default")))
#endif
