// A buffer with an inaccessible page right after its last byte (and one before its first),
// so that a read or write past either end faults at once instead of passing unnoticed.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace ydr::test {

template <class T>
class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::size_t count) : count_(count) {
    const std::size_t bytes = count * sizeof(T);
    const std::size_t data_bytes = (bytes == 0 ? 1 : (bytes + kPage - 1) / kPage) * kPage;
    map_size_ = data_bytes + 2 * kPage;
#if defined(_WIN32)
    base_ = static_cast<unsigned char *>(VirtualAlloc(nullptr, map_size_, MEM_RESERVE, PAGE_NOACCESS));
    if (base_ == nullptr || VirtualAlloc(base_ + kPage, data_bytes, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
      throw std::runtime_error("VirtualAlloc failed");
    }
#else
    void *map = mmap(nullptr, map_size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::runtime_error("mmap failed");
    base_ = static_cast<unsigned char *>(map);
    mprotect(base_ + kPage, data_bytes, PROT_READ | PROT_WRITE);
#endif
    data_ = reinterpret_cast<T *>(base_ + kPage + data_bytes - bytes);
    std::memset(base_ + kPage, 0xA5, data_bytes);
  }
#if defined(_WIN32)
  ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
#else
  ~GuardedBuffer() { munmap(base_, map_size_); }
#endif
  GuardedBuffer(const GuardedBuffer &) = delete;
  GuardedBuffer &operator=(const GuardedBuffer &) = delete;

  T *data() { return data_; }
  std::size_t size() const { return count_; }

 private:
  static constexpr std::size_t kPage = 65536;  // a multiple of every system's page
  std::size_t count_;
  std::size_t map_size_ = 0;
  unsigned char *base_ = nullptr;
  T *data_ = nullptr;
};

}  // namespace ydr::test
