#include "imports/base_services.h"

#include "imports/sibling_module.h"
#include "platform/find_data.h"

namespace ydr::bl {
namespace {

// The functions this library imports from the base library, by name.
enum Import : std::size_t {
  kInitModule,
  kExitModule,
  kSetError,
  kAnsiToUnicode,
  kUnicodeToAnsi,
  kPathCreate,
  kPathToAbsolute,
  kFindFirstFileW,
  kFindNextFileW,
  kWfopen,
  kBase64ToAscii,
  kFindClose,  // POSIX only: Windows closes searches with its own
  kImportCount
};

constexpr const char *kImportNames[kImportCount] = {
    "YdrInitModule",    "YdrExitModule", "YdrSetError",       "YdrAnsiToUnicode",
    "YdrUnicodeToAnsi", "YdrPathCreate", "YdrPathToAbsolute", "YdrFindFirstFileW",
    "YdrFindNextFileW", "_u__wfopen",    "YdrBase64ToAscii",  "FindClose",
};

imports::SiblingModule g_base_library(kModuleName, kImportNames, kImportCount);

// The declarations in base/ydr_base.h give each function's exact type; decltype takes it
// without referring to the symbol itself, which this library never links against.
template <class Fn>
Fn Resolve(Import import) {
  return imports::FunctionAs<Fn>(g_base_library.Function(import));
}

}  // namespace

int YdrInitModule(YDR_MODULE_INFO *info) {
  auto fn = Resolve<decltype(&::YdrInitModule)>(kInitModule);
  return fn != nullptr ? fn(info) : 0;
}

void YdrExitModule(YDR_MODULE_INFO *info) {
  // Nothing to deregister from a base library that never loaded, and no second search (and
  // second "Can't Find module" message) while the library unloads.
  if (!g_base_library.loaded()) return;
  if (auto fn = Resolve<decltype(&::YdrExitModule)>(kExitModule)) fn(info);
}

void YdrSetError(int code) {
  if (auto fn = Resolve<decltype(&::YdrSetError)>(kSetError)) fn(code);
}

int YdrUnicodeToAnsi(unsigned int codePage, unsigned int flags, const unsigned short *src, int srcLength, char *dst,
                     int dstBytes, int reserved) {
  auto fn = Resolve<decltype(&::YdrUnicodeToAnsi)>(kUnicodeToAnsi);
  return fn != nullptr ? fn(codePage, flags, src, srcLength, dst, dstBytes, reserved) : 0;
}

int YdrAnsiToUnicode(unsigned int codePage, unsigned int flags, const char *src, int srcLength, unsigned short *dst,
                     int dstChars, int reserved) {
  auto fn = Resolve<decltype(&::YdrAnsiToUnicode)>(kAnsiToUnicode);
  return fn != nullptr ? fn(codePage, flags, src, srcLength, dst, dstChars, reserved) : 0;
}

int YdrPathToAbsolute(const unsigned short *path, unsigned short *dst) {
  auto fn = Resolve<decltype(&::YdrPathToAbsolute)>(kPathToAbsolute);
  if (fn != nullptr) return fn(path, dst);
  if (dst != nullptr) dst[0] = 0;
  return 0;
}

int YdrPathCreate(const unsigned short *absolutePath) {
  auto fn = Resolve<decltype(&::YdrPathCreate)>(kPathCreate);
  return fn != nullptr ? fn(absolutePath) : 0;
}

FILE *_u__wfopen(const unsigned short *path, const unsigned short *mode) {
  auto fn = Resolve<decltype(&::_u__wfopen)>(kWfopen);
  return fn != nullptr ? fn(path, mode) : nullptr;
}

void *YdrFindFirstFileW(const unsigned short *pattern, YDR_FIND_DATAW *data) {
  auto fn = Resolve<decltype(&::YdrFindFirstFileW)>(kFindFirstFileW);
  return fn != nullptr ? fn(pattern, data) : platform::InvalidHandleValue();
}

int YdrFindNextFileW(void *search, YDR_FIND_DATAW *data) {
  auto fn = Resolve<decltype(&::YdrFindNextFileW)>(kFindNextFileW);
  return fn != nullptr ? fn(search, data) : 0;
}

int FindClose(void *search) {
  if (const std::optional<bool> closed = platform::CloseSystemSearch(search)) return *closed ? 1 : 0;
  using CloseFunction = int (*)(void *);
  auto fn = Resolve<CloseFunction>(kFindClose);
  return fn != nullptr ? fn(search) : 0;
}

int YdrBase64ToAscii(const char *text, unsigned char **buffer) {
  auto fn = Resolve<decltype(&::YdrBase64ToAscii)>(kBase64ToAscii);
  return fn != nullptr ? fn(text, buffer) : -1;
}

}  // namespace ydr::bl
