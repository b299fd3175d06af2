// The string hashes that cache callbacks usually need, and the record base class.
#include "ydr/cache.h"

namespace {

template <typename Unit>
unsigned int HashString(const Unit *text) {
  unsigned int h = 0;
  for (; *text != 0; ++text) {
    unsigned int c = static_cast<unsigned int>(*text);
    if (c >= 0x61 && c <= 0x7A) c -= 0x20;  // ASCII letters only
    h = h * 33 + c;
  }
  return h;
}

}  // namespace

extern "C" YDR_API unsigned int YdrCacheGetHashStrW(const unsigned short *text) { return HashString(text); }

extern "C" YDR_API unsigned int YdrCacheGetHashStrA(const char *text) {
  return HashString(reinterpret_cast<const unsigned char *>(text));
}

int CYdrCacheItem::GetHash() const { return 0; }
int CYdrCacheItem::GetSize() const { return 0; }
int CYdrCacheItem::Compare(const CYdrCacheItem * /*other*/) const { return 0; }
int CYdrCacheItem::Copy(const CYdrCacheItem * /*other*/) { return 0; }
CYdrCacheItem &CYdrCacheItem::operator=(const CYdrCacheItem & /*other*/) { return *this; }
