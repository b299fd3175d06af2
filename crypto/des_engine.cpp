#include "crypto/des_engine.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "crypto/des_tables.h"
#include "portable/byte_order.h"

namespace ydr::crypto {
namespace {

struct SharedTables {
  std::uint64_t initial[16][16];  // by nibble position and value: that nibble's image under IP
  std::uint64_t final[16][16];    // the same under IP's inverse
  std::uint32_t p[4][256];        // by byte position and value: that byte's image under P
};

SharedTables g_tables;
std::atomic<int> g_built{0};
std::once_flag g_build_once;

// A 64-bit permutation table: entry (j, v) holds the image of a block whose only bits are
// nibble value v at nibble position j (nibble 0 holds bits 1 to 4).
void BuildNibbleTable(const std::uint8_t (&permutation)[64], std::uint64_t (&table)[16][16]) {
  std::memset(table, 0, sizeof table);
  for (int j = 0; j < 16; ++j) {
    for (int v = 0; v < 16; ++v) {
      for (int k = 0; k < 64; ++k) {
        const int source = permutation[k] - 1;  // 0-based bit taken for output bit k+1
        if (source / 4 != j) continue;
        if ((v >> (3 - source % 4)) & 1) table[j][v] |= std::uint64_t{1} << (63 - k);
      }
    }
  }
}

void Build() {
  BuildNibbleTable(des::kInitialPermutation, g_tables.initial);
  BuildNibbleTable(des::kFinalPermutation, g_tables.final);
  std::memset(g_tables.p, 0, sizeof g_tables.p);
  for (int j = 0; j < 4; ++j) {
    for (int v = 0; v < 256; ++v) {
      for (int k = 0; k < 32; ++k) {
        const int source = des::kP[k] - 1;
        if (source / 8 != j) continue;
        if ((v >> (7 - source % 8)) & 1) g_tables.p[j][v] |= 1u << (31 - k);
      }
    }
  }
  g_built.store(1, std::memory_order_release);
}

inline std::uint64_t Permute(const std::uint64_t (&table)[16][16], std::uint64_t block) {
  std::uint64_t out = 0;
  for (int j = 0; j < 16; ++j) out |= table[j][(block >> (60 - 4 * j)) & 15];
  return out;
}

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// f(R, K): E as four 12-bit groups of shifts and masks, the subkey, the pair tables, then P.
inline std::uint32_t F(const DesKeyState *s, std::uint32_t r, const std::uint8_t *k) {
  // E's 6-bit group g covers bits 4g .. 4g+5 of R (bit 0 meaning bit 32); two groups make one
  // 12-bit lookup index.
  const std::uint32_t e01 = ((Rotl(r, 5) & 0x3F) << 6) | (Rotl(r, 9) & 0x3F);
  const std::uint32_t e23 = ((Rotl(r, 13) & 0x3F) << 6) | (Rotl(r, 17) & 0x3F);
  const std::uint32_t e45 = ((Rotl(r, 21) & 0x3F) << 6) | (Rotl(r, 25) & 0x3F);
  const std::uint32_t e67 = ((Rotl(r, 29) & 0x3F) << 6) | (Rotl(r, 1) & 0x3F);
  const std::uint32_t k0 = static_cast<std::uint32_t>(k[0]) << 4 | k[1] >> 4;
  const std::uint32_t k1 = static_cast<std::uint32_t>(k[1] & 15) << 8 | k[2];
  const std::uint32_t k2 = static_cast<std::uint32_t>(k[3]) << 4 | k[4] >> 4;
  const std::uint32_t k3 = static_cast<std::uint32_t>(k[4] & 15) << 8 | k[5];
  return g_tables.p[0][s->sboxPairs[0][e01 ^ k0]] | g_tables.p[1][s->sboxPairs[1][e23 ^ k1]] |
         g_tables.p[2][s->sboxPairs[2][e45 ^ k2]] | g_tables.p[3][s->sboxPairs[3][e67 ^ k3]];
}

// N independent blocks side by side: each round's lookups depend on the previous round, so
// several blocks keep the loads of the processor busy.
template <int N>
void Crypt(const std::uint8_t *in, const DesKeyState *s, std::uint8_t *out, bool encrypt) {
  std::uint32_t l[N], r[N];
  for (int i = 0; i < N; ++i) {
    const std::uint64_t block = Permute(g_tables.initial, portable::LoadBigEndian64(in + 8 * i));
    l[i] = static_cast<std::uint32_t>(block >> 32);
    r[i] = static_cast<std::uint32_t>(block);
  }
  for (int n = 0; n < 16; ++n) {
    const std::uint8_t *k = s->subkeys[encrypt ? n : 15 - n];
    for (int i = 0; i < N; ++i) {
      const std::uint32_t t = l[i] ^ F(s, r[i], k);
      l[i] = r[i];
      r[i] = t;
    }
  }
  for (int i = 0; i < N; ++i)
    portable::StoreBigEndian64(out + 8 * i, Permute(g_tables.final, static_cast<std::uint64_t>(r[i]) << 32 | l[i]));
}

}  // namespace

void DesInitSharedTables() { std::call_once(g_build_once, Build); }

bool DesSharedTablesBuilt() { return g_built.load(std::memory_order_acquire) == 1; }

void DesSetKey(DesKeyState *s, const std::uint8_t key[8]) {
  // Every thread passes through the once-flag, so none can read half-built tables.
  if (!DesSharedTablesBuilt()) DesInitSharedTables();

  for (int t = 0; t < 4; ++t) {
    const auto &high = des::kSBoxes[2 * t];
    const auto &low = des::kSBoxes[2 * t + 1];
    for (int i = 0; i < 4096; ++i) {
      const int a = i >> 6, b = i & 63;  // bits 11..6 and 5..0
      const int ha = high[(a >> 4 & 2) | (a & 1)][(a >> 1) & 15];
      const int lb = low[(b >> 4 & 2) | (b & 1)][(b >> 1) & 15];
      s->sboxPairs[t][i] = static_cast<std::uint8_t>(ha << 4 | lb);
    }
  }
  for (int j = 0; j < 56; ++j) {
    const int bit = des::kPc1[j] - 1;
    s->permutedKeyBits[j] = (key[bit / 8] >> (7 - bit % 8)) & 1;
  }
  std::memset(s->subkeys, 0, sizeof s->subkeys);
  for (int n = 0; n < 16; ++n) {
    const int shift = des::kTotalShifts[n];
    for (int j = 0; j < 56; ++j) {
      const int half = j < 28 ? 0 : 28;
      s->rotatedKeyBits[j] = s->permutedKeyBits[half + (j - half + shift) % 28];
    }
    for (int j = 0; j < 48; ++j) {
      if (s->rotatedKeyBits[des::kPc2[j] - 1]) s->subkeys[n][j / 8] |= static_cast<std::uint8_t>(0x80 >> (j % 8));
    }
  }
}

void DesEncryptBlock(const std::uint8_t in[8], const DesKeyState *state, std::uint8_t out[8]) {
  Crypt<1>(in, state, out, true);
}

void DesDecryptBlock(const std::uint8_t in[8], const DesKeyState *state, std::uint8_t out[8]) {
  Crypt<1>(in, state, out, false);
}

void DesCryptBlocks(const std::uint8_t *in, const DesKeyState *state, std::uint8_t *out, std::size_t n, bool encrypt) {
  for (; n >= 4; n -= 4, in += 32, out += 32) Crypt<4>(in, state, out, encrypt);
  for (; n != 0; --n, in += 8, out += 8) Crypt<1>(in, state, out, encrypt);
}

crypto::BlockCipher DesCipher(const DesKeyState *state) {
  return {8, state,
          [](const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) {
            DesCryptBlocks(in, static_cast<const DesKeyState *>(key), out, blocks, true);
          },
          [](const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) {
            DesCryptBlocks(in, static_cast<const DesKeyState *>(key), out, blocks, false);
          }};
}

}  // namespace ydr::crypto
