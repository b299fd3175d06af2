// A path's absolute form. Both separators are read; '/' is written. "." components vanish
// and ".." removes the component before it, but never climbs above the root, so the result
// always lies under the root it names. A drive letter ("C:", written by Windows hosts) is
// kept in front; a drive-relative path ("C:docs") resolves against the current directory
// like any relative path, and a relative path without a drive takes the current directory's
// (which it always has on Windows). A separator at the end of the path is kept, so a
// folder's path stays recognisable as one.
#include "base/path_absolute.h"

#include <cstring>
#include <vector>

#include "base/ydr_base.h"
#include "platform/files.h"
#include "portable/guarded_call.h"

namespace ydr::base {

using portable::WChar;
using portable::WString;

namespace {

void AppendComponents(const WChar *text, std::size_t length, std::vector<WString> *components) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= length; ++i) {
    if (i < length && !platform::IsSeparator(text[i])) continue;
    const WString part(text + start, i - start);
    start = i + 1;
    if (part.empty() || part == WString{'.'}) continue;
    if (part == WString{'.', '.'}) {
      if (!components->empty()) components->pop_back();
      continue;
    }
    components->push_back(part);
  }
}

}  // namespace

std::optional<WString> FoldAbsolutePath(const WChar *path, std::size_t length, const WString &cwd) {
  if (path == nullptr || length == 0) return std::nullopt;
  WString drive;
  if (platform::HasDrive(path, length)) {
    drive.assign(path, 2);
    path += 2;
    length -= 2;
  }
  std::vector<WString> components;
  if (length == 0 || !platform::IsSeparator(path[0])) {
    // A current folder with a drive (on Windows it always has one) lends it to a path without.
    std::size_t cwd_start = 0;
    if (platform::HasDrive(cwd.data(), cwd.size())) {
      if (drive.empty()) drive.assign(cwd.data(), 2);
      cwd_start = 2;
    }
    AppendComponents(cwd.data() + cwd_start, cwd.size() - cwd_start, &components);
  }
  AppendComponents(path, length, &components);

  WString result = drive;
  result.push_back('/');
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i > 0) result.push_back('/');
    result += components[i];
  }
  if (length > 0 && platform::IsSeparator(path[length - 1]) && !components.empty()) result.push_back('/');
  return result;
}

}  // namespace ydr::base

YDR_BL_API int YdrPathToAbsolute(const unsigned short *path, unsigned short *dst) {
  return ydr::portable::GuardedCall(0, [&] {
    if (dst == nullptr) return 0;
    dst[0] = 0;
    const std::size_t length = ydr::portable::WideLength(path);
    if (length == 0) return 0;
    const auto absolute = ydr::base::SystemAbsolutePath(path, length);
    if (!absolute || absolute->size() >= ydr::base::kPathUnits) return 0;
    std::memcpy(dst, absolute->c_str(), (absolute->size() + 1) * sizeof(unsigned short));
    return 1;
  });
}
