// Why a reading handle failed: after YdrGZRead returned -1, the decoder's reason (one value
// per form of corrupt data, or the source running out); kDone while it has not failed.
// Internal: the exports say only -1.
#pragma once

#include "gz/inflate_status.h"
#include "ydr/gz.h"

namespace ydr::gz {

InflateStatus ReaderFailure(YDRGZ stream);

}  // namespace ydr::gz
