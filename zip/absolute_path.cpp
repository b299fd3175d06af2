#include "zip/absolute_path.h"

#include "imports/base_services.h"
#include "platform/files.h"
#include "portable/utf16.h"

namespace ydr::zip {

std::size_t AbsolutePath(const unsigned short *path, PathBuffer &buffer) {
  static constexpr unsigned short kEmpty[1] = {0};
  buffer[0] = 0;
  ydr::bl::YdrPathToAbsolute(path != nullptr ? path : kEmpty, buffer);
  buffer[kMaxNameUnits] = 0;
  return portable::WideLength(buffer);
}

bool NamesRegularFile(const PathBuffer &absolute) {
  platform::PathStatus status;
  return absolute[0] != 0 && platform::StatusOf(platform::NativePathFromWide(absolute), &status) &&
         status.kind == platform::PathStatus::Kind::kRegular;
}

}  // namespace ydr::zip
