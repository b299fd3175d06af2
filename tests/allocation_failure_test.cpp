// The exports that allocate, with their N-th allocation refused for N = 1, 2, ... until a call
// makes fewer than N: each returns its family's failure result or its full result, never
// crashes nor throws, and gives back every block it took (a leak check without a sanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"
#if YDR_CRYPTO_PEER
#include <openssl/rsa.h>

#include "tests/support/rsa_key_text.h"
#endif
#include "ydr/base.h"
#include "ydr/gz.h"
#include "ydr/rsa.h"
#include "ydr/utf8.h"
#include "ydr/ven.h"
#include "ydr/zip.h"

namespace {

// Allocation N (counted while armed) is refused; blocks taken while armed are remembered
// until given back in a table that never allocates.
struct Allocations {
  static constexpr std::size_t kSlots = 1 << 14;
  std::atomic<bool> armed{false};
  std::atomic<long> count{0};
  long fail_at = 0;
  void *live[kSlots] = {};
  std::size_t live_count = 0;
  bool overflowed = false;
  std::atomic_flag lock = ATOMIC_FLAG_INIT;

  bool Refuse() { return armed.load(std::memory_order_relaxed) && count.fetch_add(1) + 1 == fail_at; }
  void *Update(void *block, bool add) {
    if (block == nullptr || (add && !armed.load(std::memory_order_relaxed))) return block;
    while (lock.test_and_set(std::memory_order_acquire)) continue;
    if (add && live_count == kSlots) {
      overflowed = true;
    } else if (add) {
      live[live_count++] = block;
    } else if (void **found = std::find(live, live + live_count, block); found != live + live_count) {
      *found = live[--live_count];
    }
    lock.clear(std::memory_order_release);
    return block;
  }
  // How many blocks are remembered, all then forgotten.
  int Outstanding() {
    while (lock.test_and_set(std::memory_order_acquire)) continue;
    const int n = static_cast<int>(std::exchange(live_count, 0));
    lock.clear(std::memory_order_release);
    return n;
  }
};

Allocations g_allocations;

}  // namespace

// Replaceable where glibc offers its own under other names and no sanitizer replaced it.
#if defined(__GLIBC__) && !YDR_SANITIZED
constexpr bool kAllocatorReplaced = true;
extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void __libc_free(void *);

void *malloc(std::size_t size) {
  return g_allocations.Update(g_allocations.Refuse() ? nullptr : __libc_malloc(size), true);
}
void *calloc(std::size_t count, std::size_t size) {
  return g_allocations.Update(g_allocations.Refuse() ? nullptr : __libc_calloc(count, size), true);
}
void *realloc(void *old, std::size_t size) {
  if (size != 0 && g_allocations.Refuse()) return nullptr;
  void *block = __libc_realloc(old, size);
  if (block != nullptr || size == 0) g_allocations.Update(old, false);
  return g_allocations.Update(block, true);
}
void free(void *block) {
  g_allocations.Update(block, false);
  __libc_free(block);
}
}
#else
constexpr bool kAllocatorReplaced = false;
#endif

namespace {

constexpr long kMostAllocations = 5000;

// Calls an export with allocations counted; the test's own happen outside.
template <typename F>
auto Exported(F call) {
  g_allocations.armed = true;
  auto result = call();
  g_allocations.armed = false;
  return result;
}

// kComplete (the full result, exactly), kFailed (the family's failure result), or what was wrong.
using Outcome = std::string;
const Outcome kComplete, kFailed = "failed";

Outcome Expect(bool complete, const char *otherwise) { return complete ? kComplete : otherwise; }

// Runs `job` with allocation 1, 2, ... refused until it makes fewer allocations than that.
// `check_leaks` false: libcrypto keeps the caches it built when an allocation fails halfway.
void SweepAllocations(const std::function<Outcome()> &job, bool check_leaks = true) {
  if (!kAllocatorReplaced) GTEST_SKIP() << "the allocator cannot be replaced here (a sanitizer's, or not glibc's)";
  g_allocations.fail_at = 0;
  ASSERT_EQ(job(), kComplete);                     // first-use tables and the like, made once per process
  static_cast<void>(g_allocations.Outstanding());  // what the first use keeps is no leak
  // Each point runs twice: what a library keeps from its first failure (libcrypto's per-thread
  // error state) is made once, while a leak recurs.
  const auto run = [&](long at) {
    g_allocations.count = 0;
    g_allocations.fail_at = at;
    return job();
  };
  long n = 1;
  for (; n <= kMostAllocations; ++n) {
    const Outcome outcome = run(n);
    const bool refused = g_allocations.count >= n;
    if (refused) static_cast<void>(g_allocations.Outstanding());
    const Outcome again = refused ? run(n) : outcome;
    const int leaked = g_allocations.Outstanding();
    SCOPED_TRACE("allocation " + std::to_string(n) + (refused ? " refused" : " (none refused)"));
    EXPECT_FALSE(g_allocations.overflowed) << "more blocks live than the leak table holds";
    EXPECT_EQ(outcome, refused && outcome == kFailed ? kFailed : kComplete);
    EXPECT_EQ(again, refused && again == kFailed ? kFailed : kComplete) << "the second time";
    EXPECT_TRUE(!check_leaks || leaked == 0) << leaked << " blocks taken during the call were not given back";
    if (!refused) break;
  }
  g_allocations.fail_at = 0;
  EXPECT_LE(n, kMostAllocations) << "the call kept allocating: the sweep stopped at " << kMostAllocations;
}

const std::string &Plain() {
  static const std::string text = [] {
    std::string s;
    for (int i = 0; s.size() < 20000; ++i) s += "record " + std::to_string(i * 7919 % 1000) + " of the stream\n";
    return s;
  }();
  return text;
}

int Collect(YDRGZ, void *user, const void *buffer, int count) {
  static_cast<std::string *>(user)->append(static_cast<const char *>(buffer), static_cast<std::size_t>(count));
  return count;
}

int Feed(YDRGZ, void *user, void *buffer, int count) {
  auto *source = static_cast<std::string_view *>(user);
  const std::size_t n = source->copy(static_cast<char *>(buffer), static_cast<std::size_t>(count));
  source->remove_prefix(n);
  return static_cast<int>(n);
}

// The stream of `data` at a memory level, or with YDR_GZ_THREADS threads; empty when the
// writer could not be opened; "allocated" when a writer of one thread allocated after opening.
std::string Compressed(int level, const std::string &data = Plain(), const char *threads = nullptr) {
  std::string out;
  out.reserve(2 * data.size());  // the callback appends without allocating
  const ydr::test::ScopedEnv setting("YDR_GZ_THREADS", threads);
  YDRGZ writer = Exported([&] {
    return threads != nullptr ? YdrGZOpenWrite(Collect, &out) : YdrGZOpenWriteOfCustomMem(Collect, &out, level);
  });
  if (writer == nullptr) return "";
  const long opened = g_allocations.count;
  Exported([&] {
    YdrGZWrite(writer, data.data(), static_cast<int>(data.size()));
    return YdrGZCloseWrite(writer);
  });
  return threads == nullptr && g_allocations.count != opened ? "allocated" : out;
}

TEST(AllocationFailureTest, StreamHandlesAreNullOrWholeAndNeverAllocateAfterOpening) {
  for (const int level : {0, 1, 2}) {
    SCOPED_TRACE("memory level " + std::to_string(level));
    const std::string expected = Compressed(level);
    ASSERT_NE(expected, "allocated") << "the writer allocated after opening";
    SweepAllocations([&]() -> Outcome {
      const std::string out = Compressed(level);
      return out.empty() ? kFailed
                         : Expect(out == expected, "the stream differs, or the writer allocated after opening");
    });
    SweepAllocations([&]() -> Outcome {
      std::string_view source = expected;
      std::string out(Plain().size() + 4096, '\0');
      YDRGZ reader = Exported([&] { return YdrGZOpenReadOfCustomMem(Feed, &source, level); });
      if (reader == nullptr) return kFailed;
      const long opened = g_allocations.count;
      int total = 0, got = 0;
      const int closed = Exported([&] {
        while ((got = YdrGZRead(reader, &out[static_cast<std::size_t>(total)], 4096)) > 0) total += got;
        return YdrGZCloseRead(reader);
      });
      out.resize(static_cast<std::size_t>(total));
      if (g_allocations.count != opened) return "the reader allocated after it was opened";
      return Expect(got == 0 && closed >= 0 && out == Plain(), "the stream read back as damaged or other data");
    });
  }
}

// Whichever allocation of a write shared among threads is refused, the stream is the one a
// single thread writes; the threads vary the order, so each point refuses a different one.
TEST(AllocationFailureTest, WritesSharedAmongThreadsGiveTheOneThreadStream) {
  // Long lines that differ in a number: few symbols, so few blocks, so few allocations.
  std::string data;
  const std::string line(150, '=');
  for (int i = 0; data.size() < (2u << 20) + 4321; ++i) data += line + std::to_string(i * 7919 % 100003) + "\n";
  const std::string expected = Compressed(0, data, "1");
  ASSERT_FALSE(expected.empty());
  SweepAllocations([&]() -> Outcome {
    const std::string out = Compressed(0, data, "2");
    return out.empty() ? kFailed : Expect(out == expected, "the stream differs");
  });
}

// Every kind of key object is one block: kind 4 stands for the others; the AES ECB object too.
TEST(AllocationFailureTest, DocumentKeysAreNullOrWhole) {
  const std::vector<unsigned short> password = {'p', 'a', 's', 's', 'w', 'o', 'r', 'd', 0};
  const auto encrypt = [&](auto create, auto write, auto release, unsigned kind) {
    return std::function<bool(std::string *)>([=, &password](std::string *data) {
      return Exported([&] {
        const auto key = create(password.data(), kind);
        if (key == nullptr) return false;
        write(key, reinterpret_cast<unsigned char *>(&(*data)[0]), static_cast<int>(data->size()));
        release(key);
        return true;
      });
    });
  };
  std::string block(64, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 37);
  for (const auto &run :
       {encrypt(VENCreate, VENWriteBlock, VENRelease, 4), encrypt(VENLVOCreate, VENLVOWriteBlock, VENLVORelease, 0)}) {
    std::string expected = block;
    ASSERT_TRUE(run(&expected));
    SweepAllocations([&]() -> Outcome {
      std::string data = block;
      return run(&data) ? Expect(data == expected, "the ciphertext differs") : kFailed;
    });
  }
}

#if YDR_CRYPTO_PEER
// RSA: the signature exactly, or YDR_RSA_FAILED (libcrypto's allocations come here too).
TEST(AllocationFailureTest, RsaGivesTheBlockOrFailed) {
  const std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY *)> key(EVP_RSA_gen(1024), EVP_PKEY_free);
  ASSERT_NE(key, nullptr);
  const std::string private_text = ydr::test::KeyText(key.get(), i2d_PrivateKey);
  const std::string message = "twenty bytes to sign";
  const auto sign = [&](std::vector<unsigned char> *out) {
    out->assign(128, 0);
    return Exported([&] {
      return YDR_RSA_Encrypt_PrivateKey(static_cast<unsigned>(message.size()),
                                        reinterpret_cast<const unsigned char *>(message.data()), out->data(),
                                        private_text.c_str());
    });
  };
  std::vector<unsigned char> expected;
  ASSERT_EQ(sign(&expected), 128u);
  SweepAllocations(
      [&]() -> Outcome {
        std::vector<unsigned char> out;
        const unsigned result = sign(&out);
        if (result == YDR_RSA_FAILED) return kFailed;
        return Expect(result == 128u && out == expected, "the signature or its length differs");
      },
      false);
}
#endif

// CYdrZIP: packing gives 1 and an archive that unpacks whole, or 0, or 1 with a folder search
// recorded as failed (error 0x2001, the failure's report); unpacking gives 1 and every member
// bit-exact, or 0, and a file under a member's name always holds that member's bytes.
TEST(AllocationFailureTest, ArchivesAreWholeOrReported) {
  ydr::test::TempDir dir;
  const std::vector<std::pair<std::string, std::string>> members = {
      {"/a.txt", Plain()}, {"/sub/b.txt", Plain().substr(0, 3000)}, {"/sub/empty", ""}};
  for (const auto &[name, bytes] : members) dir.WriteFile("tree" + name, bytes);
  const YdrWString archive = ydr::Utf16FromUtf8(dir / "t.ydz");
  int folders = 0;
  // Unpacks into a new folder: the result, and how many members are there at their stored
  // (absolute) paths, or -1 when one holds other bytes.
  const auto unpack = [&](bool counted) {
    const std::string out = dir.MakeDir("out" + std::to_string(++folders));
    const YdrWString dest = ydr::Utf16FromUtf8(out);
    CYdrZIP zip;
    const auto call = [&] { return zip.DecompressZIP(archive.c_str(), dest.c_str(), 0); };
    const int result = counted ? Exported(call) : call();
    int found = 0;
    for (const auto &[name, bytes] : members) {
      const std::string path = out + dir.path() + "/tree" + name;
      if (std::ifstream(path)) found = found < 0 || ydr::test::ReadFile(path) != bytes ? -1 : found + 1;
    }
    return std::make_pair(result, found);
  };
  SweepAllocations([&]() -> Outcome {
    std::vector<YdrWString> paths = {ydr::Utf16FromUtf8(dir.path() + "/tree/")};
    CYdrZIP zip;
    const int packed = Exported([&] { return zip.CompressZIP(paths, archive.c_str()); });
    bool search_failed = false;
    for (int i = 0; i < zip.GetErrorCount(); ++i) {
      search_failed = search_failed || (zip.GetError(i) != nullptr && zip.GetError(i)->code == 0x2001);
    }
    if (packed == 0 || (packed == 1 && search_failed)) return kFailed;
    if (packed != 1) return "CompressZIP returned " + std::to_string(packed);
    return Expect(unpack(false) == std::make_pair(1, 3), "CompressZIP said 1 but its archive does not unpack whole");
  });
  SweepAllocations([&]() -> Outcome {
    const auto [unpacked, found] = unpack(true);
    if (found < 0) return "a file under a member's name holds other bytes";
    if (unpacked == 1) return Expect(found == 3, "1, but a member is missing");
    return unpacked == 0 ? kFailed : "DecompressZIP returned " + std::to_string(unpacked);
  });
}

}  // namespace
