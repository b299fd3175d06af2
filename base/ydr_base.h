// The base library's exports, as this project's stand-in (libYdrBL70.so) defines them: the
// public declarations (ydr/base.h), and the marker its definitions carry.
#pragma once

#include "platform/find_data.h"
#include "ydr/base.h"

#define YDR_BL_API extern "C" __attribute__((visibility("default")))

using ydr::platform::WIN32_FIND_DATAW;
