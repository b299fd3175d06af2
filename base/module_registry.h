// Which modules are registered with the base library (read by tests).
#pragma once

#include "base/ydr_base.h"

namespace ydr::base {

bool IsModuleRegistered(const YDR_MODULE_INFO *info);

}  // namespace ydr::base
