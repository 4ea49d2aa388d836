#include "ecc.h"

#include <array>
#include <cstring>

namespace {

// Bits of a byte's column parities: CP0..CP5 in bits 0..5, P in bit 6.
constexpr unsigned ColumnBits(unsigned v) {
  auto bit = [v](unsigned k) { return (v >> k) & 1u; };
  unsigned cp0 = bit(0) ^ bit(2) ^ bit(4) ^ bit(6);
  unsigned cp1 = bit(1) ^ bit(3) ^ bit(5) ^ bit(7);
  unsigned cp2 = bit(0) ^ bit(1) ^ bit(4) ^ bit(5);
  unsigned cp3 = bit(2) ^ bit(3) ^ bit(6) ^ bit(7);
  unsigned cp4 = bit(0) ^ bit(1) ^ bit(2) ^ bit(3);
  unsigned cp5 = bit(4) ^ bit(5) ^ bit(6) ^ bit(7);
  unsigned p = cp4 ^ cp5;
  return cp0 | cp1 << 1 | cp2 << 2 | cp3 << 3 | cp4 << 4 | cp5 << 5 | p << 6;
}

constexpr std::array<uint8_t, 256> MakeYaffs2Table() {
  std::array<uint8_t, 256> t{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned c = ColumnBits(v);
    t[v] = static_cast<uint8_t>((c & 0x3Fu) << 2 | (c >> 6));
  }
  return t;
}

constexpr std::array<uint8_t, 256> MakeNandFlashTable() {
  std::array<uint8_t, 256> t{};
  for (unsigned v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(ColumnBits(v));
  return t;
}

constexpr std::array<uint8_t, 256> kYaffs2 = MakeYaffs2Table();
constexpr std::array<uint8_t, 256> kNandFlash = MakeNandFlashTable();
static_assert(kYaffs2[0] == 0x00 && kYaffs2[1] == 0x55 && kYaffs2[2] == 0x59 && kYaffs2[3] == 0x0C &&
                  kYaffs2[4] == 0x65 && kYaffs2[5] == 0x30 && kYaffs2[6] == 0x3C && kYaffs2[7] == 0x69,
              "YAFFS2 column-parity table");
static_assert(kNandFlash[0] == 0x00 && kNandFlash[1] == 0x55 && kNandFlash[2] == 0x56 && kNandFlash[3] == 0x03 &&
                  kNandFlash[4] == 0x59 && kNandFlash[5] == 0x0C && kNandFlash[6] == 0x0F && kNandFlash[7] == 0x5A,
              "NAND column-parity table");

// Bit k of a nibble moved to bit 2k, for interleaving two line parities.
constexpr uint8_t kSpread[16] = {0x00, 0x01, 0x04, 0x05, 0x10, 0x11, 0x14, 0x15,
                                 0x40, 0x41, 0x44, 0x45, 0x50, 0x51, 0x54, 0x55};

// Interleaves hi's and lo's nibble bits, hi's bit above lo's at each step.
inline uint8_t Interleave(unsigned hi, unsigned lo) {
  return static_cast<uint8_t>(kSpread[hi & 0xF] << 1 | kSpread[lo & 0xF]);
}

struct Parities {
  uint32_t col;   // xor of the table entries
  uint32_t line;  // xor of the indices of the bytes whose parity is odd
};

// One lookup per byte. The prime line parity is not accumulated: xor-ing the
// complemented indices equals the line parity complemented once per odd byte,
// i.e. line ^ (all ones when the total parity is odd).
template <unsigned ParityBit>
inline Parities Accumulate(const uint8_t* table, const uint8_t* data, size_t n) {
  uint32_t col = 0, line = 0;
  for (size_t i = 0; i < n; ++i) {
    uint32_t t = table[data[i]];
    col ^= t;
    line ^= static_cast<uint32_t>(i) & (0u - ((t >> ParityBit) & 1u));
  }
  return {col, line};
}

// Parity of the 64 bits of v.
inline uint32_t Parity64(uint64_t v) {
  uint32_t x = static_cast<uint32_t>(v ^ (v >> 32));
  x ^= x >> 16;
  x ^= x >> 8;
  x ^= x >> 4;
  x ^= x >> 2;
  x ^= x >> 1;
  return x & 1u;
}

// 256-byte blocks, a 64-bit word at a time. Both parities are linear: the
// column bits of the xor of all bytes are the xor of the bytes' column bits,
// and line bit k is the parity of the bytes whose index has bit k set. Index
// bits 0-2 pick bytes inside a word (little-endian), bits 3-7 pick words.
template <unsigned ParityBit>
inline Parities AccumulateBlock(const uint8_t* table, const uint8_t* data) {
  // Halving: at each level the odd words' xor is the parity word of the next
  // index bit, and neighbours are merged; one word is left, the xor of all.
  static_assert(DataEccBlock == 32 * 8, "five halvings of 32 words");
  uint64_t w[DataEccBlock / 8];
  std::memcpy(w, data, DataEccBlock);
  uint64_t y[5];
  size_t n = DataEccBlock / 8;
  for (unsigned m = 0; m < 5; ++m) {
    uint64_t odd = 0;
    for (size_t k = 0; k < n / 2; ++k) {
      odd ^= w[2 * k + 1];
      w[k] = w[2 * k] ^ w[2 * k + 1];
    }
    y[m] = odd;
    n /= 2;
  }
  const uint64_t all = w[0];
  uint32_t folded = static_cast<uint32_t>(all ^ (all >> 32));
  folded ^= folded >> 16;
  folded ^= folded >> 8;
  uint32_t line = Parity64(all & 0xFF00FF00FF00FF00ull) | Parity64(all & 0xFFFF0000FFFF0000ull) << 1 |
                  Parity64(all & 0xFFFFFFFF00000000ull) << 2 | Parity64(y[0]) << 3 | Parity64(y[1]) << 4 |
                  Parity64(y[2]) << 5 | Parity64(y[3]) << 6 | Parity64(y[4]) << 7;
  return {table[folded & 0xFFu], line};
}

inline uint32_t PrimeOf(const Parities& p, unsigned parityBit, uint32_t ones) {
  return p.line ^ (((p.col >> parityBit) & 1u) ? ones : 0u);
}

}  // namespace

const std::array<uint8_t, 256> Yaffs2EccTable = kYaffs2;
const std::array<uint8_t, 256> NandFlashEccTable = kNandFlash;

void CalcYaffs2Ecc(const uint8_t* data, uint8_t* ecc) {
  Parities p = AccumulateBlock<0>(kYaffs2.data(), data);
  unsigned l = p.line & 0xFFu;
  unsigned lp = PrimeOf(p, 0, 0xFFu);
  ecc[0] = static_cast<uint8_t>(~Interleave(l, lp));
  ecc[1] = static_cast<uint8_t>(~Interleave(l >> 4, lp >> 4));
  ecc[2] = static_cast<uint8_t>(~p.col | 0x03u);
}

void PackNandLineParity(uint8_t r2, uint8_t r3, uint8_t* out) {
  out[0] = Interleave(r3 >> 4, r2 >> 4);
  out[1] = Interleave(r3, r2);
}

void CalcNandFlashEcc(const uint8_t* data, uint8_t* ecc) {
  Parities p = AccumulateBlock<6>(kNandFlash.data(), data);
  uint8_t r3 = static_cast<uint8_t>(p.line);
  uint8_t r2 = static_cast<uint8_t>(PrimeOf(p, 6, 0xFFu));
  uint8_t packed[2];
  PackNandLineParity(r2, r3, packed);
  ecc[0] = static_cast<uint8_t>(~packed[0]);
  ecc[1] = static_cast<uint8_t>(~packed[1]);
  ecc[2] = static_cast<uint8_t>((~p.col & 0x3Fu) << 2 | 0x03u);
}

void CalcEccOther(const uint8_t* data, size_t n, uint8_t* record) {
  Parities p = Accumulate<0>(kYaffs2.data(), data, n);
  record[TagsEccColumnParity] = static_cast<uint8_t>((p.col >> 2) & 0x3Fu);
  for (size_t i = 0; i < TagsEccPaddingSize; ++i) record[TagsEccPadding + i] = 0;
  WriteU32(record + TagsEccLineParity, p.line);
  WriteU32(record + TagsEccLineParityPrime, PrimeOf(p, 0, 0xFFFFFFFFu));
}

void CalcTagsEcc(const uint8_t* tags, uint8_t* record) { CalcEccOther(tags, TagsLength, record); }

void CalcChunkEcc(const uint8_t* data, uint8_t* ecc, uint8_t kind) {
  constexpr size_t blocks = ChunkSize / DataEccBlock;
  if (kind == EccKindYaffs2) {
    for (size_t i = 0; i < blocks; ++i) CalcYaffs2Ecc(data + i * DataEccBlock, ecc + i * DataEccTriple);
  } else if (kind == EccKindNandFlash) {
    for (size_t i = 0; i < blocks; ++i) CalcNandFlashEcc(data + i * DataEccBlock, ecc + i * DataEccTriple);
  }
}
